#include "DeviceIdentity.h"

#include "PortNames.h"

namespace device_identity {

// Windows names a COM port in any letter case, with or without the "\\.\" prefix.
std::string IdentityOf(const std::string& portName) {
    std::string name = portName.rfind("\\\\.\\", 0) == 0 ? portName.substr(4) : portName;
    for (char& c : name)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    const int number = port_names::ComNumber(name.c_str());
    return number != 0 ? "COM" + std::to_string(number) : name;
}

} // namespace device_identity
