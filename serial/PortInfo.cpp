#include "PortInfo.h"

#include "Bluetooth.h"

#include "PortInfoSystem.h"


namespace port_info {

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// "FTDI FT232R USB UART": the maker once, even where the product repeats it.
std::string UsbProductText(const UsbDetails& usb) {
    if (usb.product.empty())
        return usb.manufacturer;
    if (usb.manufacturer.empty() || StartsWith(usb.product, usb.manufacturer))
        return usb.product;
    return usb.manufacturer + " " + usb.product;
}

std::string UsbText(const PortInfo& info) {
    std::string text = UsbProductText(info.usb);
    if (text.empty())
        text = info.systemLabel;
    if (text.empty()) {
        text = "USB serial device";
        if (!info.usb.vendorId.empty())
            text += " " + info.usb.vendorId + ":" + info.usb.productId;
    }
    if (!info.usb.serialNumber.empty())
        text += " (serial " + info.usb.serialNumber + ")";
    return text;
}

std::string BluetoothText(const PortInfo& info) {
    if (info.direction == Direction::kIncoming)
        return (info.systemLabel.empty() ? std::string("Bluetooth serial port") : info.systemLabel) +
               ", incoming: it waits for other devices to call and cannot reach a module; use the outgoing port";
    if (!info.address)
        return info.systemLabel.empty() ? "Bluetooth serial port (remote address unknown)"
                                        : info.systemLabel + " (remote address unknown)";
    std::string text = "Bluetooth, outgoing to ";
    text += info.remoteName && !info.remoteName->empty() ? *info.remoteName + " (" + *info.address + ")"
                                                         : *info.address;
    if (info.channel > 0)
        text += ", channel " + std::to_string(info.channel);
    return text;
}

std::string BaseText(const PortInfo& info) {
    switch (info.kind) {
    case PortKind::kUsb:
        return UsbText(info);
    case PortKind::kBluetooth:
        return BluetoothText(info);
    case PortKind::kOnboard:
        return info.systemLabel.empty() ? "On-board serial port" : info.systemLabel;
    case PortKind::kPty:
        return info.systemLabel.empty() ? "Pseudo-terminal" : "Pseudo-terminal " + info.systemLabel;
    case PortKind::kOther:
        break;
    }
    return info.systemLabel.empty() ? "Serial device" : info.systemLabel;
}

} // namespace

PortInfo DescribePort(const std::string& portName, const RemoteNameLookup& lookup) {
    PortInfo info;
    info.name = portName;
    std::string address;
    // A "bt:" port is the link this program makes itself: its facts are in its name.
    if (bluetooth::AddressOfPortName(portName.c_str(), address)) {
        info.device = portName;
        info.kind = PortKind::kBluetooth;
        info.address = address;
        info.direction = Direction::kOutgoing;
        info.present = true;
    } else {
        port_info_os::ReadPortFacts(info);
    }
    if (info.address && !info.remoteName && lookup && info.direction != Direction::kIncoming)
        info.remoteName = lookup(*info.address);
    // Names from other devices (a Bluetooth device names itself over the air, a USB adapter says what
    // it is) stay as they came: text output escapes them, JSON and the ledger carry them whole.
    info.description = DescriptionOf(info);
    return info;
}

std::string DescriptionOf(const PortInfo& info) {
    return BaseText(info);
}

const char* KindName(PortKind kind) {
    switch (kind) {
    case PortKind::kOnboard:
        return "onboard";
    case PortKind::kUsb:
        return "usb";
    case PortKind::kBluetooth:
        return "bluetooth";
    case PortKind::kPty:
        return "pty";
    case PortKind::kOther:
        break;
    }
    return "other";
}

const char* DirectionName(Direction direction) {
    switch (direction) {
    case Direction::kOutgoing:
        return "outgoing";
    case Direction::kIncoming:
        return "incoming";
    case Direction::kUnknown:
        break;
    }
    return nullptr;
}

} // namespace port_info
