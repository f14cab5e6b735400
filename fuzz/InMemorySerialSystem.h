// An in-memory stand-in for the operating system under CSerialPort, linked in place of the platform's
// SerialSystem implementation: a device whose received bytes, read sizes and write results a fuzz
// target scripts, and a log file and monitor that keep what they are given.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace in_memory_os {

// What one write to the log file does.
struct LogWrite {
    bool ok = true;              // false: the write fails
    uint32_t takes = UINT32_MAX; // bytes it takes at most (a short write when below the length)
};

struct State {
    bool devicePresent = true;
    bool logCreatable = true;
    bool monitorPresent = false;
    bool portWritesFail = false;

    std::string input;                // received bytes waiting in the driver
    std::string written;              // every byte the port wrote
    std::vector<std::string> reads;   // what each read of the device delivered
    std::string logFile;              // the log file's bytes
    std::vector<std::string> monitor; // one message per monitor write
    int openDevices = 0;
    int openLogs = 0;

    // How many bytes a read delivers when asked for `wanted` (at most that); all of them by default.
    std::function<uint32_t(uint32_t wanted)> readSize;
    // What a log file write of `length` bytes does; a full, successful write by default.
    std::function<LogWrite(uint32_t length)> logWrite;
};

// The one state the stand-in works on; Reset puts it back as constructed.
State& Os();
void Reset();

} // namespace in_memory_os
