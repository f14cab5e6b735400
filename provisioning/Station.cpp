#include "Station.h"

#include "HostFacts.h"
#include "LogNames.h"
#include "StopSignal.h"

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

namespace provisioning {

namespace {

// How long the device watcher waits for news before the loop looks at finished jobs again.
constexpr int kWaitMs = 200;

void Count(Tally& tally, TallyColumn column) {
    switch (column) {
    case TallyColumn::Programmed:
        ++tally.programmed;
        return;
    case TallyColumn::Sent:
        ++tally.sent;
        return;
    case TallyColumn::Skipped:
        ++tally.skipped;
        return;
    case TallyColumn::Failed:
        ++tally.failed;
        return;
    }
}

class Station {
public:
    Station(const StationOptions& options, StationObserver& observer) : m_options(options), m_observer(observer) {}
    // Whatever ends the run (no memory, say), no job is left running: its thread would end the program.
    ~Station() { Reap(true); }
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    ExitStatus Run(std::string& refusal) {
        std::vector<std::unique_ptr<PortSource>> sources;
        m_ledger.SetLockWait([this](const LedgerLockWait& wait) { Tell([&] { m_observer.LedgerWaiting(wait); }); });
        if (!OpenSources(sources, refusal) || !m_ledger.Open(m_options.ledgerPath, refusal))
            return kExitUsage;
        std::set<std::string> known;
        std::vector<PortEvent> pending;
        for (const auto& source : sources)
            for (const PortEvent& event : source->Present()) {
                known.insert(event.port);
                if (m_options.includePresent)
                    pending.push_back(event);
            }
        Tell([&] { m_observer.Ready(m_options, known.size()); });

        while (!StopRequested() && !m_ledgerBroken) {
            LaunchPending(pending);
            if (m_options.once != 0 && m_accepted >= m_options.once)
                break;
            for (size_t i = 0; i < sources.size(); ++i)
                for (const PortEvent& event : sources[i]->Changes(i == 0 ? kWaitMs : 0)) {
                    if (event.kind == PortEvent::Kind::Gone) {
                        known.erase(event.port);
                        Tell([&] { m_observer.Gone(event.port); });
                    } else if (known.insert(event.port).second) {
                        // Plugged in again after it went: a new appearance, as a person re-plugging expects.
                        pending.push_back(event);
                    }
                }
            Reap(false);
        }
        Reap(true);
        return Finish();
    }

private:
    struct Job {
        std::thread thread;
        std::atomic<bool> finished{false};
        std::string port;
    };

    bool OpenSources(std::vector<std::unique_ptr<PortSource>>& sources, std::string& refusal) {
        sources.push_back(MakeDeviceWatcher(m_options.watchDir, refusal));
        if (!sources.back())
            return false;
        if (!m_options.bluetooth)
            return true;
        if (!m_options.bluetoothSource) {
            refusal = "Bluetooth modules cannot be discovered in this build";
            return false;
        }
        std::string why;
        sources.push_back(m_options.bluetoothSource(why));
        if (!sources.back()) {
            refusal = "Bluetooth modules cannot be taken: " + why;
            return false;
        }
        return true;
    }

    // The observer hears one thing at a time, whichever thread tells it.
    template <typename Call>
    void Tell(const Call& call) {
        const std::lock_guard<std::mutex> lock(m_lock);
        call();
    }

    bool Busy(const std::string& port) const {
        for (const auto& job : m_jobs)
            if (job->port == port)
                return true;
        return false;
    }

    // A port that came back while its last module is still being programmed waits for that job.
    void LaunchPending(std::vector<PortEvent>& pending) {
        for (auto it = pending.begin(); it != pending.end();) {
            if (m_options.once != 0 && m_accepted >= m_options.once)
                return;
            if (Busy(it->port)) {
                ++it;
                continue;
            }
            Launch(*it);
            it = pending.erase(it);
        }
    }

    RecordedTask TaskFor(const PortEvent& event) const {
        RecordedTask task;
        task.port = event.port;
        task.bluetooth = event.bluetooth;
        task.logFile = LogFileFor(event.port, 2);
        task.input = m_options.input;
        task.skipDone = m_options.skipDone;
        // A stop takes no new module; a module half-programmed at the bench is worse than a second's wait.
        task.stopRequested = [] { return false; };
        return task;
    }

    void Launch(const PortEvent& event) {
        ++m_accepted;
        auto job = std::make_unique<Job>();
        job->port = event.port;
        Job* self = job.get();
        const RecordedTask task = TaskFor(event);
        // Listed before its thread starts, so that no running thread is ever left out of the reaping.
        m_jobs.push_back(std::move(job));
        try {
            self->thread = std::thread([this, self, task] {
                const RecordedResult result = RunRecorded(m_ledger, task, nullptr, [this](const RecordedResult& r) {
                    Tell([&] { m_observer.Started(r); });
                });
                Done(result);
                self->finished = true;
            });
        } catch (const std::system_error& e) {
            // No thread (a process limit): this module fails untouched, with no number taken, and
            // the station goes on with the jobs it has.
            m_jobs.pop_back();
            RecordedResult result;
            result.port.port = event.port;
            result.port.device = host_facts::DeviceOf(event.port);
            result.port.status = kExitNotOpened;
            result.port.message = std::string("cannot start: no thread for the port (") + e.what() + ")";
            Done(result);
        }
    }

    void Reap(bool all) {
        for (auto it = m_jobs.begin(); it != m_jobs.end();) {
            if (all || (*it)->finished) {
                if ((*it)->thread.joinable())
                    (*it)->thread.join();
                it = m_jobs.erase(it);
            } else {
                ++it;
            }
        }
    }

    // Called from a job's thread.
    void Done(const RecordedResult& result) {
        const PortResult& port = result.port;
        const Verdict verdict = VerdictOf(port);
        const std::lock_guard<std::mutex> lock(m_lock);
        Count(m_tally, WordsOf(verdict).tally);
        if (port.status != kExitOk && (m_status == kExitOk || port.status < m_status))
            m_status = port.status;
        if (result.ledgerFailed) {
            m_ledgerBroken = true;
            m_observer.LedgerBroken(result.ledgerError);
        }
        m_observer.Finished(result, verdict, m_tally);
    }

    ExitStatus Finish() {
        const int signal = StopSignalNumber();
        ExitStatus status = m_ledgerBroken ? kExitLedger : m_status;
        // Asked for N modules and stopped short of them: the run did not do what it was asked.
        if (signal != 0 && m_options.once != 0 && m_accepted < m_options.once && !m_ledgerBroken)
            status = static_cast<ExitStatus>(kExitSignalBase + signal);
        Tell([&] { m_observer.Stopped(m_tally, status, signal); });
        return status;
    }

    const StationOptions& m_options;
    StationObserver& m_observer;
    Ledger m_ledger;
    std::list<std::unique_ptr<Job>> m_jobs;
    size_t m_accepted = 0;

    std::mutex m_lock; // the observer, the tally and the status, shared with the jobs
    Tally m_tally;
    ExitStatus m_status = kExitOk;
    std::atomic<bool> m_ledgerBroken{false};
};

} // namespace

ExitStatus RunStation(const StationOptions& options, StationObserver& observer, std::string& refusal) {
    return Station(options, observer).Run(refusal);
}

} // namespace provisioning
