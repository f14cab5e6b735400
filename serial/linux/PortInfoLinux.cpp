#include "PortInfoSystem.h"

#include "PortNames.h"
#include "SysfsPorts.h"

#include <filesystem>

namespace port_info_os {

namespace fs = std::filesystem;

void ReadPortFacts(port_info::PortInfo& info) {
    info.device = port_names::PosixDevicePath(info.name.c_str(), port_names::DeviceDirectory());
    // /dev/serial/by-id and rfcomm links name the tty they lead to; sysfs knows it by that name.
    std::error_code error;
    const fs::path resolved = fs::canonical(info.device, error);
    const bool exists = !error;
    const std::string target = exists ? resolved.string() : info.device;
    if (exists && (target.rfind("/dev/pts/", 0) == 0 || target == "/dev/ptmx")) {
        info.kind = port_info::PortKind::kPty;
        info.systemLabel = target;
        info.present = true;
        return;
    }
    sysfs_ports::ReadTtyFacts(fs::path(target).filename().string(), sysfs_ports::SysfsRoot(), info);
    info.present = info.present && exists;
}

} // namespace port_info_os
