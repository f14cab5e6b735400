#include "ReplySchedule.h"
#include "SimState.h"

#include "SimOptions.h"
#include "StopSignal.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace zk405_sim {

namespace {

// How long the loop may sleep before it looks at the stop flag and the parent again.
constexpr int kIdlePollMs = 200;
// How long the loop waits while no one has the port open (the master then reports a hang-up at once).
constexpr int kHangupPollMs = 20;

int MillisecondsUntil(Clock::time_point when, Clock::time_point now) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
    return static_cast<int>(std::clamp<long long>(ms, 0, kIdlePollMs));
}

// Moves due replies to the line and writes what the line takes; returns the poll timeout the next due
// reply allows.
int Deliver(ModuleLine& m, Clock::time_point now, int timeout) {
    while (!m.replies.empty() && m.replies.front().due <= now) {
        m.outgoing += m.replies.front().bytes;
        m.replies.pop_front();
    }
    while (!m.outgoing.empty()) {
        const ssize_t n = write(m.line.Master(), m.outgoing.data(), m.outgoing.size());
        if (n <= 0)
            break; // the tool is not reading: the rest waits for POLLOUT
        m.outgoing.erase(0, static_cast<size_t>(n));
    }
    if (!m.replies.empty())
        timeout = std::min(timeout, MillisecondsUntil(m.replies.front().due, now));
    return timeout;
}

// False when the line is gone for good: the far end closed the socket it runs over.
bool Take(ModuleLine& m, int lateMs) {
    char buffer[4096];
    const ssize_t n = read(m.line.Master(), buffer, sizeof buffer);
    if (n <= 0)
        return !(m.line.IsSocket() && (n == 0 || (errno != EAGAIN && errno != EINTR)));
    const Clock::time_point arrival = Clock::now();
    const std::string nameBefore = m.module.Name(), pinBefore = m.module.Pin();
    for (SimulatedModule::Exchange& exchange :
         m.module.Receive(std::string_view(buffer, static_cast<size_t>(n)))) {
        m.line.Record(arrival, exchange.command);
        if (!exchange.reply.empty())
            m.replies.push_back({arrival + std::chrono::milliseconds(lateMs), std::move(exchange.reply)});
    }
    // Kept before the reply goes out, so that whoever the reply tells of the change finds it kept.
    if (!m.statePath.empty() && (m.module.Name() != nameBefore || m.module.Pin() != pinBefore))
        SaveState(m.statePath, m.module);
    return true;
}

// Fills in what to poll each line for; returns how long the poll may wait.
int PrepareLines(std::vector<std::unique_ptr<ModuleLine>>& modules, std::vector<pollfd>& polled) {
    const Clock::time_point now = Clock::now();
    int timeout = kIdlePollMs;
    for (size_t i = 0; i < modules.size(); ++i) {
        ModuleLine& m = *modules[i];
        timeout = Deliver(m, now, timeout);
        const bool idle = m.idleUntil > now;
        if (idle)
            timeout = std::min(timeout, MillisecondsUntil(m.idleUntil, now));
        // A negative descriptor is left out by poll.
        polled[i] = {idle ? -1 : m.line.Master(),
                     static_cast<short>(POLLIN | (m.outgoing.empty() ? 0 : POLLOUT)), 0};
    }
    return timeout;
}

} // namespace

int ServeModules(std::vector<std::unique_ptr<ModuleLine>>& modules, int lateMs, pid_t supervisor) {
    std::vector<pollfd> polled(modules.size());
    while (!StopRequested() && getppid() == supervisor) {
        const int timeout = PrepareLines(modules, polled);
        if (poll(polled.data(), polled.size(), timeout) <= 0)
            continue;
        const Clock::time_point after = Clock::now();
        for (size_t i = 0; i < modules.size(); ++i) {
            const short revents = polled[i].revents;
            if ((revents & POLLIN) != 0 || (modules[i]->line.IsSocket() && revents != 0)) {
                if (!Take(*modules[i], lateMs))
                    return kExitStopped;
            } else if ((revents & (POLLHUP | POLLERR)) != 0)
                modules[i]->idleUntil = after + std::chrono::milliseconds(kHangupPollMs);
        }
    }
    return kExitStopped;
}

} // namespace zk405_sim
