// The OS layer's way to a Bluetooth link: kept apart from the D-Bus headers the session needs.
#pragma once

#include "BluetoothAddress.h"
#include "OpenFailure.h"

#include <chrono>
#include <string>

namespace bluez {

// A connected socket to the Serial Port Profile of the paired device at address, or -1 with the
// reason. Gives up after bound, also when bluetoothd never calls back.
int ConnectSerialPort(const bluetooth::Address& address, std::chrono::milliseconds bound,
                      serial_result::OpenFailure& why);

} // namespace bluez
