// Result codes of the serial channel and its traffic log: 0 for success, negative for a failure.
#pragma once

#include <cstdint>

namespace serial_result {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kWrongState = -1;     // no name, no data, or port/log not in the needed state
inline constexpr int32_t kNoMemory = -2;       // the receive buffer could not be allocated
inline constexpr int32_t kLogNotCreated = -3;  // the log file could not be created
inline constexpr int32_t kOpenFailed = -4;     // the device could not be opened
inline constexpr int32_t kLogWriteFailed = -7; // a log file write failed or was short
inline constexpr int32_t kWriteFailed = -8;    // the port write failed or was short
inline constexpr int32_t kSettingsFailed = -9; // line settings, event mask or time-outs not accepted
inline constexpr int32_t kAlreadyOpen = -11;

} // namespace serial_result
