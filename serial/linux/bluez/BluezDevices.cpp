// The Serial Port Profile devices BlueZ knows or finds nearby, each with the rfcomm device already
// bound to it (from sysfs), and a device's name for the port descriptions.
#include "Bluetooth.h"

#include "BluetoothAddress.h"
#include "BluezDeviceRegistry.h"
#include "BluezDiscovery.h"
#include "BluezNames.h"
#include "BluezSession.h"
#include "StopSignal.h"
#include "SysfsPorts.h"

#include <algorithm>

namespace bluetooth {

using serial_result::OpenFailure;
using serial_result::OpenReason;

namespace {

bool SameAddress(const std::string& a, const std::string& b) {
    const std::optional<Address> parsed = Address::Parse(a);
    return parsed && parsed == Address::Parse(b);
}

// The first rfcomm device already bound to the device at address.
std::optional<std::string> BoundPortOf(const std::string& address, const std::string& sysfsRoot) {
    const std::optional<Address> parsed = Address::Parse(address);
    const std::vector<std::string> bound =
        parsed ? sysfs_ports::RfcommPortsOf(*parsed, sysfsRoot.empty() ? sysfs_ports::SysfsRoot() : sysfsRoot)
               : std::vector<std::string>();
    if (bound.empty())
        return std::nullopt;
    return "/dev/" + bound.front();
}

// Classic (BR/EDR) discovery on every powered adapter for the given time; the devices it finds join
// BlueZ's objects. A refused filter still lets the discovery run. False with the reason when BlueZ
// stops answering or a stop signal ends the discovery early.
bool Discover(bluez::Session& session, const std::vector<std::string>& adapters, std::chrono::seconds length,
              OpenFailure& why) {
    std::vector<std::unique_ptr<sdbus::IProxy>> started;
    bool asked = bluez::StartDiscoveries(session, adapters, started, why);
    // The discovery's time, cut short by a stop.
    const auto end = std::chrono::steady_clock::now() + length;
    while (asked && !StopRequested()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        WaitForStop(static_cast<int>(std::min<long long>(left.count(), 60000)));
    }
    if (asked && StopRequested()) {
        serial_result::Refuse(why, OpenReason::kStopped, std::string(), 0,
                              "by signal " + std::to_string(StopSignalNumber()) + " during the discovery");
        asked = false;
    }
    bluez::StopDiscoveries(started);
    return asked;
}

} // namespace

bool Available() {
    return true;
}

bool ListSerialDevices(std::chrono::seconds discoverFor, const std::string& sysfsRoot,
                       std::vector<SerialDevice>& devices, OpenFailure& why) {
    devices.clear();
    bluez::Session* session = bluez::TheSession(why);
    bluez::ManagedObjects objects;
    std::vector<std::string> adapters;
    if (session == nullptr || !bluez::ManagedObjectsOf(*session, objects, why) ||
        !bluez::PoweredAdapters(objects, adapters, why))
        return false;
    if (discoverFor.count() > 0) {
        if (!Discover(*session, adapters, discoverFor, why))
            return false;
        objects.clear();
        if (!bluez::ManagedObjectsOf(*session, objects, why))
            return false;
    }
    for (const auto& [path, interfaces] : objects) {
        const bluez::Properties* device = bluez::InterfaceOf(interfaces, bluez::kDevice);
        if (device == nullptr || !bluez::OffersSerialPort(*device))
            continue;
        SerialDevice found = bluez::SerialDeviceOf(*device);
        found.port = BoundPortOf(found.address, sysfsRoot);
        devices.push_back(std::move(found));
    }
    std::sort(devices.begin(), devices.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.address < b.address; });
    return true;
}

std::unique_ptr<DeviceWatch> WatchSerialDevices(std::function<void(const SerialDevice&)> changed,
                                                std::vector<SerialDevice>& present, OpenFailure& why) {
    present.clear();
    bluez::Session* session = bluez::TheSession(why);
    bluez::ManagedObjects objects;
    std::vector<std::string> adapters;
    if (session == nullptr || !bluez::ManagedObjectsOf(*session, objects, why) ||
        !bluez::PoweredAdapters(objects, adapters, why))
        return nullptr;
    bluez::DeviceRegistry* registry = bluez::DeviceRegistry::Of(*session, why);
    if (registry == nullptr)
        return nullptr;
    std::unique_ptr<DeviceWatch> watch = registry->Observe(std::move(changed), present);
    if (!watch)
        serial_result::Refuse(why, OpenReason::kResourceLimit, std::string(), 0, "no memory to watch for devices");
    return watch;
}

// A port's description is not worth the full wait for a stuck bluetoothd, once for every port listed.
std::optional<std::string> DeviceName(const std::string& address) {
    OpenFailure why;
    bluez::Session* session = bluez::TheSession(why);
    bluez::ManagedObjects objects;
    if (session == nullptr ||
        !bluez::ManagedObjectsOf(*session, objects, why, std::min(bluez::AnswerBound(), std::chrono::milliseconds(1000))))
        return std::nullopt;
    for (const auto& [path, interfaces] : objects) {
        const bluez::Properties* device = bluez::InterfaceOf(interfaces, bluez::kDevice);
        if (device != nullptr && SameAddress(bluez::PropertyOr(*device, "Address", std::string()), address)) {
            const std::string alias = bluez::PropertyOr(*device, "Alias", std::string());
            if (!alias.empty())
                return alias;
        }
    }
    return std::nullopt;
}

} // namespace bluetooth
