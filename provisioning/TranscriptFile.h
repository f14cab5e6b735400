// An attempt's transcript: the conversation with one module both ways, in the traffic log's hex dump,
// each block headed by its direction and the time it began, in a file of its own beside the ledger.
// The traffic log keeps what was sent alone; here the module's replies are blocks of their own.
#pragma once

#include "SerialPlatform.h"
#include "TrafficSink.h"

#include <cstdint>
#include <string>

namespace provisioning {

// "<ledger>.transcripts", the folder beside the ledger that keeps its attempts' transcripts.
std::string TranscriptFolderFor(const std::string& ledgerPath);
// "<n>-<address, else port>-<attempt>.txt", with what is unsafe in a file name replaced; n is 0 for
// an attempt that took no number.
std::string TranscriptFileName(std::int64_t n, const std::string& address, const std::string& port,
                               const std::string& attempt);

// Fed by one port from one thread. What comes before the file is opened (the name is read before
// the number that names the file is taken) is held, then written with the rest as it comes.
class Transcript : public TrafficSink {
public:
    Transcript() = default;
    ~Transcript() override;
    Transcript(const Transcript&) = delete;
    Transcript& operator=(const Transcript&) = delete;

    void Traffic(uint32_t direction, const void* data, uint32_t length) override;
    // A line of the program's own after the traffic (what the command run after the result did).
    void Note(const std::string& line);
    // Creates the file 0600 as the traffic log is created (never through a link, nor a FIFO or another
    // user's file) and writes what is held. False with the reason; the text is then held on.
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return m_file != serial_os::kNoHandle; }
    // Writes the unfinished line and closes the file; nothing more is kept after.
    void Close();

private:
    void FlushLine();
    void Put(const std::string& text);

    serial_os::Handle m_file = serial_os::kNoHandle;
    std::string m_held; // the text the file has not had yet
    bool m_started = false;
    bool m_closed = false;
    uint32_t m_direction = 0;
    std::string m_line; // the bytes of the dump line under way
};

} // namespace provisioning
