// The words and sentences for why a port did not open.
#include "OpenFailure.h"

namespace serial_result {

const char* OpenReasonName(OpenReason reason) {
    switch (reason) {
    case OpenReason::kNone: return "none";
    case OpenReason::kMissing: return "missing";
    case OpenReason::kPermission: return "permission";
    case OpenReason::kNotSerialLine: return "not-serial";
    case OpenReason::kExclusiveFlag: return "exclusive";
    case OpenReason::kStaleExclusiveFlag: return "stale-exclusive";
    case OpenReason::kLockedBy: return "locked";
    case OpenReason::kStaleLock: return "stale-lock";
    case OpenReason::kNoLock: return "no-lock";
    case OpenReason::kHeldBy: return "held";
    case OpenReason::kResourceLimit: return "resource-limit";
    case OpenReason::kBusy: return "busy";
    case OpenReason::kBluetoothUnavailable: return "bluetooth-unavailable";
    case OpenReason::kNoAdapter: return "no-adapter";
    case OpenReason::kDeviceUnknown: return "device-unknown";
    case OpenReason::kNoSerialProfile: return "no-serial-profile";
    case OpenReason::kConnectionRefused: return "connection-refused";
    case OpenReason::kConnectionTimedOut: return "connection-timed-out";
    case OpenReason::kOther: return "other";
    }
    return "other";
}

std::string DescribeOpenFailure(const OpenFailure& failure) {
    std::string text = OpenReasonName(failure.reason);
    if (!failure.detail.empty())
        text += ": " + failure.detail;
    if (!failure.path.empty())
        text += " (" + failure.path + (failure.pid != 0 ? ", PID " + std::to_string(failure.pid) : "") + ")";
    return text;
}

} // namespace serial_result
