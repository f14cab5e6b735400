#include "PortProbe.h"

#include "PortNames.h"
#include "SerialSystem.h"

namespace port_probe {

std::vector<std::string> ListOpenablePorts() {
    std::vector<std::string> names;
    for (int number = port_names::kFirstPort; number <= port_names::kLastPort; ++number) {
        const std::string name = port_names::ComName(number);
        if (serial_os::ProbeDevice(name.c_str()))
            names.push_back(name);
    }
    return names;
}

} // namespace port_probe
