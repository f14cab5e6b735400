// Why a port did not open: the reason, from the place that knows it, up to the message.
#pragma once

#include <string>

namespace serial_result {

enum class OpenReason {
    kNone,
    kMissing,             // no such device / file
    kPermission,          // EACCES/EPERM on the device
    kNotSerialLine,       // opened, but line settings refused (not a tty)
    kExclusiveFlag,       // tty in exclusive mode held by a living process
    kStaleExclusiveFlag,  // exclusive flag no living process accounts for (after a SIGKILL): what to do
    kLockedBy,            // UUCP lock of a running program: pid + program
    kStaleLock,           // stale lock we may not remove: path + dead pid
    kNoLock,              // lock folder writable but our lock could not be made
    kHeldBy,              // another process has the device open: pid + program
    kResourceLimit,       // EMFILE/ENFILE/ENOMEM/EAGAIN (threads) while opening or checking
    kBusy,                // busy for another reason (flock of another open, probe of another copy)
    kBluetoothUnavailable,// BlueZ not running on the system bus
    kNoAdapter,           // no Bluetooth adapter, or it is powered off (detail says which)
    kDeviceUnknown,       // no such device known to BlueZ, or not paired (detail says how to pair)
    kNoSerialProfile,     // the device does not offer the Serial Port Profile
    kConnectionRefused,
    kConnectionTimedOut,
    kOther,               // osError holds the system's error number
};

struct OpenFailure {
    OpenReason reason = OpenReason::kNone;
    int osError = 0;
    long pid = 0;
    std::string program;
    std::string path;
    std::string detail;
};

} // namespace serial_result

namespace serial_result {
std::string DescribeOpenFailure(const OpenFailure& failure);
const char* OpenReasonName(OpenReason reason);
} // namespace serial_result
