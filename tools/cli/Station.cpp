#include "Station.h"

#include "CliPlatform.h"
#include "CliReport.h"
#include "Cp1250.h"
#include "RecordedJob.h"

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

namespace zk405_cli {

namespace {

using port_watcher::PortEvent;

// How long the device watcher waits for news before the loop looks at finished jobs again.
constexpr int kWaitMs = 200;

struct Tally {
    size_t programmed = 0;
    size_t failed = 0;
    size_t skipped = 0;
};

const char* Colour(const std::string& word) {
    if (word == "PROGRAMMED")
        return "\x1b[1;32m";
    if (word == "FAILED")
        return "\x1b[1;31m";
    return "\x1b[1;33m";
}

std::string Padded(std::string text, size_t width) {
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

nlohmann::json TallyJson(const Tally& tally) {
    return {{"programmed", tally.programmed}, {"failed", tally.failed}, {"skipped", tally.skipped}};
}

class Station {
public:
    Station(const StationOptions& options, std::ostream& out, std::ostream& err)
        : m_options(options), m_out(out), m_err(err) {}
    // Whatever ends the run (no memory, say), no job is left running: its thread would end the program.
    ~Station() {
        for (const auto& job : m_jobs)
            if (job->thread.joinable())
                job->thread.join();
    }
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    ExitStatus Run() {
        std::string error;
        std::vector<std::unique_ptr<port_watcher::PortSource>> sources;
        sources.push_back(port_watcher::MakeDeviceWatcher(m_options.watchDir, error));
        if (!sources.back())
            return Refuse(error);
        if (m_options.bluetooth) {
            if (!m_options.bluetoothSource)
                return Refuse("--bluetooth: this build of zk405-cli cannot discover Bluetooth modules");
            sources.push_back(m_options.bluetoothSource(error));
            if (!sources.back())
                return Refuse("--bluetooth: " + error);
        }
        if (!m_ledger.Open(m_options.ledgerPath, error))
            return Refuse(error);

        const port_watcher::StopOnSignals stop;
        std::set<std::string> known;
        std::vector<PortEvent> pending;
        for (const auto& source : sources)
            for (const PortEvent& event : source->Present()) {
                known.insert(event.port);
                if (m_options.includePresent)
                    pending.push_back(event);
            }
        Ready(known.size());

        while (port_watcher::StopSignalNumber() == 0 && !m_ledgerBroken) {
            LaunchPending(pending);
            if (m_options.once != 0 && m_accepted >= m_options.once)
                break;
            for (size_t i = 0; i < sources.size(); ++i)
                for (const PortEvent& event : sources[i]->Changes(i == 0 ? kWaitMs : 0)) {
                    if (event.kind == PortEvent::Kind::Gone) {
                        known.erase(event.port);
                        Event({{"event", "gone"}, {"port", event.port}});
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

    ExitStatus Refuse(const std::string& why) {
        m_err << "zk405-cli: " << why << "; nothing was sent\n";
        return kExitUsage;
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

    void Launch(const PortEvent& event) {
        ++m_accepted;
        auto job = std::make_unique<Job>();
        job->port = event.port;
        Job* self = job.get();
        RecordedTask task;
        task.port = event.port;
        task.bluetooth = event.bluetooth;
        task.logFile = LogFileFor(event.port, 2);
        task.input = m_options.input;
        task.skipDone = m_options.skipDone;
        // Listed before its thread starts, so that no running thread is ever left out of the reaping.
        m_jobs.push_back(std::move(job));
        try {
            self->thread = std::thread([this, self, task] {
                const RecordedResult result = RunRecorded(m_ledger, task, nullptr, [this](const RecordedResult& r) {
                    Event({{"event", "started"},
                           {"port", r.port.port},
                           {"n", r.n},
                           {"name_before", cp1250::Cp1250ToUtf8(r.port.nameBefore)},
                           {"name_after", r.nameAfter}});
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
            result.port.device = cli_platform::DeviceOf(event.port);
            result.port.status = kExitNotOpened;
            result.port.message = std::string("cannot start: no thread for the port (") + e.what() + ")";
            Done(result);
        }
    }

    void Reap(bool all) {
        for (auto it = m_jobs.begin(); it != m_jobs.end();) {
            if (all || (*it)->finished) {
                (*it)->thread.join();
                it = m_jobs.erase(it);
            } else {
                ++it;
            }
        }
    }

    void Ready(size_t present) {
        const std::string where = m_options.watchDir.empty() ? "the system's serial ports" : m_options.watchDir;
        if (m_options.json) {
            Event({{"event", "ready"}, {"watching", where}, {"present", present},
                   {"present_programmed", m_options.includePresent}, {"ledger", m_options.ledgerPath}});
            return;
        }
        const std::lock_guard<std::mutex> lock(m_lock);
        m_out << "Waiting for modules on " << where << "; ";
        if (present == 0)
            m_out << "no port there yet";
        else
            m_out << "ports already there: " << present
                  << (m_options.includePresent ? " (programmed first)" : " (left alone)");
        m_out << ". Ctrl+C ends." << std::endl;
    }

    void Event(const nlohmann::json& event) {
        if (!m_options.json)
            return;
        const std::lock_guard<std::mutex> lock(m_lock);
        m_out << JsonLine(event) << std::endl;
    }

    // Called from a job's thread.
    void Done(const RecordedResult& result) {
        const PortResult& port = result.port;
        const std::string word = ResultWord(port);
        const std::lock_guard<std::mutex> lock(m_lock);
        if (port.skipped)
            ++m_tally.skipped;
        else if (port.status == kExitOk)
            ++m_tally.programmed;
        else
            ++m_tally.failed;
        if (port.status != kExitOk && (m_status == kExitOk || port.status < m_status))
            m_status = port.status;
        if (result.ledgerFailed) {
            m_ledgerBroken = true;
            m_err << "zk405-cli: the ledger " << m_options.ledgerPath << ": " << result.ledgerError
                  << "; the station stops" << std::endl;
        }

        if (m_options.json) {
            nlohmann::json event = ToJson(port);
            event["event"] = word == "PROGRAMMED" ? "programmed" : word == "FAILED" ? "failed" : "skipped";
            event["attempt"] = result.attempt;
            if (result.n != 0)
                event["n"] = result.n;
            event["name_before"] = cp1250::Cp1250ToUtf8(port.nameBefore);
            if (!result.nameAfter.empty())
                event["name_after"] = result.nameAfter;
            event["tally"] = TallyJson(m_tally);
            m_out << JsonLine(event) << std::endl;
            return;
        }
        // Appended piece by piece: GCC 12 at -O3 warns falsely about "..." + std::string&&.
        std::string detail;
        if (result.n != 0)
            detail.append("#").append(std::to_string(result.n)).append(" ");
        if (!result.nameAfter.empty() && port.status == kExitOk)
            detail.append("\"").append(result.nameAfter).append("\" ");
        if (!port.message.empty())
            detail.append(port.message).append(" ");
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.2f s", port.seconds);
        detail += seconds;
        std::string tally = "programmed ";
        tally.append(std::to_string(m_tally.programmed)).append(" | failed ").append(std::to_string(m_tally.failed));
        tally.append(" | skipped ").append(std::to_string(m_tally.skipped));
        if (m_options.colour)
            m_out << Colour(word) << Padded(word, 10) << "\x1b[0m";
        else
            m_out << Padded(word, 10);
        m_out << "  " << port.port << "  " << detail << "    [ " << tally << " ]";
        if (m_options.colour && word == "FAILED")
            m_out << '\a';
        m_out << std::endl;
    }

    ExitStatus Finish() {
        const int signal = port_watcher::StopSignalNumber();
        ExitStatus status = m_ledgerBroken ? kExitLedger : m_status;
        // Asked for N modules and stopped short of them: the run did not do what it was asked.
        if (signal != 0 && m_options.once != 0 && m_accepted < m_options.once && !m_ledgerBroken)
            status = static_cast<ExitStatus>(kExitSignalBase + signal);
        if (m_options.json) {
            Event({{"event", "stopped"}, {"tally", TallyJson(m_tally)}, {"status", status}, {"signal", signal}});
        } else {
            const std::lock_guard<std::mutex> lock(m_lock);
            m_out << "Station stopped: programmed " << m_tally.programmed << ", failed " << m_tally.failed
                  << ", skipped " << m_tally.skipped << "." << std::endl;
        }
        return status;
    }

    const StationOptions& m_options;
    std::ostream& m_out;
    std::ostream& m_err;
    Ledger m_ledger;
    std::list<std::unique_ptr<Job>> m_jobs;
    size_t m_accepted = 0;

    std::mutex m_lock; // the streams, the tally and the status, shared with the jobs
    Tally m_tally;
    ExitStatus m_status = kExitOk;
    std::atomic<bool> m_ledgerBroken{false};
};

} // namespace

ExitStatus RunStation(const StationOptions& options, std::ostream& out, std::ostream& err) {
    return Station(options, out, err).Run();
}

} // namespace zk405_cli
