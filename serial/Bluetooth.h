// The module reached straight through the system's Bluetooth stack, without a bound rfcomm device: the
// "bt:" port names, and the devices that offer the Serial Port Profile. Only Linux (BlueZ) has them;
// elsewhere Available() is false and nothing is found.
#pragma once

#include "OpenFailure.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bluetooth {

inline constexpr const char* kPortPrefix = "bt:";

// "bt:aa:bb:cc:dd:ee:ff" (the prefix in any letter case) gives "AA:BB:CC:DD:EE:FF"; false for any
// other name, so that a typed path is never taken for an address.
bool AddressOfPortName(const char* portName, std::string& address);

struct SerialDevice {
    std::string address; // "AA:BB:CC:DD:EE:FF"
    std::string name;    // the alias the system shows
    bool paired = false;
    bool trusted = false;
    bool connected = false;
    std::optional<int> rssi;         // only while the device is seen in a discovery
    std::optional<std::string> port; // the rfcomm device already bound to it, e.g. /dev/rfcomm0
};

// False where the platform has no Bluetooth stack this program can drive.
bool Available();

// The devices that offer the Serial Port Profile: the ones already known at once, and those found
// nearby after a discovery of discoverFor when that is above zero. sysfsRoot moves where the bound
// rfcomm devices are read from, for tests; empty, they are read from the system's own.
// False with the reason when the stack cannot be asked (not running, no adapter powered).
bool ListSerialDevices(std::chrono::seconds discoverFor, const std::string& sysfsRoot,
                       std::vector<SerialDevice>& devices, serial_result::OpenFailure& why);

// The Serial Port Profile devices as the system announces them, without asking it again and again.
// changed is called, on a thread of the system's link, for each device that appears or whose facts
// change (a bound rfcomm port aside), until the watch ends. Null with the reason when the stack cannot
// be asked, as for ListSerialDevices; present then holds the devices known at the start.
class DeviceWatch {
public:
    virtual ~DeviceWatch() = default;
};
std::unique_ptr<DeviceWatch> WatchSerialDevices(std::function<void(const SerialDevice&)> changed,
                                                std::vector<SerialDevice>& present, serial_result::OpenFailure& why);

// The name the system shows for the device at address, when it knows one.
std::optional<std::string> DeviceName(const std::string& address);

} // namespace bluetooth
