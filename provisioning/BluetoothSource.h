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

// The unattended station's source: keeps a discovery running for as long as it lives and reports each
// device that offers the serial port, is not paired, was not known when it started and whose name
// matches pattern (bluetooth::NameMatches; empty for any), once for its life: a module whose bond the
// station removed is found again unpaired, and is not a new module.
std::unique_ptr<PortSource> MakeDiscoveringBluetoothSource(const std::string& pattern, std::string& error);

} // namespace provisioning
