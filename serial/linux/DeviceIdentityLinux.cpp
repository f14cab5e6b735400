#include "DeviceIdentity.h"

#include "PortNames.h"

#include <sys/stat.h>

namespace device_identity {

std::string IdentityOf(const std::string& portName) {
    const std::string path = port_names::PosixDevicePath(portName.c_str(), port_names::DeviceDirectory());
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return "name " + path;
    // A character device is the same device under every node that names it (/dev/serial/by-id links,
    // a copy made with mknod); anything else is the same file.
    if (S_ISCHR(st.st_mode))
        return "device " + std::to_string(static_cast<unsigned long long>(st.st_rdev));
    return "file " + std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
           std::to_string(static_cast<unsigned long long>(st.st_ino));
}

} // namespace device_identity
