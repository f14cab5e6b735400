#include "CliPlatform.h"

#include "PortNames.h"

namespace cli_platform {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void PrepareConsole() {}

std::string DeviceOf(const std::string& portName) {
    return port_names::PosixDevicePath(portName.c_str(), port_names::DeviceDirectory());
}

} // namespace cli_platform
