// BlueZ's D-Bus names and the Serial Port Profile's UUID, kept in one place for the client.
#pragma once

namespace bluez {

inline constexpr const char* kService = "org.bluez";
inline constexpr const char* kRootPath = "/";
inline constexpr const char* kManagerPath = "/org/bluez";
inline constexpr const char* kObjectManager = "org.freedesktop.DBus.ObjectManager";
inline constexpr const char* kAdapter = "org.bluez.Adapter1";
inline constexpr const char* kDevice = "org.bluez.Device1";
inline constexpr const char* kProfileManager = "org.bluez.ProfileManager1";
inline constexpr const char* kProfile = "org.bluez.Profile1";
inline constexpr const char* kAgentManager = "org.bluez.AgentManager1";
inline constexpr const char* kAgent = "org.bluez.Agent1";
inline constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
inline constexpr const char* kRejected = "org.bluez.Error.Rejected";

inline constexpr const char* kBusService = "org.freedesktop.DBus";
inline constexpr const char* kBusPath = "/org/freedesktop/DBus";

inline constexpr const char* kSerialPortUuid = "00001101-0000-1000-8000-00805f9b34fb";
// The client profile this process registers; bluetoothd hands it every connection we ask for.
inline constexpr const char* kProfilePath = "/org/zk405/serial_port";
inline constexpr const char* kProfileName = "ZK405 serial port";
// The pairing agent this process registers while it pairs, never as the default one.
inline constexpr const char* kAgentPath = "/org/zk405/agent";
inline constexpr const char* kAgentCapability = "KeyboardDisplay";

} // namespace bluez
