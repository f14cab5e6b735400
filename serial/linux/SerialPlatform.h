// The Linux records behind CSerialPort's platform fields.
#pragma once

#include <cstdint>
#include <termios.h>

namespace serial_os {

using Handle = int;
inline constexpr Handle kNoHandle = -1;

// The termios record plays the part of the driver's line settings record.
using LineSettings = termios;

// termios has no time-out record of its own: reads never wait because only queued bytes are asked for,
// so all that is left to bound is a write the far end never lets finish.
struct Timeouts {
    uint32_t writeBoundMs;
};

struct QueueStatus {
    uint32_t inQueue;
};

} // namespace serial_os
