// Why a port did not open, as the place that found out knows it: the OS layer fills it, CSerialPort
// keeps the last one, and zk405-cli words it. Portable: no system header, every field plain data.
#pragma once

#include <string>

namespace serial_result {

enum class OpenReason {
    kNone,
    kMissing,              // no such device / file
    kPermission,           // EACCES/EPERM on the device
    kNotSerialLine,        // opened, but line settings refused (not a tty)
    kExclusiveFlag,        // tty in exclusive mode held by a living process
    kStaleExclusiveFlag,   // exclusive flag no living process accounts for (after a SIGKILL): what to do
    kLockedBy,             // UUCP lock of a running program: pid + program
    kStaleLock,            // stale lock we may not remove: path + dead pid
    kNoLock,               // lock folder writable but our lock could not be made
    kHeldBy,               // another process has the device open: pid + program
    kResourceLimit,        // EMFILE/ENFILE/ENOMEM/EAGAIN (threads) while opening or checking
    kBusy,                 // busy for another reason (flock of another open, probe of another copy)
    kBluetoothUnavailable, // BlueZ not running on the system bus
    kBluetoothNotAnswering, // BlueZ is on the bus but did not answer a call in time (a stuck daemon)
    kNoAdapter,            // no Bluetooth adapter, or it is powered off (detail says which)
    kDeviceUnknown,        // no such device known to BlueZ, or not paired (detail says how to pair)
    kNoSerialProfile,      // the device does not offer the Serial Port Profile
    kConnectionRefused,
    kConnectionTimedOut,
    kStopped,              // a stop signal ended the wait (detail says for what)
    kOther,                // osError holds the system's error number
};

struct OpenFailure {
    OpenReason reason = OpenReason::kNone;
    int osError = 0;     // errno / GetLastError() where one applies
    std::string osText;  // the system's own words for osError ("Is a directory"), empty without one
    long pid = 0;        // holder or lock owner
    std::string program; // holder's program name (/proc/<pid>/comm)
    std::string path;    // lock file path, device path...
    std::string detail;  // free text from the place that knows (e.g. BlueZ's error name)
};

// The one way a check fills in why: every field afresh, so that nothing of a check made before stays
// in it, with the system's words for osError when there is one. The OS layer adds the holder's PID.
void Refuse(OpenFailure& why, OpenReason reason, std::string path, int osError = 0, std::string detail = {});

// One English sentence for zk405-cli's messages and JSON, e.g.
// "busy: /dev/ttyUSB0 is held by minicom (PID 4242)".
std::string DescribeOpenFailure(const OpenFailure& failure);
// Stable lower-case word for JSON ("missing", "permission", "not-serial", "exclusive", ...).
const char* OpenReasonName(OpenReason reason);

} // namespace serial_result
