#include "PortProbe.h"

#include "PortNames.h"
#include "SerialSystem.h"

namespace port_probe {

std::vector<std::string> ListOpenablePorts() {
    std::vector<std::string> names;
    for (const std::string& name : port_names::AllComNames()) {
        serial_result::OpenFailure why;
        if (serial_os::ProbeDevice(name.c_str(), why))
            names.push_back(name);
    }
    return names;
}

bool CanOpen(const std::string& portName, serial_result::OpenFailure& why) {
    why = serial_result::OpenFailure{};
    return serial_os::ProbeDevice(portName.c_str(), why);
}

} // namespace port_probe
