// Windows reaches the module through the COM port its Bluetooth stack makes; this program does not
// drive the stack itself there.
#include "Bluetooth.h"

namespace bluetooth {

bool Available() {
    return false;
}

bool ListSerialDevices(std::chrono::seconds, const std::string&, std::vector<SerialDevice>& devices,
                       serial_result::OpenFailure& why) {
    devices.clear();
    serial_result::Refuse(why, serial_result::OpenReason::kBluetoothUnavailable, std::string(), 0,
                          "not available on Windows: use the COM port Windows made for the paired module");
    return false;
}

std::unique_ptr<DeviceWatch> WatchSerialDevices(std::function<void(const SerialDevice&)>,
                                                std::vector<SerialDevice>& present, serial_result::OpenFailure& why) {
    ListSerialDevices(std::chrono::seconds(0), std::string(), present, why);
    return nullptr;
}

std::unique_ptr<DiscoveryLease> KeepDiscovering(serial_result::OpenFailure& why) {
    std::vector<SerialDevice> none;
    ListSerialDevices(std::chrono::seconds(0), std::string(), none, why);
    return nullptr;
}

bool FindAgain(const std::string&, std::chrono::milliseconds, serial_result::OpenFailure& why) {
    return KeepDiscovering(why) != nullptr;
}

std::optional<std::string> DeviceName(const std::string&) {
    return std::nullopt;
}

namespace {

PairOutcome InWindowsSettings(const char* what) {
    PairOutcome outcome;
    outcome.kind = PairOutcome::Kind::kUnavailable;
    outcome.reason = std::string("Bluetooth ") + what + " is done in Windows' settings";
    serial_result::Refuse(outcome.failure, serial_result::OpenReason::kBluetoothUnavailable, std::string(), 0,
                          outcome.reason);
    return outcome;
}

} // namespace

PairOutcome Pair(const std::string&, const std::string&, std::chrono::milliseconds) {
    return InWindowsSettings("pairing");
}

PairOutcome Unpair(const std::string&) {
    return InWindowsSettings("unpairing");
}

} // namespace bluetooth
