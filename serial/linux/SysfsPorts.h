// Linux's own account of a tty, read from sysfs as the kernel lays it out and as udev's
// /dev/serial/by-id names are made from it: the USB device above an adapter, the controller behind an
// on-board UART, the remote address and channel of an rfcomm link.
#pragma once

#include "BluetoothAddress.h"
#include "PortInfo.h"

#include <optional>
#include <string>
#include <vector>

namespace sysfs_ports {

// Fills kind, presence, the USB details and the rfcomm address, channel and direction of the tty named
// ttyName ("ttyUSB0"), with sysfs mounted at sysRoot. Leaves what sysfs does not say as it was.
void ReadTtyFacts(const std::string& ttyName, const std::string& sysRoot, port_info::PortInfo& info);

// The rfcomm devices bound to the remote device at address, by tty name ("rfcomm0"), in order.
std::vector<std::string> RfcommPortsOf(const bluetooth::Address& address, const std::string& sysRoot);

// Where sysfs is read from: "/sys", moved only by tests.
const std::string& SysfsRoot();
void SetSysfsRoot(std::string root);

} // namespace sysfs_ports
