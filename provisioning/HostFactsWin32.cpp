#include "HostFacts.h"

#include "PortNames.h"
#include "WideText.h"

#include <filesystem>
#include <fstream>
#include <system_error>
#include <windows.h>

namespace host_facts {

using wide_text::Utf8ToWide;
using wide_text::WideToUtf8;

std::string DeviceOf(const std::string& portName) {
    return port_names::Win32DevicePath(portName.c_str());
}

std::string DeviceIdentity(const std::string&) {
    return {};
}

// Windows hands a preset over as a file only: there is no FIFO to wait on, and a device (CON, NUL)
// is no regular file.
bool ReadSmallInput(const std::string& path, size_t maxBytes, std::string& text, std::string& error) {
    std::error_code code;
    const std::filesystem::path file(Utf8ToWide(path));
    const std::filesystem::file_status status = std::filesystem::status(file, code);
    if (code) {
        error = code.message();
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = std::filesystem::is_directory(status) ? "it is a directory" : "it is not a regular file";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    std::string read(maxBytes + 1, '\0');
    in.read(read.data(), static_cast<std::streamsize>(read.size()));
    if (in.bad() || (!in && !in.eof())) {
        error = "it could not be read";
        return false;
    }
    read.resize(static_cast<size_t>(in.gcount()));
    if (read.size() > maxBytes) {
        error = "it is larger than " + std::to_string(maxBytes) + " bytes";
        return false;
    }
    text = std::move(read);
    return true;
}

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size) || size == 0)
        return "unknown";
    return WideToUtf8(name);
}

} // namespace host_facts
