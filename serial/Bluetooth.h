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
    bool bonded = false; // its link key is kept (BlueZ's Bonded; where BlueZ has none, Paired)
    bool trusted = false;
    bool connected = false;
    std::optional<int> rssi;         // only while the device is seen in a discovery
    std::optional<std::string> port; // the rfcomm device already bound to it, e.g. /dev/rfcomm0
};

// Whether a device's name matches pattern: * stands for any run of characters, ? for one, and
// letters match in either case.
bool NameMatches(const std::string& name, const std::string& pattern);

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

// A discovery of classic (BR/EDR) devices on every powered adapter, running while any lease on it
// lives: the devices it finds reach the watches above. Null with the reason when the stack cannot be
// asked or no adapter is powered.
class DiscoveryLease {
public:
    virtual ~DiscoveryLease() = default;
};
std::unique_ptr<DiscoveryLease> KeepDiscovering(serial_result::OpenFailure& why);

// Waits, with a discovery of its own, until the system knows the device at address again, unpaired
// (it forgets a device whose bond is removed). False with the reason after timeout, at a stop, or
// when the stack cannot be asked.
bool FindAgain(const std::string& address, std::chrono::milliseconds timeout, serial_result::OpenFailure& why);

// The name the system shows for the device at address, when it knows one.
std::optional<std::string> DeviceName(const std::string& address);

// How a pairing (or the removal of a bond) ended, each with a reason of its own.
struct PairOutcome {
    enum class Kind {
        kPaired,        // bonded now, and marked trusted
        kAlreadyPaired, // bonded before; marked trusted if it was not
        kUnpaired,      // the bond is removed
        kWrongPin,      // the module's PIN is another one (BlueZ's AuthenticationFailed)
        kRefused,       // the module or BlueZ turned the pairing down
        kNoAnswer,      // no answer within the time; the pairing was cancelled
        kUnknownDevice, // BlueZ does not know the address (not found by a discovery)
        kNoAdapter,     // no adapter, or it is powered off
        kUnavailable,   // BlueZ not running or not answering, or no descriptor to wait on
        kStopped,       // a stop signal ended the wait; the pairing was cancelled
    };
    Kind kind = Kind::kUnavailable;
    std::string reason; // one sentence for a person; it never holds the PIN
    // For the kinds that the open's vocabulary words as well (no adapter, BlueZ absent, a stop):
    // its reason, from which the next step is told.
    serial_result::OpenFailure failure;
};

// Stable lower-case word for JSON ("paired", "wrong-pin", ...) and the words a person reads.
const char* PairOutcomeName(PairOutcome::Kind kind);
const char* PairOutcomeWords(PairOutcome::Kind kind);
// Whether the device is bonded after it: paired, already paired, unpaired count as done.
bool PairOutcomeIsGood(PairOutcome::Kind kind);

// Pairs the device at address ("AA:BB:CC:DD:EE:FF") with pin, its current PIN, answering the system's
// questions for this device alone while the pairing lasts and never as the default agent; then
// marks it trusted. Gives up after timeout (the pairing cancelled), and at once at a stop signal.
// Several threads may pair devices at once.
PairOutcome Pair(const std::string& address, const std::string& pin, std::chrono::milliseconds timeout);
// Removes the bond with the device at address, and the system's record of it.
PairOutcome Unpair(const std::string& address);

} // namespace bluetooth
