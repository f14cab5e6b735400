// The Serial Port Profile devices BlueZ knows or finds nearby, each with the rfcomm device already
// bound to it (from sysfs), and a device's name for the port descriptions.
#include "Bluetooth.h"

#include "BluetoothAddress.h"
#include "BluezDeviceRegistry.h"
#include "BluezNames.h"
#include "BluezSession.h"
#include "SysfsPorts.h"

#include <algorithm>
#include <thread>

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

// Adapters powered on, by object path; false with the reason when there is none.
bool PoweredAdapters(const bluez::ManagedObjects& objects, std::vector<std::string>& adapters, OpenFailure& why) {
    bool any = false;
    for (const auto& [path, interfaces] : objects) {
        const bluez::Properties* adapter = bluez::InterfaceOf(interfaces, bluez::kAdapter);
        if (adapter == nullptr)
            continue;
        any = true;
        if (bluez::PropertyOr(*adapter, "Powered", false))
            adapters.push_back(path);
    }
    if (!adapters.empty())
        return true;
    serial_result::Refuse(why, OpenReason::kNoAdapter, std::string(), 0,
                          any ? "every adapter is powered off; turn one on: bluetoothctl power on" : "none is present");
    return false;
}

// Classic (BR/EDR) discovery on every powered adapter for the given time; the devices it finds join
// BlueZ's objects. A refused filter still lets the discovery run.
void Discover(bluez::Session& session, const std::vector<std::string>& adapters, std::chrono::seconds length) {
    std::vector<std::unique_ptr<sdbus::IProxy>> started;
    for (const std::string& path : adapters) {
        try {
            auto adapter = sdbus::createProxy(bluez::ConnectionOf(session), bluez::kService, path);
            try {
                const std::map<std::string, sdbus::Variant> filter = {{"Transport", sdbus::Variant(std::string("bredr"))}};
                adapter->callMethod("SetDiscoveryFilter").onInterface(bluez::kAdapter).withArguments(filter);
            } catch (const sdbus::Error&) {
            }
            adapter->callMethod("StartDiscovery").onInterface(bluez::kAdapter);
            started.push_back(std::move(adapter));
        } catch (const sdbus::Error&) {
            // Busy with a discovery of another program, say: what it finds is listed all the same.
        }
    }
    std::this_thread::sleep_for(length);
    for (auto& adapter : started) {
        try {
            adapter->callMethod("StopDiscovery").onInterface(bluez::kAdapter);
        } catch (const sdbus::Error&) {
        }
    }
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
        !PoweredAdapters(objects, adapters, why))
        return false;
    if (discoverFor.count() > 0) {
        Discover(*session, adapters, discoverFor);
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
        !PoweredAdapters(objects, adapters, why))
        return nullptr;
    bluez::DeviceRegistry* registry = bluez::DeviceRegistry::Of(*session, why);
    if (registry == nullptr)
        return nullptr;
    std::unique_ptr<DeviceWatch> watch = registry->Observe(std::move(changed), present);
    if (!watch)
        serial_result::Refuse(why, OpenReason::kResourceLimit, std::string(), 0, "no memory to watch for devices");
    return watch;
}

std::optional<std::string> DeviceName(const std::string& address) {
    OpenFailure why;
    bluez::Session* session = bluez::TheSession(why);
    bluez::ManagedObjects objects;
    if (session == nullptr || !bluez::ManagedObjectsOf(*session, objects, why))
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
