#include "BluezDeviceRegistry.h"

#include "BluezCall.h"
#include "BluezNames.h"

#include <algorithm>
#include <new>

namespace bluez {

using serial_result::OpenFailure;
using serial_result::OpenReason;

namespace {

// BlueZ's signals only: another service's objects are none of ours.
std::string ObjectManagerRule() {
    return std::string("type='signal',sender='") + kService + "',path='" + kRootPath + "',interface='" +
           kObjectManager + "'";
}

std::string DevicePropertiesRule() {
    return std::string("type='signal',sender='") + kService + "',interface='" + kProperties +
           "',member='PropertiesChanged',arg0='" + kDevice + "'";
}

} // namespace

DeviceRegistry* DeviceRegistry::Of(Session& session, OpenFailure& why) {
    static std::mutex mutex;
    // Never destroyed: the session's event loop may call into it until the process ends.
    static DeviceRegistry* registry = nullptr;
    const std::lock_guard<std::mutex> lock(mutex);
    if (registry == nullptr)
        registry = new (std::nothrow) DeviceRegistry(session);
    if (registry == nullptr) {
        serial_result::Refuse(why, OpenReason::kResourceLimit, std::string(), 0, "no memory to watch for devices");
        return nullptr;
    }
    return registry->Ready(why) ? registry : nullptr;
}

DeviceRegistry::DeviceRegistry(Session& session) : m_session(session) {}

// Subscribed before BlueZ is asked for what it knows, so that no change falls between the two; what
// failed is tried again at the next call.
bool DeviceRegistry::Ready(OpenFailure& why) {
    if (m_loaded)
        return true;
    try {
        sdbus::IConnection& connection = ConnectionOf(m_session);
        if (!m_objectsSignals)
            m_objectsSignals = connection.addMatch(ObjectManagerRule(), [this](sdbus::Message& signal) {
                if (signal.getMemberName() == "InterfacesAdded")
                    Added(signal);
                else if (signal.getMemberName() == "InterfacesRemoved")
                    Removed(signal);
            });
        if (!m_ownerSignals)
            m_ownerSignals =
                connection.addMatch(OwnerChangedRule(), [this](sdbus::Message& signal) { OwnerChanged(signal); });
        if (!m_propertiesSignals)
            m_propertiesSignals = connection.addMatch(
                DevicePropertiesRule(), [this](sdbus::Message& signal) { PropertiesChanged(signal); });
    } catch (const std::exception& e) {
        serial_result::Refuse(why, OpenReason::kBluetoothUnavailable, std::string(), 0,
                              std::string("BlueZ's signals cannot be received: ") + e.what());
        return false;
    }
    ManagedObjects objects;
    if (!ManagedObjectsOf(m_session, objects, why))
        return false;
    const std::lock_guard<std::mutex> lock(m_mutex);
    try {
        for (const auto& [path, interfaces] : objects)
            if (const Properties* device = InterfaceOf(interfaces, kDevice))
                m_devices[path] = *device;
    } catch (const std::bad_alloc&) {
        serial_result::Refuse(why, OpenReason::kResourceLimit, std::string(), 0, "no memory to watch for devices");
        return false;
    }
    m_loaded = true;
    return true;
}

void DeviceRegistry::Added(sdbus::Message& signal) {
    sdbus::ObjectPath path;
    Interfaces interfaces;
    try {
        signal >> path >> interfaces;
    } catch (const std::exception&) {
        return; // not the signal's documented shape: nothing to learn from it
    }
    const Properties* device = InterfaceOf(interfaces, kDevice);
    if (device == nullptr)
        return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_devices[path] = *device;
    }
    Report(path);
}

void DeviceRegistry::Removed(sdbus::Message& signal) {
    sdbus::ObjectPath path;
    std::vector<std::string> interfaces;
    try {
        signal >> path >> interfaces;
    } catch (const std::exception&) {
        return;
    }
    if (std::find(interfaces.begin(), interfaces.end(), kDevice) == interfaces.end())
        return;
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_devices.erase(path);
}

void DeviceRegistry::PropertiesChanged(sdbus::Message& signal) {
    std::string interface;
    Properties changed;
    std::vector<std::string> invalidated;
    try {
        signal >> interface >> changed >> invalidated;
    } catch (const std::exception&) {
        return;
    }
    const std::string path = signal.getPath();
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_devices.find(path);
        // A device whose InterfacesAdded this process never saw is learnt from the whole of its next
        // announcement instead of from a part.
        if (interface != kDevice || found == m_devices.end())
            return;
        for (auto& [name, value] : changed)
            found->second[name] = std::move(value);
        for (const std::string& name : invalidated)
            found->second.erase(name);
    }
    Report(path);
}

void DeviceRegistry::OwnerChanged(sdbus::Message& signal) {
    const std::optional<std::string> owner = BluezOwnerChange(signal);
    if (!owner)
        return;
    const std::string& after = *owner;
    {
        // The old bluetoothd's objects went with it.
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_devices.clear();
    }
    if (!after.empty())
        Reload();
}

void DeviceRegistry::Reload() {
    try {
        // The previous reload, if still due, is dropped with its proxy: this one is newer.
        m_reloadRoot = sdbus::createProxy(ConnectionOf(m_session), kService, kRootPath);
        m_reload = m_reloadRoot->callMethodAsync("GetManagedObjects")
                       .onInterface(kObjectManager)
                       .withTimeout(AnswerBound())
                       .uponReplyInvoke([this](const sdbus::Error* error, const ManagedObjects& objects) {
                           if (error == nullptr)
                               Reloaded(objects);
                       });
    } catch (const std::exception&) {
        // The new bluetoothd's signals still tell of each device that it adds or changes.
    }
}

void DeviceRegistry::Reloaded(const ManagedObjects& objects) {
    std::vector<std::string> paths;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        try {
            for (const auto& [path, interfaces] : objects)
                if (const Properties* device = InterfaceOf(interfaces, kDevice)) {
                    // What a signal told since the owner changed is newer than this answer.
                    m_devices.emplace(path, *device);
                    paths.push_back(path);
                }
        } catch (const std::bad_alloc&) {
            // Learnt at each device's next change.
        }
    }
    for (const std::string& path : paths)
        Report(path);
}

void DeviceRegistry::Report(const std::string& path) {
    const std::lock_guard<std::mutex> calling(m_calls);
    std::vector<Changed> observers;
    bluetooth::SerialDevice device;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_devices.find(path);
        if (found == m_devices.end() || !OffersSerialPort(found->second))
            return;
        device = SerialDeviceOf(found->second);
        try {
            for (const auto& [watch, changed] : m_observers)
                observers.push_back(changed);
        } catch (const std::bad_alloc&) {
            return; // told again at the device's next change
        }
    }
    for (const Changed& changed : observers)
        changed(device);
}

std::unique_ptr<DeviceRegistry::Watch> DeviceRegistry::Observe(Changed changed,
                                                               std::vector<bluetooth::SerialDevice>& present) {
    std::unique_ptr<Watch> watch(new (std::nothrow) Watch(*this));
    if (!watch)
        return nullptr;
    const std::lock_guard<std::mutex> lock(m_mutex);
    try {
        present.clear();
        for (const auto& [path, properties] : m_devices)
            if (OffersSerialPort(properties))
                present.push_back(SerialDeviceOf(properties));
        m_observers.emplace_back(watch.get(), std::move(changed));
    } catch (const std::bad_alloc&) {
        return nullptr; // Forget finds nothing of it
    }
    std::sort(present.begin(), present.end(), [](const bluetooth::SerialDevice& a, const bluetooth::SerialDevice& b) {
        return a.address < b.address;
    });
    return watch;
}

void DeviceRegistry::Forget(const Watch* watch) {
    const std::lock_guard<std::mutex> calling(m_calls);
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_observers.erase(std::remove_if(m_observers.begin(), m_observers.end(),
                                     [watch](const auto& observer) { return observer.first == watch; }),
                      m_observers.end());
}

} // namespace bluez
