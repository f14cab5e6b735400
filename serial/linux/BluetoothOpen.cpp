// A "bt:" port: the link to a paired device through BlueZ, held under a lock named after its address.
#include "DeviceOpens.h"

#include "Bluetooth.h"
#include "BluetoothAddress.h"
#include "BluezConnect.h"

#include <chrono>
#include <cstdlib>

namespace serial_os {

namespace {

// The longest a Bluetooth connection may take; tests shorten it (never lengthen it) through
// ZK405_BLUETOOTH_CONNECT_MS so that a device that never answers does not cost them 15 s.
std::chrono::milliseconds BluetoothConnectBound() {
    constexpr std::chrono::milliseconds kBound{15000};
    const char* text = std::getenv("ZK405_BLUETOOTH_CONNECT_MS");
    if (text == nullptr)
        return kBound;
    char* end = nullptr;
    const long ms = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && ms > 0 && ms < kBound.count() ? std::chrono::milliseconds(ms) : kBound;
}

} // namespace

// A Bluetooth link has no device file: its lock is named after the address ("LCK..bt-AABBCCDDEEFF"),
// taken before the link is asked for, so that a second open of the device, by this program or another
// copy, is refused as busy without disturbing the first. Without a lock the open is refused: nothing
// else would keep two programs off one link.
std::unique_ptr<Device> OpenBluetoothLink(const std::string& text, serial_result::OpenFailure& why) {
    const std::optional<bluetooth::Address> address = bluetooth::Address::Parse(text);
    DeviceLock lock;
    if (!address) {
        serial_result::Refuse(why, serial_result::OpenReason::kMissing, bluetooth::kPortPrefix + text);
        return nullptr;
    }
    if (!LockName("LCK..bt-" + address->Compact(), lock, why))
        return nullptr;
    FdGuard fd(bluez::ConnectSerialPort(*address, BluetoothConnectBound(), why));
    if (fd.get() < 0) {
        if (why.path.empty())
            why.path = bluetooth::kPortPrefix + text;
        return nullptr;
    }
    return HoldDevice(fd, lock, false, bluetooth::kPortPrefix + text, why);
}

} // namespace serial_os
