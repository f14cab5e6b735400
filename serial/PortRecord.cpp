#include "PortRecord.h"

#include "BluetoothAddress.h"

#include <cctype>

namespace port_info {

namespace {

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return Upper(text.substr(0, prefix.size())) == prefix;
}

// The text after the last backslash: the instance part of a device instance id.
std::string LastComponent(const std::string& id) {
    const size_t slash = id.rfind('\\');
    return slash == std::string::npos ? std::string() : id.substr(slash + 1);
}

// "Standard Serial over Bluetooth link (COM5)" without its " (COM5)": the list shows the port's name.
std::string LabelWithoutPort(const std::string& friendlyName, const std::string& portName) {
    const std::string suffix = " (" + Upper(portName) + ")";
    if (!portName.empty() && friendlyName.size() > suffix.size() &&
        Upper(friendlyName.substr(friendlyName.size() - suffix.size())) == suffix)
        return friendlyName.substr(0, friendlyName.size() - suffix.size());
    return friendlyName;
}

// The four hex digits after "VID_" (or "PID_") in a hardware id, "VID_0403&PID_6001" or FTDI's
// "VID_0403+PID_6001".
std::string UsbId(const std::string& id, const char* key) {
    const std::string upper = Upper(id);
    const size_t at = upper.find(key);
    if (at == std::string::npos)
        return {};
    const std::string digits = upper.substr(at + 4, 4);
    if (digits.size() != 4)
        return {};
    for (char c : digits)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return {};
    return digits;
}

// A Bluetooth port's instance part ends in the remote address and the service:
// "7&1a2b3c4d&0&001122334455_C00000000"; the address is all zeros for an incoming port.
std::optional<bluetooth::Address> BluetoothAddress(const std::string& instanceId) {
    std::string part = LastComponent(instanceId);
    const size_t amp = part.rfind('&');
    if (amp != std::string::npos)
        part = part.substr(amp + 1);
    const size_t underscore = part.find('_');
    return bluetooth::Address::Parse(part.substr(0, underscore));
}

void ApplyUsb(const PortRecord& record, PortInfo& info) {
    info.kind = PortKind::kUsb;
    for (const std::string& id : record.hardwareIds) {
        if (info.usb.vendorId.empty())
            info.usb.vendorId = UsbId(id, "VID_");
        if (info.usb.productId.empty())
            info.usb.productId = UsbId(id, "PID_");
    }
    if (info.usb.vendorId.empty()) {
        info.usb.vendorId = UsbId(record.instanceId, "VID_");
        info.usb.productId = UsbId(record.instanceId, "PID_");
    }
    // USB\VID_2341&PID_0043\75735323 carries the serial number; generated instance parts contain '&'.
    // FTDI's driver puts it after PID: FTDIBUS\VID_0403+PID_6001+A10KZ1XYA\0000.
    const std::string last = LastComponent(record.instanceId);
    if (StartsWithNoCase(record.instanceId, "USB\\") && !last.empty() && last.find('&') == std::string::npos) {
        info.usb.serialNumber = last;
    } else if (StartsWithNoCase(record.instanceId, "FTDIBUS\\")) {
        const std::string device = record.instanceId.substr(8, record.instanceId.find('\\', 8) - 8);
        const size_t plus = device.rfind('+');
        // FTDI adds the channel letter (A) to the chip's serial number.
        if (plus != std::string::npos && Upper(device.substr(0, plus)).find("PID_") != std::string::npos &&
            device.size() > plus + 2)
            info.usb.serialNumber = device.substr(plus + 1, device.size() - plus - 2);
    }
}

} // namespace

bool RecordIsFor(const PortRecord& record, const std::string& portName) {
    return !record.portName.empty() && Upper(record.portName) == Upper(portName);
}

void ApplyPortRecord(const PortRecord& record, PortInfo& info) {
    info.present = true;
    info.systemLabel = LabelWithoutPort(record.friendlyName, record.portName);
    const std::string& id = record.instanceId;
    if (StartsWithNoCase(id, "BTHENUM\\") || StartsWithNoCase(id, "BTHMODEM\\")) {
        info.kind = PortKind::kBluetooth;
        const std::optional<bluetooth::Address> address = BluetoothAddress(id);
        if (address && address->IsZero()) {
            info.direction = Direction::kIncoming;
        } else if (address) {
            info.direction = Direction::kOutgoing;
            info.address = address->Text();
        }
        return;
    }
    bool usb = StartsWithNoCase(id, "USB\\") || StartsWithNoCase(id, "FTDIBUS\\");
    for (const std::string& hardwareId : record.hardwareIds)
        usb = usb || StartsWithNoCase(hardwareId, "USB\\") || StartsWithNoCase(hardwareId, "FTDIBUS\\");
    if (usb) {
        ApplyUsb(record, info);
        return;
    }
    // ACPI\PNP0501 is the 16550 UART of the board; PCI cards sit on the board as well.
    if (StartsWithNoCase(id, "ACPI\\") || StartsWithNoCase(id, "PCI\\") || StartsWithNoCase(id, "ROOT\\*PNP05") ||
        StartsWithNoCase(id, "MF\\"))
        info.kind = PortKind::kOnboard;
}

} // namespace port_info
