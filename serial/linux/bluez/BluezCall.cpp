#include "BluezCall.h"

#include "BluezNames.h"
#include "FdGuard.h"
#include "StopSignal.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>

namespace bluez {

using serial_result::OpenFailure;
using serial_result::OpenReason;

namespace {

// What the event loop's thread hands to the waiting one.
struct Pending {
    std::mutex mutex;
    bool done = false;
    Answer answer;
    serial_os::FdGuard wake{eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
};

void Settle(Pending& pending, sdbus::MethodReply& reply, const sdbus::Error* error) {
    const std::lock_guard<std::mutex> lock(pending.mutex);
    if (error != nullptr) {
        pending.answer.kind = Answer::Kind::kFailed;
        pending.answer.errorName = error->getName();
        pending.answer.errorMessage = error->getMessage();
    } else {
        pending.answer.kind = Answer::Kind::kReplied;
        pending.answer.reply = reply;
    }
    pending.done = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = write(pending.wake.get(), &one, sizeof one);
}

bool NoAnswerError(const std::string& name) {
    return name == "org.freedesktop.DBus.Error.NoReply" || name == "org.freedesktop.DBus.Error.Timeout" ||
           name == "org.freedesktop.DBus.Error.TimedOut";
}

// The name has no owner any more (bluetoothd ended between two calls) or our link to the bus is gone.
bool GoneError(const std::string& name) {
    return name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
           name == "org.freedesktop.DBus.Error.NameHasNoOwner" || name == "org.freedesktop.DBus.Error.Disconnected";
}

} // namespace

std::chrono::milliseconds AnswerBound() {
    constexpr std::chrono::milliseconds kBound{5000};
    const char* text = std::getenv("ZK405_BLUEZ_ANSWER_MS");
    if (text == nullptr)
        return kBound;
    char* end = nullptr;
    const long ms = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && ms > 0 && ms < kBound.count() ? std::chrono::milliseconds(ms) : kBound;
}

std::chrono::milliseconds CleanupBound() {
    return std::min(AnswerBound(), std::chrono::milliseconds(500));
}

std::chrono::milliseconds BoundWithin(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return std::clamp(left, std::chrono::milliseconds(1), AnswerBound());
}

std::string SecondsText(std::chrono::milliseconds bound) {
    const long long ms = bound.count();
    return std::to_string(ms / 1000) + (ms % 1000 == 0 ? "" : "." + std::to_string(ms % 1000 / 100)) + " s";
}

Answer Ask(sdbus::IProxy& proxy, const sdbus::MethodCall& call, std::chrono::milliseconds bound, OnStop onStop) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    const auto pending = std::make_shared<Pending>();
    pending->answer.bound = bound;
    if (pending->wake.get() < 0) {
        pending->answer.kind = Answer::Kind::kNoDescriptor;
        return pending->answer;
    }
    sdbus::PendingAsyncCall sent;
    try {
        sent = proxy.callMethod(
            call, [pending](sdbus::MethodReply& reply, const sdbus::Error* error) { Settle(*pending, reply, error); },
            bound);
    } catch (const sdbus::Error& e) {
        Answer failed;
        failed.kind = Answer::Kind::kFailed;
        failed.errorName = e.getName();
        failed.errorMessage = e.getMessage();
        failed.bound = bound;
        return failed;
    }
    const Woken woken = WaitUntil(pending->wake.get(), deadline, onStop, [&] {
        const std::lock_guard<std::mutex> lock(pending->mutex);
        return pending->done;
    });
    if (woken == Woken::kReady) {
        const std::lock_guard<std::mutex> lock(pending->mutex);
        return pending->answer;
    }
    // No answer is taken after this: a late one finds no slot to land in.
    sent.cancel();
    Answer given;
    given.kind = woken == Woken::kStopped ? Answer::Kind::kStopped : Answer::Kind::kNoAnswer;
    given.bound = bound;
    return given;
}

bool WaitOnce(int fd, std::chrono::steady_clock::time_point deadline, OnStop onStop, bool& stopped) {
    const bool stoppable = onStop == OnStop::kEnd;
    stopped = stoppable && StopRequested();
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (stopped || left <= 0)
        return false;
    pollfd waits[2] = {{fd, POLLIN, 0}, {StopWakeDescriptor(), POLLIN, 0}};
    // EINTR (a signal came) and every other early return are taken as a look at the state again.
    if (poll(waits, stoppable && waits[1].fd >= 0 ? 2 : 1, static_cast<int>(left)) > 0 &&
        (waits[0].revents & POLLIN) != 0) {
        // Drained, so that the next wait sleeps until the next news; the state it told of is set already.
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t ignored = read(fd, &count, sizeof count);
    }
    stopped = stoppable && StopRequested();
    return !stopped;
}

bool Refused(const Answer& answer, const std::string& asked, OpenFailure& why) {
    const auto refuse = [&](OpenReason reason, std::string detail) {
        serial_result::Refuse(why, reason, std::string(), 0, std::move(detail));
        return false;
    };
    switch (answer.kind) {
    case Answer::Kind::kReplied:
        return true;
    case Answer::Kind::kStopped:
        return refuse(OpenReason::kStopped,
                      "by signal " + std::to_string(StopSignalNumber()) + " while waiting for BlueZ: " + asked);
    case Answer::Kind::kNoDescriptor:
        return refuse(OpenReason::kResourceLimit, "no descriptor left to wait for BlueZ on");
    case Answer::Kind::kNoAnswer:
        break;
    case Answer::Kind::kFailed:
        if (GoneError(answer.errorName))
            return refuse(OpenReason::kBluetoothUnavailable, "org.bluez left the system bus: " + answer.errorMessage);
        if (!NoAnswerError(answer.errorName))
            return refuse(OpenReason::kBluetoothUnavailable,
                          "BlueZ refused " + asked + ": " + answer.errorName + " " + answer.errorMessage);
        break;
    }
    return refuse(OpenReason::kBluetoothNotAnswering,
                  asked + " had no answer within " + SecondsText(answer.bound) +
                      "; restart the Bluetooth service: sudo systemctl restart bluetooth");
}

std::optional<std::string> BluezOwnerChange(sdbus::Message& signal) {
    std::string name;
    std::string before;
    std::string after;
    try {
        signal >> name >> before >> after;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (name != kService)
        return std::nullopt;
    return after;
}

} // namespace bluez
