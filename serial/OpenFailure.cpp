#include "OpenFailure.h"

#include "SerialSystem.h"

#include <cctype>

namespace serial_result {

namespace {

// "minicom (PID 4242)", "PID 4242" when the program's name could not be read.
std::string Process(const OpenFailure& failure) {
    const std::string pid = "PID " + std::to_string(failure.pid);
    return failure.program.empty() ? pid : failure.program + " (" + pid + ")";
}

std::string Device(const OpenFailure& failure) {
    return failure.path.empty() ? std::string("the device") : failure.path;
}

std::string WithDetail(std::string text, const OpenFailure& failure) {
    if (!failure.detail.empty())
        text += " (" + failure.detail + ")";
    return text;
}

// The system's words in the middle of a sentence: "is a directory".
std::string SystemWords(const OpenFailure& failure) {
    std::string text = failure.osText;
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// The sentence with the system's words for its error where they say what the sentence does not.
std::string WithSystemWords(std::string text, const OpenFailure& failure) {
    if (!failure.osText.empty())
        text += " (" + SystemWords(failure) + ")";
    return WithDetail(std::move(text), failure);
}

std::string DidNotOpen(const OpenFailure& failure) {
    std::string text = Device(failure) + " did not open";
    if (!failure.osText.empty())
        text += ": " + SystemWords(failure);
    else if (failure.osError != 0)
        text += " (system error " + std::to_string(failure.osError) + ")";
    return WithDetail(std::move(text), failure);
}

} // namespace

void Refuse(OpenFailure& why, OpenReason reason, std::string path, int osError, std::string detail) {
    why.reason = reason;
    why.osError = osError;
    why.osText = osError != 0 ? serial_os::ErrorText(osError) : std::string();
    why.pid = 0;
    why.program.clear();
    why.path = std::move(path);
    why.detail = std::move(detail);
}

std::string DescribeOpenFailure(const OpenFailure& failure) {
    switch (failure.reason) {
    case OpenReason::kNone:
        return "no failure";
    case OpenReason::kMissing:
        return WithDetail("missing: there is no " + Device(failure), failure);
    case OpenReason::kPermission:
        return WithDetail("no permission to open " + Device(failure) +
                              " (serial devices usually belong to group dialout)",
                          failure);
    case OpenReason::kNotSerialLine:
        return WithDetail(Device(failure) + " is no serial line", failure);
    case OpenReason::kExclusiveFlag:
        return WithDetail("busy: " + Device(failure) + " is held in exclusive mode by " +
                              (failure.pid > 0 ? Process(failure) : std::string("another program")),
                          failure);
    case OpenReason::kStaleExclusiveFlag:
        return WithDetail("busy: " + Device(failure) +
                              " is still marked exclusive, but no running program holds it or has it locked: "
                              "a program that was killed left the mark; reconnect the device or open it once "
                              "as root to clear it",
                          failure);
    case OpenReason::kLockedBy:
        return WithDetail("busy: " + Device(failure) + " is locked by " + Process(failure), failure);
    case OpenReason::kStaleLock:
        return WithDetail("locked: the lock file " + Device(failure) + " names PID " + std::to_string(failure.pid) +
                              ", which has ended, and may not be removed by this user; remove it as its owner",
                          failure);
    case OpenReason::kNoLock:
        return WithSystemWords("no lock: the lock file " + Device(failure) + " could not be made", failure);
    case OpenReason::kHeldBy:
        return WithDetail("busy: " + Device(failure) + " is held by " + Process(failure), failure);
    case OpenReason::kResourceLimit:
        return WithSystemWords("out of system resources while opening " + Device(failure) +
                                   ", so it could not be told whether another program holds it",
                               failure);
    case OpenReason::kBusy:
        return WithDetail("busy: " + Device(failure) + " is in use", failure);
    case OpenReason::kBluetoothUnavailable:
        return WithDetail("Bluetooth is not available (BlueZ is not running)", failure);
    case OpenReason::kBluetoothNotAnswering:
        return WithDetail("Bluetooth is not available: BlueZ does not answer", failure);
    case OpenReason::kNoAdapter:
        return WithDetail("no Bluetooth adapter is ready", failure);
    case OpenReason::kDeviceUnknown:
        return WithDetail("the Bluetooth device " + Device(failure) + " is unknown or not paired", failure);
    case OpenReason::kNoSerialProfile:
        return WithDetail("the Bluetooth device " + Device(failure) + " offers no serial port", failure);
    case OpenReason::kConnectionRefused:
        return WithDetail("the connection to " + Device(failure) + " was refused", failure);
    case OpenReason::kConnectionTimedOut:
        return WithDetail("the connection to " + Device(failure) + " timed out", failure);
    case OpenReason::kStopped:
        return WithDetail("stopped", failure);
    case OpenReason::kOther:
        return DidNotOpen(failure);
    }
    return "unknown failure";
}

const char* OpenReasonName(OpenReason reason) {
    switch (reason) {
    case OpenReason::kNone:
        return "none";
    case OpenReason::kMissing:
        return "missing";
    case OpenReason::kPermission:
        return "permission";
    case OpenReason::kNotSerialLine:
        return "not-serial";
    case OpenReason::kExclusiveFlag:
        return "exclusive";
    case OpenReason::kStaleExclusiveFlag:
        return "stale-exclusive";
    case OpenReason::kLockedBy:
        return "locked";
    case OpenReason::kStaleLock:
        return "stale-lock";
    case OpenReason::kNoLock:
        return "no-lock";
    case OpenReason::kHeldBy:
        return "held";
    case OpenReason::kResourceLimit:
        return "resource-limit";
    case OpenReason::kBusy:
        return "busy";
    case OpenReason::kBluetoothUnavailable:
        return "bluetooth-unavailable";
    case OpenReason::kBluetoothNotAnswering:
        return "bluetooth-not-answering";
    case OpenReason::kNoAdapter:
        return "no-adapter";
    case OpenReason::kDeviceUnknown:
        return "device-unknown";
    case OpenReason::kNoSerialProfile:
        return "no-serial-profile";
    case OpenReason::kConnectionRefused:
        return "connection-refused";
    case OpenReason::kConnectionTimedOut:
        return "connection-timed-out";
    case OpenReason::kStopped:
        return "stopped";
    case OpenReason::kOther:
        return "other";
    }
    return "other";
}

} // namespace serial_result
