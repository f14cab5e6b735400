// The process's one link to BlueZ on the system bus (DBUS_SYSTEM_BUS_ADDRESS when set): a connection
// whose event loop runs on a thread of its own, so that bluetoothd's calls to our profile are served
// while an open waits, and the one client profile that receives the sockets for every device this
// process connects to, several at once.
#pragma once

#include "Bluetooth.h"
#include "BluezConnect.h"
#include "OpenFailure.h"

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include <sdbus-c++/sdbus-c++.h>

namespace bluez {

using Properties = std::map<std::string, sdbus::Variant>;
using Interfaces = std::map<std::string, Properties>;
using ManagedObjects = std::map<sdbus::ObjectPath, Interfaces>;

class Session;

// The session, made at the first call; nullptr with the reason when there is no system bus or BlueZ
// is not on it.
Session* TheSession(serial_result::OpenFailure& why);

// Everything BlueZ knows (adapters, devices); false with the reason when it cannot be asked.
bool ManagedObjectsOf(Session& session, ManagedObjects& objects, serial_result::OpenFailure& why);
sdbus::IConnection& ConnectionOf(Session& session);

// The properties of an interface of an object, or nullptr.
const Properties* InterfaceOf(const Interfaces& object, const char* interface);
template <typename T>
T PropertyOr(const Properties& properties, const char* name, T otherwise) {
    const auto found = properties.find(name);
    if (found == properties.end() || !found->second.containsValueOfType<T>())
        return otherwise;
    return found->second.get<T>();
}
bool OffersSerialPort(const Properties& device);
// What a Device1's properties say of it (no bound port: that is sysfs's).
bluetooth::SerialDevice SerialDeviceOf(const Properties& device);

} // namespace bluez
