// The Win32 records behind CSerialPort's platform fields.
#pragma once

#include <cstdint>
#include <windows.h>

namespace serial_os {

using Handle = HANDLE;
inline constexpr Handle kNoHandle = nullptr;

using LineSettings = DCB;
using Timeouts = COMMTIMEOUTS;
using QueueStatus = COMSTAT;

} // namespace serial_os
