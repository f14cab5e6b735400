// The station's second source of modules: the paired devices that offer the serial port over
// Bluetooth, reached as "bt:<address>" ports.
#pragma once

#include "PortWatcher.h"

#include <memory>
#include <string>

namespace zk405_cli {

// Null with the reason when the system's Bluetooth stack cannot be asked (none on this platform,
// BlueZ not running, no adapter powered).
std::unique_ptr<port_watcher::PortSource> MakeBluetoothSource(std::string& error);

} // namespace zk405_cli
