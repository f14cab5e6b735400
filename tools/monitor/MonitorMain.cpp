// zk405-monitor: creates the endpoint the configuration tool mirrors its traffic dump to and prints
// each message as it comes, so the traffic can be watched live.
#include "FileSizeSignal.h"
#include "StandardStreams.h"
#include "MonitorEndpoint.h"
#include "MonitorFormat.h"
#include "StopSignal.h"
#include "ToolOptions.h"
#include "ZK405Version.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <iostream>
#include <limits>
#include <optional>
#include <string>

namespace {

// 0 and 1 as every tool has them (tool_options).
constexpr int kExitStopped = tool_options::kExitSuccess;
constexpr int kExitFailed = 2;
// How long a wait may last before the stop flag is looked at again.
constexpr int kPollMs = 200;

constexpr const char* kDescription =
    "Listens where the ZK405 configuration tool mirrors its traffic log and prints every message:\n"
    "plainly the output reads like TxRx.log; with --raw each message is one line, its length in\n"
    "bytes, a space and its bytes escaped (\\r \\n \\t \\\\ \\xHH).";

constexpr const char* kFooter =
    "The endpoint's name goes to stderr once it is ready. Ctrl+C stops the monitor.\n"
    "When zk405-cli works on several ports at once, each line is shown with [port] before it.\n"
    "The tool looks for the monitor when it opens a port and keeps the first one it finds until it\n"
    "ends: start the monitor first, and after restarting the monitor restart the tool too.\n"
    "\n"
    "Exit status:\n"
    "  0  stopped, or N messages printed\n"
    "  1  bad usage\n"
    "  2  could not listen, receiving failed, or an unexpected failure";

int MonitorMain(int argc, char** argv) {
    if (!CoverClosedStandardStreams())
        return kExitFailed;
    IgnoreFileSizeSignal(); // output redirected to a file that reached its limit must not end it
    bool raw = false;
    long count = -1;
    CLI::App app{kDescription, "zk405-monitor"};
    app.set_version_flag("--version", "zk405-monitor " ZK405_VERSION_STRING);
    app.footer(kFooter);
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_flag("--raw", raw, "show message boundaries");
    app.add_option("--count", count, "exit after N messages")
        ->type_name("N")
        ->transform(tool_options::DecimalIn(0, std::numeric_limits<long>::max()));
    if (const std::optional<int> status = tool_options::Parse(app, argc, argv, std::cout, std::cerr))
        return *status;

    InstallStopHandler();
    UseBinaryOutput();
    CMonitorEndpoint endpoint;
    std::string error;
    if (!endpoint.Create(error)) {
        std::fprintf(stderr, "zk405-monitor: %s\n", error.c_str());
        return kExitFailed;
    }
    std::fprintf(stderr, "zk405-monitor: listening on %s\n", endpoint.Name().c_str());
    std::fflush(stderr);

    std::string message;
    for (long received = 0; received != count && !StopRequested();) {
        switch (endpoint.Receive(message, kPollMs)) {
        case CMonitorEndpoint::Receipt::kMessage: {
            const std::string text = FormatMessage(message, raw);
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::fflush(stdout);
            ++received;
            break;
        }
        case CMonitorEndpoint::Receipt::kTimeout:
            break;
        case CMonitorEndpoint::Receipt::kFailed:
            std::fprintf(stderr, "zk405-monitor: receiving failed\n");
            return kExitFailed;
        }
    }
    return kExitStopped;
}

} // namespace

// No exception leaves main: the endpoint is then taken down as at a normal end.
int main(int argc, char** argv) {
    try {
        return MonitorMain(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zk405-monitor: stopped by an unexpected failure: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "zk405-monitor: stopped by an unexpected failure\n");
    }
    return kExitFailed;
}
