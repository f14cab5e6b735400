// The devices BlueZ knows, kept up to date from its own signals instead of asking it again and again:
// ObjectManager.InterfacesAdded and InterfacesRemoved for devices that come and go, and
// Properties.PropertiesChanged for one that is paired, connected or renamed; when bluetoothd starts
// again, everything is learnt afresh from the new one's objects. One registry serves the
// process for its life, on the session's event loop, so that no signal is ever handled by a
// subscription being torn down.
#pragma once

#include "Bluetooth.h"
#include "BluezSession.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace bluez {

class DeviceRegistry {
public:
    using Changed = std::function<void(const bluetooth::SerialDevice&)>;

    // An observer of the registry while the object lives; its end waits for a call to it under way.
    class Watch;

    // The registry, made and filled at the first call that reaches BlueZ; nullptr with the reason
    // when BlueZ cannot be asked.
    static DeviceRegistry* Of(Session& session, serial_result::OpenFailure& why);

    DeviceRegistry(const DeviceRegistry&) = delete;
    DeviceRegistry& operator=(const DeviceRegistry&) = delete;

    // changed is called for each Serial Port Profile device that appears or whose facts change, from
    // the moment present holds those known now; null without memory for it.
    std::unique_ptr<Watch> Observe(Changed changed, std::vector<bluetooth::SerialDevice>& present);

private:
    explicit DeviceRegistry(Session& session);
    bool Ready(serial_result::OpenFailure& why);
    void Added(sdbus::Message& signal);
    void Removed(sdbus::Message& signal);
    void PropertiesChanged(sdbus::Message& signal);
    void OwnerChanged(sdbus::Message& signal);
    // What the new bluetoothd knows, asked for without waiting (this runs on the event loop).
    void Reload();
    void Reloaded(const ManagedObjects& objects);
    // Tells the observers of the device at path, when it offers the serial port.
    void Report(const std::string& path);
    void Forget(const Watch* watch);

    Session& m_session;
    mutable std::mutex m_mutex;           // the devices and the observers
    std::mutex m_calls;                   // held while observers are called, so none ends meanwhile
    std::map<std::string, Properties> m_devices; // Device1's properties by object path
    std::vector<std::pair<const Watch*, Changed>> m_observers;
    sdbus::Slot m_objectsSignals;    // InterfacesAdded, InterfacesRemoved
    sdbus::Slot m_propertiesSignals; // a device's PropertiesChanged
    sdbus::Slot m_ownerSignals;      // org.bluez's NameOwnerChanged
    std::unique_ptr<sdbus::IProxy> m_reloadRoot; // only on the event loop: the reload's call lives with it
    sdbus::PendingAsyncCall m_reload;
    bool m_loaded = false;           // what BlueZ knew when the signals began is in m_devices
};

class DeviceRegistry::Watch : public bluetooth::DeviceWatch {
public:
    explicit Watch(DeviceRegistry& registry) : m_registry(registry) {}
    ~Watch() override { m_registry.Forget(this); }

private:
    DeviceRegistry& m_registry;
};

} // namespace bluez
