// zk405-cli station's pace as a bench sees it, against simulated modules that answer after 20 ms:
// the time from a module's device appearing to the first command reaching it, the ledger's cost per
// record with its sync to the disk, and 200 modules through the station with the station killed
// (SIGKILL) and started again twice on the way: every module programmed, no name given twice, every
// ledger line whole. Prints its figures; not a test.
#include "ChildProcess.h"
#include "Ledger.h"
#include "LedgerSummary.h"
#include "RecordedJob.h"
#include "TempDir.h"
#include "Transcript.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Json = nlohmann::json;

constexpr int kReplyDelayMs = 20;
constexpr size_t kSimModules = 50; // zk405-sim plays at most 64 per process
constexpr size_t kModules = 200;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct Sim {
    std::unique_ptr<ChildProcess> process;
    std::vector<std::string> ports;
    std::vector<Clock::time_point> announced; // when each module's port was read: after its clock started
    std::string transcript;
};

Sim StartSim(const std::string& dir, const std::string& tag, size_t count) {
    Sim sim;
    sim.transcript = dir + "/transcript-" + tag;
    sim.process = std::make_unique<ChildProcess>(std::vector<std::string>{
        ZK405_SIM_PROGRAM, "--count", std::to_string(count), "--reply-delay-ms", std::to_string(kReplyDelayMs),
        "--transcript", sim.transcript});
    for (size_t i = 0; i < count; ++i) {
        sim.ports.push_back(sim.process->ReadLine());
        sim.announced.push_back(Clock::now());
    }
    return sim;
}

class Station {
public:
    Station(const std::string& watched, const std::string& ledger) {
        m_process = std::make_unique<ChildProcess>(std::vector<std::string>{
            ZK405_CLI_PROGRAM, "station", "--watch-dir", watched, "--ledger", ledger, "--name", "Bench {n}",
            "--pin", "1234", "--flow", "RTS/CTS", "--json"});
        Next("ready");
    }
    Json Next(const std::string& event, int timeoutMs = 10000) {
        for (;;) {
            const std::string line = m_process->ReadLine(timeoutMs);
            if (line.empty())
                return nullptr;
            const Json object = Json::parse(line, nullptr, false);
            if (object.is_object() && object["event"] == event)
                return object;
            if (object.is_object() && object["event"] == "finished")
                m_results.push_back(object);
        }
    }
    // Results seen while looking for something else, then the next ones.
    Json NextResult(int timeoutMs = 10000) {
        if (!m_results.empty()) {
            Json result = m_results.front();
            m_results.erase(m_results.begin());
            return result;
        }
        for (;;) {
            const std::string line = m_process->ReadLine(timeoutMs);
            if (line.empty())
                return nullptr;
            const Json object = Json::parse(line, nullptr, false);
            if (object.is_object() && object["event"] == "finished")
                return object;
        }
    }
    void Kill() {
        m_process->Signal(SIGKILL);
        m_process->Wait();
    }
    int Stop() {
        m_process->Signal(SIGINT);
        return m_process->Wait(10000);
    }

private:
    std::unique_ptr<ChildProcess> m_process;
    std::vector<Json> m_results;
};

// Appearance to the first command, one module at a time.
std::vector<double> FirstCommandLatency(const std::string& dir) {
    const std::string watched = dir + "/latency";
    std::filesystem::create_directories(watched);
    constexpr size_t count = 20;
    Sim sim = StartSim(dir, "latency", count);
    Station station(watched, dir + "/latency.jsonl");
    std::vector<double> latency;
    for (size_t i = 0; i < count; ++i) {
        const Clock::time_point appeared = Clock::now();
        std::filesystem::create_symlink(sim.ports[i], watched + "/ttyUSB" + std::to_string(i));
        if (station.NextResult().is_null())
            break;
        const std::vector<TranscriptLine> lines = ReadTranscript(sim.transcript + std::to_string(i));
        if (lines.empty())
            continue;
        // The module's clock started before its port was announced, so this is an upper bound.
        latency.push_back(lines.front().ms - Ms(appeared - sim.announced[i]));
    }
    station.Stop();
    return latency;
}

std::vector<double> RecordCost(const std::string& path) {
    provisioning::Ledger ledger;
    std::string error;
    std::vector<double> costs;
    if (!ledger.Open(path, error)) {
        std::fprintf(stderr, "station_bench: %s\n", error.c_str());
        return costs;
    }
    for (int i = 0; i < 200; ++i) {
        provisioning::LedgerRecord record;
        record.station = "bench";
        record.attempt = provisioning::NewAttemptId();
        record.port = "com36";
        record.settings = {"name", "pin", "flow"};
        const Clock::time_point start = Clock::now();
        ledger.Start(
            record, [](long n, std::string& name, std::string&) { return !(name = "Bench " + std::to_string(n)).empty(); },
            error);
        costs.push_back(Ms(Clock::now() - start));
        record.event = provisioning::kResultProgrammed;
        record.result = provisioning::kResultProgrammed;
        record.status = 0;
        const Clock::time_point done = Clock::now();
        ledger.Append(record, error);
        costs.push_back(Ms(Clock::now() - done));
    }
    return costs;
}

struct ThroughRun {
    size_t programmed = 0; // distinct modules with a "programmed" record
    size_t doneRecords = 0;
    size_t replugged = 0;
    size_t interrupted = 0;
    long lastNumber = 0;
    size_t badLines = 0;
    bool reused = false;
    double seconds = 0;
    std::vector<int> killStatuses;
    std::string failures;
};

// What the ledger says about the line so far.
struct LineState {
    std::set<std::string> donePorts;
    size_t doneRecords = 0;
    size_t badLines = 0;
    bool nameGivenTwice = false;
    size_t open = 0; // starts without their result
};

LineState ReadLine(const std::string& ledger) {
    LineState state;
    const provisioning::LedgerContents contents =
        provisioning::ParseLedger(ReadWholeFile(ledger), provisioning::LedgerFormat::Csv);
    state.badLines = contents.badLines.size();
    // Every name handed out, by a start whether it finished or not, with its number: a retry of a
    // failed module takes its number and name again, another module never does.
    std::map<std::string, std::int64_t> names;
    std::set<std::string> open;
    for (const provisioning::LedgerRecord& record : contents.records) {
        if (record.event == provisioning::kLedgerStarted)
            open.insert(record.attempt);
        else
            open.erase(record.attempt);
        if (record.event == provisioning::kLedgerStarted &&
            names.emplace(record.nameAfter, record.n).first->second != record.n)
            state.nameGivenTwice = true;
        if (record.event == provisioning::kResultProgrammed) {
            ++state.doneRecords;
            state.donePorts.insert(record.port);
        }
    }
    state.open = open.size();
    return state;
}

// The station with its output in a file, its progress too: nobody reads it during the run, and a full
// pipe would stall it.
std::vector<std::string> LineStation(const std::string& watched, const std::string& ledger, const std::string& out) {
    return {"/bin/sh", "-c",
            std::string("exec \"$0\" station --watch-dir \"$1\" --ledger \"$2\" --name 'Bench {n}' --pin 1234 "
                        "--flow RTS/CTS >>\"$3\" 2>&1"),
            ZK405_CLI_PROGRAM, watched, ledger, out};
}

// Until the station has said it is waiting for the count-th time: it watches the folder from then on.
void WaitForReady(const std::string& out, size_t count) {
    for (int wait = 0; wait < 2000; ++wait) {
        const std::string text = std::filesystem::exists(out) ? ReadWholeFile(out) : "";
        size_t seen = 0;
        for (size_t at = 0; (at = text.find("Waiting for modules", at)) != std::string::npos; ++at)
            ++seen;
        if (seen >= count)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// 200 modules plugged in one by one, 50 ms apart; the station killed at modules 70 and 140 and
// started again, and the modules it had not finished plugged in again, as a person would.
ThroughRun TwoHundredModules(const std::string& dir) {
    const std::string watched = dir + "/line";
    const std::string ledger = dir + "/line.csv";
    std::filesystem::create_directories(watched);
    std::vector<Sim> sims;
    for (size_t i = 0; i < kModules / kSimModules; ++i)
        sims.push_back(StartSim(dir, "line" + std::to_string(i), kSimModules));
    const Sim spare = StartSim(dir, "spare", kSimModules);
    const auto device = [&](size_t m) { return sims[m / kSimModules].ports[m % kSimModules]; };
    const auto link = [&](size_t m) { return watched + "/ttyUSB" + std::to_string(m); };

    ThroughRun run;
    const Clock::time_point start = Clock::now();
    const std::string out = dir + "/line.out";
    size_t starts = 1;
    auto station = std::make_unique<ChildProcess>(LineStation(watched, ledger, out));
    WaitForReady(out, starts);
    for (size_t m = 0; m < kModules; ++m) {
        std::filesystem::create_symlink(device(m), link(m));
        if (m == 70 || m == 140) {
            // Killed while a module is being programmed: its number is taken, its result not yet written.
            const size_t before = ReadLine(ledger).open;
            for (int wait = 0; wait < 200 && ReadLine(ledger).open <= before; ++wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            station->Signal(SIGKILL);
            run.killStatuses.push_back(station->Wait());
            station = std::make_unique<ChildProcess>(LineStation(watched, ledger, out));
            WaitForReady(out, ++starts);
            const LineState state = ReadLine(ledger);
            for (size_t again = 0; again <= m; ++again)
                if (state.donePorts.count(link(again)) == 0) {
                    // Plugged in again, the module is a fresh device: the killed station's open left
                    // the old pseudo-terminal in exclusive mode, which a real adapter's removal ends.
                    std::filesystem::remove(link(again));
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    std::filesystem::create_symlink(spare.ports.at(run.replugged++), link(again));
                }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (int wait = 0; wait < 300 && ReadLine(ledger).donePorts.size() < kModules; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    station->Signal(SIGINT);
    station->Wait(10000);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const LineState state = ReadLine(ledger);
    run.programmed = state.donePorts.size();
    run.doneRecords = state.doneRecords;
    run.badLines = state.badLines;
    run.reused = state.nameGivenTwice;
    const provisioning::LedgerSummary summary =
        provisioning::Summarize(provisioning::ParseLedger(ReadWholeFile(ledger), provisioning::LedgerFormat::Csv));
    run.interrupted = summary.interrupted;
    for (const auto& [reason, count] : summary.failures)
        run.failures += std::to_string(count) + " " + reason + "; ";
    run.lastNumber = summary.lastNumber;
    return run;
}

} // namespace

int main() {
    TempDir dir(false);
    setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1); // no monitor of the user's gets this traffic
    if (chdir(dir.Path().c_str()) != 0)
        return 1;

    const std::vector<double> latency = FirstCommandLatency(dir.Path());
    if (latency.empty())
        return 1;
    std::printf("zk405-cli station; modules answer after %d ms\n", kReplyDelayMs);
    std::printf("  appearance to first command: median %.1f ms, max %.1f ms (%zu modules, one at a time)\n",
                Median(latency), *std::max_element(latency.begin(), latency.end()), latency.size());
    for (const char* name : {"cost.csv", "cost.jsonl"}) {
        const std::vector<double> costs = RecordCost(dir.File(name));
        std::printf("  ledger record with its sync (%s): median %.2f ms, max %.2f ms (%zu records)\n", name,
                    Median(costs), costs.empty() ? 0 : *std::max_element(costs.begin(), costs.end()), costs.size());
    }
    const ThroughRun line = TwoHundredModules(dir.Path());
    std::printf("  %zu modules, the station killed and started again twice: %zu programmed (in %zu records), "
                "%zu plugged in again, %zu numbers left without a result, last n %ld, %zu damaged lines, "
                "a name given twice: %s; %.1f s\n",
                kModules, line.programmed, line.doneRecords, line.replugged, line.interrupted, line.lastNumber,
                line.badLines, line.reused ? "YES" : "no", line.seconds);
    if (!line.failures.empty())
        std::printf("  failures: %s\n", line.failures.c_str());
    for (const int status : line.killStatuses)
        std::printf("  a killed station ended with %d\n", status);
    return line.programmed == kModules && line.badLines == 0 && !line.reused ? 0 : 1;
}
