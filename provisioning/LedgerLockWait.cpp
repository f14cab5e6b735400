// The wait for the ledger's lock: bounded, told to the front end once with whom it waits for, and
// ended by a stop signal while nothing depends on it. The lock is tried rather than waited for in the
// system, as a blocked fcntl or LockFileEx can be ended neither by a time-out nor by Ctrl+C.
#include "Ledger.h"

#include "StopSignal.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace provisioning {

namespace {

// How often a held lock is tried again: short next to the time a station holds it.
constexpr std::chrono::milliseconds kLockRetry{50};

std::string HeldBy(const ledger_file::LockHolder& holder) {
    if (holder.pid == 0)
        return "";
    std::string who = " by PID " + std::to_string(holder.pid);
    if (!holder.program.empty())
        who.append(" (").append(holder.program).append(")");
    return who;
}

} // namespace

void Ledger::SetLockWait(LockWaitReport report, std::chrono::milliseconds bound) {
    const std::lock_guard<std::mutex> lock(m_lock);
    m_lockWaitReport = std::move(report);
    m_lockWait = bound;
}

bool Ledger::LockFile(ledger_file::LedgerFile& file, bool stoppable, std::string& error) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + m_lockWait;
    ledger_file::LockHolder holder;
    for (bool told = false;; told = true) {
        const ledger_file::LockTry taken = file.TryLock(error);
        if (taken != ledger_file::LockTry::Busy)
            return taken == ledger_file::LockTry::Taken;
        if (!told) {
            holder = file.Holder();
            if (m_lockWaitReport)
                m_lockWaitReport({m_path, holder.pid, holder.program, m_lockWait, stoppable});
        }
        if (stoppable && StopRequested()) {
            error = "a stop signal ended the wait for the ledger's lock, held" + HeldBy(holder);
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) {
            char bound[32];
            std::snprintf(bound, sizeof bound, " for %g s", static_cast<double>(m_lockWait.count()) / 1000);
            error = "the ledger's lock stayed held" + HeldBy(holder) + bound;
            return false;
        }
        const auto step = std::min(left, kLockRetry);
        if (stoppable)
            WaitForStop(static_cast<int>(step.count()));
        else
            std::this_thread::sleep_for(step);
    }
}

} // namespace provisioning
