// The station's second source of modules: the paired devices that offer the serial port over
// Bluetooth, reached as "bt:<address>" ports.
#pragma once

#include "PortSource.h"

#include <memory>
#include <string>

namespace provisioning {

// Null with the reason when the system's Bluetooth stack cannot be asked (none on this platform,
// BlueZ not running, no adapter powered).
std::unique_ptr<PortSource> MakeBluetoothSource(std::string& error);

} // namespace provisioning
