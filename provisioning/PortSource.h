// Where a provisioning station learns of modules: sources of ports that appear and disappear. The
// device watcher is one (a folder of tty devices watched with inotify on Linux, the COM ports polled on
// Windows: DeviceWatcherLinux.cpp, DeviceWatcherWin32.cpp, chosen by CMake); Bluetooth plugs in as
// another (BluetoothSource.h). A stop signal (StopSignal.h) wakes a source's wait.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace provisioning {

struct PortEvent {
    // Lost: the source cannot see its ports for now (its folder was removed), message says why, and
    // what it reported stays as it was; Back: it sees them again, and has told what changed meanwhile.
    enum class Kind { Appeared, Gone, Lost, Back };
    Kind kind = Kind::Appeared;
    std::string port;      // the name RunPort opens: "com36", a device path, "bt:AA:BB:CC:DD:EE:FF"
    std::string bluetooth; // the module's address, when the source knows it
    // What the name reaches (host_facts::DeviceIdentity), when names come and go apart from their
    // devices: links made under a passing name and renamed, or two names for one device. The station
    // counts devices, not names, where a source gives it; empty where the name is the module.
    std::string device;
    std::string message; // for Lost: why, in words for the person at the bench
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
// after creating it is taken then. A name that maps to a "com" name is reported as that name. On
// Linux a folder that is removed, moved away or replaced is Lost, and Back once a folder is there
// under its path again (a link to another folder too); the names in it are then looked at afresh.
std::unique_ptr<PortSource> MakeDeviceWatcher(const std::string& directory, std::string& error);

} // namespace provisioning
