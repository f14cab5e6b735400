// A device looked up by its address in what BlueZ knows, with the adapter it belongs to: one lookup
// for the connection and the pairing alike.
#pragma once

#include "BluetoothAddress.h"
#include "BluezSession.h"

#include <string>

namespace bluez {

struct Found {
    bool anyAdapter = false;
    const Properties* device = nullptr; // null when BlueZ does not know the address
    std::string devicePath;
    const Properties* adapter = nullptr; // the device's adapter; null when it is gone
    std::string adapterPath;
};

// BlueZ names a device's object after its address, below its adapter's.
Found FindDevice(const ManagedObjects& objects, const bluetooth::Address& address);

// "hci0" from "/org/bluez/hci0".
std::string AdapterName(const std::string& adapterPath);

} // namespace bluez
