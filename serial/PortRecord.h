// A Windows Ports-class device entry as SetupAPI gives it, and what it says about the port: kept free
// of Windows headers so that the reading of real entries is tested on every platform.
#pragma once

#include "PortInfo.h"

#include <string>
#include <vector>

namespace port_info {

struct PortRecord {
    std::string friendlyName;             // "Standard Serial over Bluetooth link (COM5)"
    std::vector<std::string> hardwareIds; // "FTDIBUS\COMPORT&VID_0403&PID_6001", ...
    std::string instanceId;               // "BTHENUM\{00001101-...}_LOCALMFG&0002\7&...&0&001122334455_C00000000"
    std::string portName;                 // "COM5", from the device's registry key
};

// True when the record is the port's ("COM5" and "com5" alike).
bool RecordIsFor(const PortRecord& record, const std::string& portName);

// Kind, label, USB ids and serial number, and a Bluetooth port's remote address and direction: an
// all-zero address is a port that waits for incoming calls.
void ApplyPortRecord(const PortRecord& record, PortInfo& info);

} // namespace port_info
