// The process's one link to BlueZ on the system bus (DBUS_SYSTEM_BUS_ADDRESS when set): a connection
// whose event loop runs on a thread of its own, so that bluetoothd's calls to our profile are served
// while an open waits, and the one client profile that receives the sockets for every device this
// process connects to, several at once. bluetoothd is followed by its unique name on the bus: a new
// one (restarted under a long-running station) gets our profile again, and only the current one may
// hand us a connection.
#pragma once

#include "Bluetooth.h"
#include "BluezCall.h"
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
// is not on it (or the bus does not answer).
Session* TheSession(serial_result::OpenFailure& why);

// The bus's signal each time org.bluez changes hands: bluetoothd started, ended or started again.
std::string OwnerChangedRule();

// Everything BlueZ knows (adapters, devices); false with the reason when it cannot be asked or does
// not answer within bound.
bool ManagedObjectsOf(Session& session, ManagedObjects& objects, serial_result::OpenFailure& why,
                      std::chrono::milliseconds bound = AnswerBound());
sdbus::IConnection& ConnectionOf(Session& session);
// org.bluez's unique name on the bus as last followed; empty while nobody owns it. Only it may ask
// the questions our objects answer.
std::string BluezOwnerOf(Session& session);

// Our client profile registered with the current bluetoothd, asked for again after it changed.
bool EnsureProfile(Session& session, std::chrono::steady_clock::time_point deadline, serial_result::OpenFailure& why);
// The socket bluetoothd hands our profile for the device at devicePath, or -1 with the reason: refused,
// not made by deadline (the end of the open's whole bound), or given up at a stop (the half-made
// connection disconnected).
int ConnectProfile(Session& session, const std::string& devicePath, std::chrono::steady_clock::time_point deadline,
                   std::chrono::milliseconds whole, serial_result::OpenFailure& why);

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
