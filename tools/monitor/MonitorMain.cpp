// zk405-monitor: creates the endpoint the configuration tool mirrors its traffic dump to and prints
// each message as it comes, so the traffic can be watched live.
#include "FileSizeSignal.h"
#include "MonitorEndpoint.h"
#include "MonitorFormat.h"
#include "StopSignal.h"
#include "ZK405Version.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

namespace {

constexpr int kExitStopped = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// How long a wait may last before the stop flag is looked at again.
constexpr int kPollMs = 200;

constexpr const char* kUsage =
    "Usage: zk405-monitor [--raw] [--count N] | --version | --help\n"
    "Listens where the ZK405 configuration tool mirrors its traffic log and prints every message:\n"
    "plainly the output reads like TxRx.log; with --raw each message is one line, its length in\n"
    "bytes, a space and its bytes escaped (\\r \\n \\t \\\\ \\xHH).\n"
    "\n"
    "  --raw      show message boundaries\n"
    "  --count N  exit after N messages\n"
    "  --version  print the version and exit\n"
    "  --help     show this text and exit\n"
    "\n"
    "The endpoint's name goes to stderr once it is ready. Ctrl+C stops the monitor.\n"
    "When zk405-cli works on several ports at once, each line is shown with [port] before it.\n"
    "The tool looks for the monitor when it opens a port and keeps the first one it finds until it\n"
    "ends: start the monitor first, and after restarting the monitor restart the tool too.\n"
    "Exit status: 0 stopped or N messages printed, 1 could not listen or failed on the way, 2 bad\n"
    "options.\n";

int MonitorMain(int argc, char** argv) {
    IgnoreFileSizeSignal(); // output redirected to a file that reached its limit must not end it
    bool raw = false;
    long count = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "--version") {
            std::fputs(option == "--help" ? kUsage : "zk405-monitor " ZK405_VERSION_STRING "\n", stdout);
            // Text that could not be written (a full disk, a closed pipe) is not an answer.
            return std::fflush(stdout) == 0 ? kExitStopped : kExitFailed;
        } else if (option == "--raw") {
            raw = true;
        } else if (option == "--count" && i + 1 < argc) {
            char* end = nullptr;
            errno = 0;
            count = std::strtol(argv[++i], &end, 10);
            if (errno != 0 || *end != '\0' || end == argv[i] || count < 0) {
                std::fprintf(stderr, "zk405-monitor: bad count: %s\n", argv[i]);
                return kExitUsage;
            }
        } else {
            std::fprintf(stderr, "zk405-monitor: bad option: %s\n\n%s", argv[i], kUsage);
            return kExitUsage;
        }
    }

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
