#include "SysfsPorts.h"

#include "BluetoothAddress.h"
#include "EscapedText.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <optional>

namespace sysfs_ports {

namespace fs = std::filesystem;

namespace {

// A USB device sits a few levels above its tty (device, interface, usb-serial port, tty).
constexpr int kMostLevelsToUsbDevice = 6;
// Sysfs attributes are short; USB strings are at most 126 characters.
// Above any USB string (126 UTF-16 units, up to 378 bytes of UTF-8), so that none is cut.
constexpr size_t kLongestAttribute = 512;

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The attribute's first line without its newline. USB strings come from the device itself and are kept
// as they are, controls included: every text output escapes them. One longer than any USB string is cut
// on a character boundary, so that the text stays UTF-8.
std::optional<std::string> ReadAttribute(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::string text(kLongestAttribute + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(file.gcount()));
    if (text.size() > kLongestAttribute)
        text.resize(CutUtf8(text, kLongestAttribute).size());
    const size_t end = text.find('\n');
    if (end != std::string::npos)
        text.resize(end);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r'))
        text.pop_back();
    return text;
}

std::string AttributeOrEmpty(const fs::path& path) {
    return ReadAttribute(path).value_or("");
}

bool Within(const fs::path& path, const fs::path& root) {
    const std::string text = path.string();
    const std::string prefix = root.string();
    return text.size() > prefix.size() && text.compare(0, prefix.size(), prefix) == 0 &&
           text[prefix.size()] == '/';
}

// The bus a device directory is on ("usb", "pnp", "platform", ...), empty when it has none.
std::string SubsystemOf(const fs::path& device) {
    std::error_code error;
    const fs::path subsystem = fs::canonical(device / "subsystem", error);
    return error ? std::string() : subsystem.filename().string();
}

bool ReadUsbDevice(fs::path dir, const fs::path& root, port_info::UsbDetails& usb) {
    for (int level = 0; level < kMostLevelsToUsbDevice && Within(dir, root); ++level, dir = dir.parent_path()) {
        std::optional<std::string> vendor = ReadAttribute(dir / "idVendor");
        if (!vendor)
            continue;
        usb.vendorId = *vendor;
        usb.productId = AttributeOrEmpty(dir / "idProduct");
        usb.manufacturer = AttributeOrEmpty(dir / "manufacturer");
        usb.product = AttributeOrEmpty(dir / "product");
        usb.serialNumber = AttributeOrEmpty(dir / "serial");
        return true;
    }
    return false;
}

// The controller behind an on-board UART: newer kernels put serial-base port devices between it and
// the tty.
fs::path ControllerOf(fs::path device, const fs::path& root) {
    while (SubsystemOf(device) == "serial-base" && Within(device.parent_path(), root))
        device = device.parent_path();
    return device;
}

// The remote device of an rfcomm tty; none for one that waits for calls, whose address is all zeros.
std::optional<bluetooth::Address> RemoteAddressOf(const fs::path& tty) {
    const std::optional<std::string> text = ReadAttribute(tty / "address");
    std::optional<bluetooth::Address> address = text ? bluetooth::Address::Parse(*text) : std::nullopt;
    if (address && address->IsZero())
        return std::nullopt;
    return address;
}

void ReadRfcomm(const fs::path& tty, port_info::PortInfo& info) {
    info.kind = port_info::PortKind::kBluetooth;
    info.direction = port_info::Direction::kOutgoing;
    info.present = true;
    if (const std::optional<bluetooth::Address> address = RemoteAddressOf(tty))
        info.address = address->Text();
    const std::string channel = AttributeOrEmpty(tty / "channel");
    int number = 0;
    const auto [end, error] = std::from_chars(channel.data(), channel.data() + channel.size(), number);
    // RFCOMM channels are 1 to 30.
    if (error == std::errc() && end == channel.data() + channel.size() && number >= 1 && number <= 30)
        info.channel = number;
}

} // namespace

void ReadTtyFacts(const std::string& ttyName, const std::string& sysRoot, port_info::PortInfo& info) {
    using port_info::PortKind;
    const bool usbFamily = StartsWith(ttyName, "ttyUSB") || StartsWith(ttyName, "ttyACM");
    if (usbFamily)
        info.kind = PortKind::kUsb;
    std::error_code error;
    const fs::path root = fs::canonical(sysRoot, error);
    const fs::path tty = fs::path(sysRoot) / "class" / "tty" / ttyName;
    // A name that could walk out of the class folder is no tty.
    if (error || ttyName.empty() || ttyName.find('/') != std::string::npos || ttyName[0] == '.' ||
        !fs::is_directory(tty, error)) {
        info.present = false;
        if (StartsWith(ttyName, "rfcomm"))
            info.kind = PortKind::kBluetooth;
        return;
    }
    if (StartsWith(ttyName, "rfcomm")) {
        ReadRfcomm(tty, info);
        return;
    }

    const fs::path device = fs::canonical(tty / "device", error);
    if (error || !Within(device, root)) {
        // ttyS entries exist for every possible 8250 line; without a device behind one there is no port.
        info.present = !StartsWith(ttyName, "ttyS") && !usbFamily;
        return;
    }
    if (ReadUsbDevice(device, root, info.usb)) {
        info.kind = PortKind::kUsb;
        info.present = true;
        return;
    }
    info.present = true;
    if (usbFamily)
        return;
    const std::string bus = SubsystemOf(ControllerOf(device, root));
    const bool controller = bus == "platform" || bus == "pnp" || bus == "pci" || bus == "amba" || bus == "acpi";
    // The 8250 driver registers lines it found no UART for under its own platform device, type 0.
    if (controller && ReadAttribute(tty / "type") == std::optional<std::string>("0")) {
        info.present = false;
        return;
    }
    if (controller)
        info.kind = PortKind::kOnboard;
}

std::vector<std::string> RfcommPortsOf(const bluetooth::Address& address, const std::string& sysRoot) {
    std::vector<std::string> bound;
    std::error_code error;
    for (fs::directory_iterator entry(fs::path(sysRoot) / "class" / "tty", error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (StartsWith(name, "rfcomm") && RemoteAddressOf(entry->path()) == address)
            bound.push_back(name);
    }
    std::sort(bound.begin(), bound.end());
    return bound;
}

namespace {

std::string& SysfsRootStorage() {
    static std::string root = "/sys";
    return root;
}

} // namespace

const std::string& SysfsRoot() {
    return SysfsRootStorage();
}

void SetSysfsRoot(std::string root) {
    SysfsRootStorage() = std::move(root);
}

} // namespace sysfs_ports
