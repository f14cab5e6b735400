// What a port is, in words a technician can match to the hardware in front of them: an on-board port,
// a USB adapter (maker, product, serial number), a Bluetooth link (the remote device's address and
// name, and whether it calls out or waits for calls), a pseudo-terminal. The facts come from the
// operating system (serial/PortInfoSystem.h, one file per platform); the text is made here.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace port_info {

enum class PortKind { kOnboard, kUsb, kBluetooth, kPty, kOther };

// Which side starts a Bluetooth serial connection; only an outgoing port reaches a module.
enum class Direction { kUnknown, kOutgoing, kIncoming };

struct UsbDetails {
    std::string vendorId;  // four hex digits, e.g. "0403"
    std::string productId; // "6001"
    std::string manufacturer;
    std::string product;
    std::string serialNumber;
};

struct PortInfo {
    std::string name;   // "com33", or a device path as typed
    std::string device; // the file (POSIX) or device name (Windows) the name opens
    PortKind kind = PortKind::kOther;
    std::string description;
    std::optional<std::string> address;    // the remote Bluetooth address, "00:11:22:33:44:55"
    std::optional<std::string> remoteName; // the remote Bluetooth device's name
    Direction direction = Direction::kUnknown;
    int channel = 0;         // the RFCOMM channel, 0 when not known
    UsbDetails usb;          // USB ports only
    std::string systemLabel; // the system's own name for the port (Windows' friendly name), if any
    // The device exists and has hardware behind it (an 8250 placeholder without a UART has none).
    bool present = false;
};

// The remote device's name for a Bluetooth address, from whoever knows the paired devices (BlueZ).
using RemoteNameLookup = std::function<std::optional<std::string>(const std::string& address)>;

// Everything the system tells about the port; the lookup is asked for a Bluetooth port's remote name
// only when the system itself does not know it. Never opens the port.
PortInfo DescribePort(const std::string& portName, const RemoteNameLookup& lookup = {});

// The description from the other fields. It says what the port is, not whether it is there now: a
// port Windows reaches through a plain device link (as Wine maps them) is known to no device list.
std::string DescriptionOf(const PortInfo& info);

// "onboard", "usb", "bluetooth", "pty", "other".
const char* KindName(PortKind kind);
// "outgoing", "incoming", or nullptr when not known or not a Bluetooth port.
const char* DirectionName(Direction direction);

} // namespace port_info
