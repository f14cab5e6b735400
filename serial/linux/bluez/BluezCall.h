// A call to BlueZ (or to the bus itself) with a bound of its own: sent without blocking and waited for
// on a descriptor beside the stop signal's, so that a bluetoothd that keeps its name but answers
// nothing costs at most the bound instead of the D-Bus library's 25 s, and Ctrl+C ends the wait at once.
#pragma once

#include "OpenFailure.h"

#include <chrono>
#include <optional>
#include <string>

#include <sdbus-c++/sdbus-c++.h>

namespace bluez {

// The longest BlueZ may take over a call it answers from what it already knows (no radio involved);
// tests shorten it (never lengthen it) through ZK405_BLUEZ_ANSWER_MS.
std::chrono::milliseconds AnswerBound();

struct Answer {
    enum class Kind { kReplied, kFailed, kStopped, kNoAnswer, kNoDescriptor };
    Kind kind = Kind::kNoAnswer;
    // kReplied only: sdbus-c++ 1.2 cannot copy a reply that holds no message.
    std::optional<sdbus::MethodReply> reply;
    std::string errorName;    // kFailed: the D-Bus error
    std::string errorMessage;
    std::chrono::milliseconds bound{0};
};

// The wait for a clean-up after a stop or a time-out (ending a discovery, dropping a half-made
// connection): short, as the program is on its way out, and its answer changes nothing.
std::chrono::milliseconds CleanupBound();

// What is left of deadline for one call: the answer bound at most, never nothing.
std::chrono::milliseconds BoundWithin(std::chrono::steady_clock::time_point deadline);

// Whether a stop signal ends the wait (for a question) or not (for the short clean-up after a stop).
enum class OnStop { kEnd, kWait };

enum class Woken { kReady, kStopped, kTimedOut };
// Waits until ready() holds, the deadline passes or (with OnStop::kEnd) a stop is asked, whichever
// comes first; fd is an eventfd written to after each change ready() may see. An answer already in
// beats a stop.
template <typename Ready>
Woken WaitUntil(int fd, std::chrono::steady_clock::time_point deadline, OnStop onStop, Ready ready);

// Sends call and waits for its answer up to bound. Never call it from the connection's own event
// loop: the answer would wait for the very thread that waits for it.
Answer Ask(sdbus::IProxy& proxy, const sdbus::MethodCall& call, std::chrono::milliseconds bound,
           OnStop onStop = OnStop::kEnd);

// Fills why with what an answer that is no reply means ("asked" names the call in the message):
// stopped, BlueZ not answering (with what to do), BlueZ gone from the bus, or its own error; false.
bool Refused(const Answer& answer, const std::string& asked, serial_result::OpenFailure& why);

// The new owner of BlueZ's name ("" when bluetoothd left the bus) from the bus's NameOwnerChanged
// signal; nothing when the signal is about another name or cannot be read.
std::optional<std::string> BluezOwnerChange(sdbus::Message& signal);

// One wait for fd, deadline or stop; false when it timed out or was stopped (which, in stopped).
bool WaitOnce(int fd, std::chrono::steady_clock::time_point deadline, OnStop onStop, bool& stopped);

template <typename Ready>
Woken WaitUntil(int fd, std::chrono::steady_clock::time_point deadline, OnStop onStop, Ready ready) {
    for (;;) {
        if (ready())
            return Woken::kReady;
        bool stopped = false;
        if (!WaitOnce(fd, deadline, onStop, stopped))
            return ready() ? Woken::kReady : stopped ? Woken::kStopped : Woken::kTimedOut;
    }
}

// The bound in the words of the messages: "1.5 s", "15 s".
std::string SecondsText(std::chrono::milliseconds bound);

} // namespace bluez
