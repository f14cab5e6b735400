// Where a provisioning station learns of modules: sources of ports that appear and disappear. The
// device watcher is one (a folder of tty devices watched with inotify on Linux, the COM ports polled on
// Windows: PortWatcherLinux.cpp, PortWatcherWin32.cpp, chosen by CMake); Bluetooth discovery plugs in
// as another. Also the station's stop: Ctrl+C and the termination signals wake the wait.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace port_watcher {

struct PortEvent {
    enum class Kind { Appeared, Gone };
    Kind kind = Kind::Appeared;
    std::string port;      // the name RunPort opens: "com36", a device path, "bt:AA:BB:CC:DD:EE:FF"
    std::string bluetooth; // the module's address, when the source knows it
};

class PortSource {
public:
    virtual ~PortSource() = default;
    // The ports there now; what Changes reports is relative to them.
    virtual std::vector<PortEvent> Present() = 0;
    // What appeared or went since the last call, waiting up to waitMs for something to happen; returns
    // at once when a stop was asked for.
    virtual std::vector<PortEvent> Changes(int waitMs) = 0;
};

// A source made on demand; false-y with the reason when it cannot be had (no adapter, no BlueZ).
using SourceFactory = std::function<std::unique_ptr<PortSource>(std::string& error)>;

// The serial devices in directory ("" for the system's own place: /dev, or the COM ports): a device
// counts once it can be opened for reading and writing, so one whose permissions udev sets a moment
// after creating it is taken then. A name that maps to a "com" name is reported as that name.
std::unique_ptr<PortSource> MakeDeviceWatcher(const std::string& directory, std::string& error);

// While one lives, SIGINT, SIGTERM and SIGHUP (on Windows the console's Ctrl+C and close events) ask
// the station to stop instead of ending the program, and wake a source's wait.
class StopOnSignals {
public:
    StopOnSignals();
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;
};
// The signal that asked for the stop (on Windows SIGINT for any console event), 0 while none did.
int StopSignalNumber();

} // namespace port_watcher
