// zk405-cli's pace against simulated modules that answer after 20 ms, as a real one does: one module
// with the windows' fixed second and with reply-driven waits, sixteen modules at once, and the time
// each exchange takes beyond the module's answer. The program is run as a user runs it, start to
// end, on a quiet machine, with both cores kept busy by two spinning processes, and among hundreds
// of other processes, as on a desktop. Prints medians of several runs; not a test.
#include "ChildProcess.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kModules = 16;
constexpr int kReplyDelayMs = 20;
const std::vector<std::string> kAllSettings = {"--name", "Drukarka {n}", "--pin", "1234", "--flow", "RTS/CTS",
                                               "--auth", "remember"};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Timed {
    double seconds = 0;
    std::vector<double> exchangeSeconds; // every step of every port
};

Timed Program(const std::vector<std::string>& ports, bool fixedWait) {
    std::vector<std::string> args = {ZK405_CLI_PROGRAM, "program"};
    args.insert(args.end(), ports.begin(), ports.end());
    args.insert(args.end(), kAllSettings.begin(), kAllSettings.end());
    args.push_back("--json");
    args.push_back("--quiet");
    if (fixedWait)
        args.push_back("--fixed-wait");
    const Clock::time_point start = Clock::now();
    ChildProcess cli(args);
    const std::string out = cli.ReadToEnd(30000);
    const int status = cli.Wait(30000);
    Timed timed;
    timed.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (status != 0)
        std::fprintf(stderr, "cli_bench: zk405-cli ended with %d\n", status);
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json port = nlohmann::json::parse(line, nullptr, false);
        if (port.is_discarded())
            continue;
        for (const auto& step : port["steps"])
            timed.exchangeSeconds.push_back(step["seconds"].get<double>());
    }
    return timed;
}

// Other processes on the machine until the object goes: spinning ones keep a core busy, as other
// work does; sleeping ones stand for the hundreds a desktop runs, each of whose descriptors an open
// of a port looks through for another holder of the device.
class OtherProcesses {
public:
    enum class Kind { kSpinning, kSleeping };
    OtherProcesses(int count, Kind kind) {
        for (int i = 0; i < count; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                volatile unsigned long turns = 0;
                for (;;) {
                    if (kind == Kind::kSleeping)
                        pause();
                    turns = turns + 1;
                }
            }
            if (pid > 0)
                m_pids.push_back(pid);
        }
    }
    ~OtherProcesses() {
        for (const pid_t pid : m_pids)
            kill(pid, SIGKILL);
        for (const pid_t pid : m_pids) {
            int status = 0;
            waitpid(pid, &status, 0);
        }
    }
    OtherProcesses(const OtherProcesses&) = delete;
    OtherProcesses& operator=(const OtherProcesses&) = delete;

private:
    std::vector<pid_t> m_pids;
};

struct Pace {
    double one = 0;
    double many = 0;
};

Pace MeasureOneAndMany(const std::vector<std::string>& ports, int runs, std::vector<double>& overheadMs) {
    std::vector<double> driven, many;
    for (int run = 0; run < runs; ++run) {
        const Timed single = Program({ports[0]}, false);
        driven.push_back(single.seconds);
        for (double seconds : single.exchangeSeconds)
            overheadMs.push_back(seconds * 1000 - kReplyDelayMs);
        many.push_back(Program(ports, false).seconds);
    }
    return {Median(driven), Median(many)};
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    char directory[] = "/tmp/zk405-cli-bench-XXXXXX";
    if (mkdtemp(directory) == nullptr || chdir(directory) != 0)
        return 1;
    setenv("XDG_RUNTIME_DIR", directory, 1); // no monitor of the user's gets this traffic

    ChildProcess sim({ZK405_SIM_PROGRAM, "--count", std::to_string(kModules), "--reply-delay-ms",
                      std::to_string(kReplyDelayMs)});
    std::vector<std::string> ports;
    for (int i = 0; i < kModules; ++i)
        ports.push_back(sim.ReadLine());
    if (ports.back().empty()) {
        std::fprintf(stderr, "cli_bench: the simulator did not start\n");
        return 1;
    }
    const std::vector<std::string> one = {ports[0]};

    std::vector<double> fixed, overheadMs, busyOverheadMs;
    for (int run = 0; run < std::min(runs, 3); ++run)
        fixed.push_back(Program(one, true).seconds);
    const Pace quiet = MeasureOneAndMany(ports, runs, overheadMs);
    Pace busy;
    {
        const OtherProcesses spinners(2, OtherProcesses::Kind::kSpinning);
        busy = MeasureOneAndMany(ports, runs, busyOverheadMs);
    }
    constexpr int kCrowd = 400;
    Pace crowded;
    {
        const OtherProcesses crowd(kCrowd, OtherProcesses::Kind::kSleeping);
        crowded = MeasureOneAndMany(ports, runs, busyOverheadMs);
    }

    if (overheadMs.empty())
        return 1;
    const double fixedMedian = Median(fixed);
    std::printf("zk405-cli program, all four settings and the name read back; modules answer after %d ms;\n"
                "the whole command as a user runs it, medians of %d runs\n",
                kReplyDelayMs, runs);
    std::printf("  one module, --fixed-wait (the windows' pace): %7.3f s\n", fixedMedian);
    std::printf("  one module, reply-driven:                     %7.3f s, %.1f times faster\n", quiet.one,
                fixedMedian / quiet.one);
    std::printf("  %d modules at once, reply-driven:             %7.3f s, %.2f times one module\n", kModules,
                quiet.many, quiet.many / quiet.one);
    std::printf("  with both cores busy: one module %.3f s, %d modules %.3f s, %.2f times one module\n", busy.one,
                kModules, busy.many, busy.many / busy.one);
    std::printf("  among %d more processes: one module %.3f s, %d modules %.3f s, %.2f times one module\n", kCrowd,
                crowded.one, kModules, crowded.many, crowded.many / crowded.one);
    std::printf("  per exchange beyond the module's %d ms:        %7.3f ms (median of %zu exchanges, max %.3f ms;\n"
                "                                                 a pseudo-terminal has no wire time)\n",
                kReplyDelayMs, Median(overheadMs), overheadMs.size(),
                *std::max_element(overheadMs.begin(), overheadMs.end()));
    std::string cleanup = std::string("rm -rf ") + directory;
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
