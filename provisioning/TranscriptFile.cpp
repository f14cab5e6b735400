#include "TranscriptFile.h"

#include "HexDump.h"
#include "LedgerRecord.h"
#include "LogNames.h"
#include "SerialPort.h"
#include "SerialSystem.h"

namespace provisioning {

std::string TranscriptFolderFor(const std::string& ledgerPath) {
    return ledgerPath + ".transcripts";
}

std::string TranscriptFileName(std::int64_t n, const std::string& address, const std::string& port,
                               const std::string& attempt) {
    return std::to_string(n) + "-" + SafeFileNamePart(address.empty() ? port : address) + "-" +
           SafeFileNamePart(attempt) + ".txt";
}

Transcript::~Transcript() {
    Close();
}

void Transcript::Traffic(uint32_t direction, const void* data, uint32_t length) {
    if (m_closed || data == nullptr)
        return;
    if (!m_started || direction != m_direction) {
        FlushLine();
        // The traffic log's headers, with the time the block began.
        Put(std::string("\n") + (direction == CSerialPort::kDirectionRead ? "Read: " : "Written: ") + LedgerTime() +
            "\n");
        m_started = true;
        m_direction = direction;
    }
    const auto* bytes = static_cast<const char*>(data);
    for (uint32_t i = 0; i < length; ++i) {
        m_line += bytes[i];
        if (m_line.size() == hex_dump::kBytesPerLine)
            FlushLine();
    }
}

void Transcript::Note(const std::string& line) {
    if (m_closed)
        return;
    FlushLine();
    Put("\n" + line + "\n");
}

bool Transcript::Open(const std::string& path, std::string& error) {
    if (IsOpen() || m_closed) {
        error = "the transcript is open already";
        return false;
    }
    m_file = serial_os::CreateLogFile(path.c_str());
    if (m_file == serial_os::kNoHandle) {
        error = "cannot create the transcript " + path;
        return false;
    }
    const std::string held = std::move(m_held);
    m_held.clear();
    uint32_t written = 0;
    if (!held.empty() && (!serial_os::WriteLogFile(m_file, held.data(), static_cast<uint32_t>(held.size()), written) ||
                          written != held.size())) {
        serial_os::CloseLogFile(m_file);
        m_file = serial_os::kNoHandle;
        m_held = held;
        error = "cannot write the transcript " + path;
        return false;
    }
    return true;
}

void Transcript::Close() {
    if (m_closed)
        return;
    FlushLine();
    m_closed = true;
    if (IsOpen())
        serial_os::CloseLogFile(m_file);
    m_file = serial_os::kNoHandle;
}

void Transcript::FlushLine() {
    if (m_line.empty())
        return;
    char text[hex_dump::kMaxLineChars];
    const size_t length =
        hex_dump::FormatLine(reinterpret_cast<const unsigned char*>(m_line.data()), static_cast<uint32_t>(m_line.size()), text);
    m_line.clear();
    Put(std::string(text, length) + "\n");
}

void Transcript::Put(const std::string& text) {
    if (!IsOpen()) {
        m_held += text;
        return;
    }
    // A transcript the disk will not take is lost from there on; the attempt goes on regardless.
    uint32_t written = 0;
    serial_os::WriteLogFile(m_file, text.data(), static_cast<uint32_t>(text.size()), written);
}

} // namespace provisioning
