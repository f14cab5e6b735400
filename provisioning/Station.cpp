#include "Station.h"

#include "HostFacts.h"
#include "LogNames.h"
#include "StopSignal.h"
#include "TranscriptFile.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace provisioning {

namespace {

// How long the device watcher waits for news before the loop looks at finished jobs again.
constexpr int kWaitMs = 200;
// The watcher's wait is on its own descriptors, which a second source (Bluetooth, told on its link's
// thread) cannot wake; with one, the wait is cut this short, so that a module found there is taken
// about as soon as one the watcher saw, not up to a whole wait later.
constexpr int kSliceMs = 50;
// How long a name that comes with its device stays before its module is taken: long enough for a
// link made under a passing name to get its own (`ln -s` then `mv`, `ln -sf`, udev), and short
// enough for a person plugging modules in not to notice.
constexpr std::chrono::milliseconds kSettle{200};

using Clock = std::chrono::steady_clock;

// What counts as one module: the device when the source names it, else the port.
std::string ModuleKey(const PortEvent& event) {
    return event.device.empty() ? event.port : event.device;
}

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
        if (!OpenSources(sources, refusal))
            return kExitUsage;
        // A name of no format the tool writes is bad usage; a file that cannot be used, the ledger's.
        LedgerFormat format;
        if (!LedgerFormatOf(m_options.ledgerPath, format, refusal))
            return kExitUsage;
        if (!m_ledger.Open(m_options.ledgerPath, refusal))
            return kExitLedger;
        std::vector<Pending> pending;
        for (const auto& source : sources)
            for (const PortEvent& event : source->Present())
                if (Reached(event, pending) && m_options.includePresent)
                    pending.push_back(PendingFor(event));
        Tell([&] { m_observer.Ready(m_options, m_names.size()); });

        while (!Stopping() && !m_ledgerBroken) {
            LaunchPending(pending);
            if (m_options.once != 0 && m_accepted >= m_options.once)
                break;
            const int wait = sources.size() > 1 ? std::min(WaitMs(pending), kSliceMs) : WaitMs(pending);
            for (size_t i = 0; i < sources.size(); ++i)
                for (const PortEvent& event : sources[i]->Changes(i == 0 ? wait : 0))
                    Take(event, pending);
            Reap(false);
        }
        Reap(true);
        return Finish();
    }

private:
    bool Stopping() const { return m_options.stopRequested ? m_options.stopRequested() : StopRequested(); }

    struct Job {
        std::thread thread;
        std::atomic<bool> finished{false};
        std::string port;
        std::string module; // ModuleKey
    };

    // A module that appeared, taken once its name has stayed a moment (due).
    struct Pending {
        PortEvent event;
        std::string module;
        Clock::time_point due;
    };

    static Pending PendingFor(const PortEvent& event) {
        return {event, ModuleKey(event), Clock::now() + (event.device.empty() ? Clock::duration{} : kSettle)};
    }

    void Take(const PortEvent& event, std::vector<Pending>& pending) {
        switch (event.kind) {
        case PortEvent::Kind::Appeared:
            // Plugged in again after it went: a new appearance, as a person re-plugging expects.
            if (Reached(event, pending))
                pending.push_back(PendingFor(event));
            return;
        case PortEvent::Kind::Gone:
            Unreached(event.port, pending);
            Tell([&] { m_observer.Gone(event.port); });
            return;
        case PortEvent::Kind::Lost:
            Tell([&] { m_observer.WatchLost(event.port, event.message); });
            return;
        case PortEvent::Kind::Back:
            Tell([&] { m_observer.WatchBack(event.port); });
            return;
        }
    }

    // A name reaching a device; true when no name reached it before, so that it is a new module.
    bool Reached(const PortEvent& event, std::vector<Pending>& pending) {
        const std::string module = ModuleKey(event);
        const auto known = m_moduleOf.find(event.port);
        if (known != m_moduleOf.end()) {
            if (known->second == module)
                return false;
            Unreached(event.port, pending); // the name reaches another device now
        }
        m_moduleOf[event.port] = module;
        std::vector<std::string>& names = m_names[module];
        names.push_back(event.port);
        return names.size() == 1;
    }

    // A device that no name reaches any more has gone: a module waiting for its moment is no module.
    void Unreached(const std::string& port, std::vector<Pending>& pending) {
        const auto known = m_moduleOf.find(port);
        if (known == m_moduleOf.end())
            return;
        const std::string module = known->second;
        m_moduleOf.erase(known);
        std::vector<std::string>& names = m_names[module];
        names.erase(std::remove(names.begin(), names.end(), port), names.end());
        if (!names.empty())
            return;
        m_names.erase(module);
        pending.erase(std::remove_if(pending.begin(), pending.end(),
                                     [&](const Pending& waiting) { return waiting.module == module; }),
                      pending.end());
    }

    // Until the first waiting module's moment, if it comes before the usual look at the jobs.
    static int WaitMs(const std::vector<Pending>& pending) {
        const Clock::time_point now = Clock::now();
        int wait = kWaitMs;
        for (const Pending& waiting : pending)
            if (waiting.due > now)
                wait = std::min<int>(
                    wait, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(waiting.due - now).count()));
        return wait;
    }

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

    bool Busy(const std::string& port, const std::string& module) const {
        for (const auto& job : m_jobs)
            if (job->port == port || job->module == module)
                return true;
        return false;
    }

    // The port a waiting module is opened by, once its moment has come: the name it came by, or the
    // one it has now when that was renamed. "" while it must wait: a device that came back while its
    // last module is still being programmed waits for that job, and a name that no longer reaches its
    // device waits for the source to tell what became of it.
    std::string PortFor(const Pending& waiting, Clock::time_point now) const {
        const auto names = m_names.find(waiting.module);
        if (waiting.due > now || names == m_names.end())
            return {};
        const std::vector<std::string>& current = names->second;
        const std::string port =
            std::find(current.begin(), current.end(), waiting.event.port) != current.end() ? waiting.event.port
                                                                                       : current.front();
        if (Busy(port, waiting.module))
            return {};
        if (!waiting.event.device.empty() && host_facts::DeviceIdentity(port) != waiting.event.device)
            return {};
        return port;
    }

    void LaunchPending(std::vector<Pending>& pending) {
        const Clock::time_point now = Clock::now();
        for (auto it = pending.begin(); it != pending.end();) {
            if (m_options.once != 0 && m_accepted >= m_options.once)
                return;
            const std::string port = PortFor(*it, now);
            if (port.empty()) {
                ++it;
                continue;
            }
            PortEvent event = it->event;
            event.port = port;
            Launch(event, it->module);
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
        if (m_options.transcripts)
            task.transcriptDir = TranscriptFolderFor(m_options.ledgerPath);
        task.onResult = m_options.onResult;
        task.pairing = m_options.pairing;
        // A stop takes no new module; a module half-programmed at the bench is worse than a second's wait.
        task.stopRequested = [] { return false; };
        return task;
    }

    void Launch(const PortEvent& event, const std::string& module) {
        ++m_accepted;
        auto job = std::make_unique<Job>();
        job->port = event.port;
        job->module = module;
        Job* self = job.get();
        RecordedTask task = TaskFor(event);
        task.starting = [this](const StepUnderWay& underWay) {
            Tell([&] { m_observer.Progress(underWay); });
        };
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
    std::map<std::string, std::vector<std::string>> m_names; // each module there, by the names that reach it
    std::map<std::string, std::string> m_moduleOf;           // and each name's module

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
