#include "CliHelp.h"

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace zk405_cli {

namespace {

// Before the statuses, which end the help: the manual page makes its EXIT STATUS section of them and
// of what follows them.
constexpr const char* kConventions =
    "Results go to standard output; progress and diagnostics go to standard error. Colour only on a\n"
    "terminal, and never with NO_COLOR set.\n"
    "\n"
    "zk405-cli help COMMAND tells of one command: its options, examples and exit statuses.\n"
    "\n";

// The manual page is made from this help, so it names every status and when each is given. A line
// that goes on a status is indented as the status's text, which is how help2man keeps it in its
// paragraph.
constexpr const char* kExitStatuses =
    "Exit status:\n"
    "  0  every selected setting confirmed on every port (name: every name read)\n"
    "  1  bad usage or input; nothing was sent\n"
    "  2  a port could not be opened (missing, busy, no permission, no Bluetooth link) or worked: its\n"
    "     line is stuck (a command did not go out within 2 s: flow control held), or no thread or\n"
    "     memory for it; for scan, pair and unpair: Bluetooth cannot be used (BlueZ not running or not\n"
    "     answering, no adapter, adapter off), or BlueZ does not know the module\n"
    "  3  a module stayed silent, or the Bluetooth link to it dropped, or it did not answer a pairing\n"
    "  4  a module refused or did not confirm a setting, or its name read back differs, or it refused a\n"
    "     pairing (a wrong PIN among them)\n"
    "  5  every port ended well, but the report could not be written (a full disk, a closed pipe)\n"
    "  6  an unexpected failure ended the program; its ports were closed\n"
    "  7  the ledger could not be opened, locked, read or written: nothing was sent without it, or the\n"
    "     run stopped there (a ledger not named .csv or .jsonl is bad usage: 1)\n"
    "  128+N  stopped by signal N (130 Ctrl+C, 143 SIGTERM, 129 SIGHUP): the exchange under way\n"
    "         was ended, every port closed, and the report tells what each port reached; a\n"
    "         station finishes the modules under way and ends so only when --once modules were\n"
    "         not done\n"
    "When ports end differently, the lowest of 2, 3 and 4 is reported.";

// A command's statuses, each line as its help shows it; success is the command's own.
constexpr const char* kUsage = "  1  bad usage or input; nothing was sent";
constexpr const char* kNotOpened =
    "  2  a port could not be opened (missing, busy, no permission, no Bluetooth link) or worked\n"
    "     (its line stuck, no thread or memory for it)";
constexpr const char* kSilent = "  3  a module stayed silent, or the Bluetooth link to it dropped";
constexpr const char* kRefused =
    "  4  a module refused or did not confirm a setting, or its name read back differs; a\n"
    "     Bluetooth module refused its pairing (--pair-pin) or its new PIN (--prove-pin)";
constexpr const char* kReportLost =
    "  5  all went well, but the report could not be written (a full disk, a closed pipe)";
constexpr const char* kFailed = "  6  an unexpected failure ended the program; its ports were closed";
constexpr const char* kLedger = "  7  the ledger could not be opened, locked, read or written";
constexpr const char* kSignal = "  128+N  stopped by signal N (130 Ctrl+C, 143 SIGTERM, 129 SIGHUP)";

struct CommandHelp {
    const char* command;
    std::vector<const char*> examples;
    std::vector<const char*> statuses;
};

const std::vector<CommandHelp>& Commands() {
    static const std::vector<CommandHelp> commands = {
        {"list",
         {"zk405-cli list", "zk405-cli list --all", "zk405-cli list --json"},
         {"  0  the ports were listed (none, if none can be opened)", kUsage, kReportLost, kFailed, kSignal}},
        {"scan",
         {"zk405-cli scan", "zk405-cli scan --discover 10 --match \"ZK405*\"", "zk405-cli scan --json"},
         {"  0  the devices were listed (none, if none offers the Serial Port Profile)",
          "  1  bad usage, or no Bluetooth scan on this system",
          "  2  Bluetooth cannot be used (BlueZ not running or not answering, no adapter, adapter off)",
          kReportLost, kFailed, kSignal}},
        {"pair",
         {"zk405-cli pair bt:AA:BB:CC:DD:EE:FF --pin-file pin.txt",
          "zk405-cli pair bt:AA:BB:CC:DD:EE:01 bt:AA:BB:CC:DD:EE:02 --pin - --timeout 60",
          "zk405-cli pair bt:AA:BB:CC:DD:EE:FF --pin-file pin.txt --json"},
         {"  0  every module paired (or paired already) and marked trusted",
          "  1  bad usage or input (no PIN, a module not written as bt:ADDRESS), or no pairing on this\n"
          "     system; nothing was done",
          "  2  Bluetooth cannot be used (BlueZ not running or not answering, no adapter, adapter off), or\n"
          "     BlueZ does not know a module (no discovery found it)",
          "  3  a module did not answer within --timeout: its pairing was cancelled, nothing half-made kept",
          "  4  a module refused the pairing: a wrong PIN (not the one it has now), or turned down",
          kReportLost, kFailed,
          "  128+N  stopped by signal N (130 Ctrl+C, 143 SIGTERM, 129 SIGHUP): the pairing under way was\n"
          "     cancelled, the modules after it not tried"}},
        {"unpair",
         {"zk405-cli unpair bt:AA:BB:CC:DD:EE:FF", "zk405-cli unpair bt:AA:BB:CC:DD:EE:01 bt:AA:BB:CC:DD:EE:02 --json"},
         {"  0  every module's bond removed (a module known but not paired is forgotten)",
          "  1  bad usage (a module not written as bt:ADDRESS), or no pairing on this system",
          "  2  Bluetooth cannot be used (BlueZ not running or not answering, no adapter), or BlueZ does\n"
          "     not know a module",
          "  4  BlueZ kept a bond it was asked to remove", kReportLost, kFailed, kSignal}},
        {"name",
         {"zk405-cli name com5", "zk405-cli name com5 com6 --json", "zk405-cli name bt:AA:BB:CC:DD:EE:FF"},
         {"  0  every name read", kUsage, kNotOpened, kSilent, kReportLost, kFailed, kSignal}},
        {"program",
         {"zk405-cli program com5 --name \"Line {n}\" --pin-file pin.txt",
          "zk405-cli program com5 com6 --preset bench.txt --ledger bench.csv",
          "zk405-cli program bt:AA:BB:CC:DD:EE:FF --pair-pin 1234 --pin 4321 --prove-pin --unpair-after"},
         {"  0  every selected setting confirmed on every port", kUsage, kNotOpened, kSilent, kRefused,
          kReportLost, kFailed, kLedger, kSignal}},
        {"station",
         {"zk405-cli station --ledger bench.csv --name \"Line {n}\" --pin-file pin.txt",
          "zk405-cli station --ledger bench.jsonl --preset bench.txt --once 10 --on-result ./label.sh",
          "zk405-cli station --ledger bench.csv --preset bench.txt --skip-done --bluetooth --discover\n"
          "          --match \"ZK405*\" --pair-pin 1234 --prove-pin --unpair-after"},
         {"  0  stopped (Ctrl+C, or --once modules done) with no module failed", kUsage, kNotOpened, kSilent,
          kRefused, kReportLost, kFailed, kLedger,
          "  128+N  stopped by signal N before --once modules were done"}},
        {"ledger",
         {"zk405-cli ledger bench.csv --since 06:00 --until 14:00",
          "zk405-cli ledger bench.jsonl --json --since 2026-12-08", "zk405-cli ledger --check bench.csv"},
         {"  0  the ledger was summarized (with --check: every line whole and well formed)",
          "  1  bad usage (a time --since or --until cannot read), or a ledger not named .csv or .jsonl",
          "  7  the ledger could not be opened or read (with --check: a line is damaged)", kReportLost,
          kFailed, kSignal}},
    };
    return commands;
}

std::string Footer(const CommandHelp& help) {
    std::string footer = "Examples:\n";
    for (const char* example : help.examples)
        footer.append("  ").append(example).append("\n");
    footer += "\nExit status:";
    for (const char* status : help.statuses)
        footer.append("\n").append(status);
    return footer;
}

} // namespace

void DescribeCommands(CLI::App& app) {
    app.footer(std::string(kConventions) + kExitStatuses);
    for (const CommandHelp& help : Commands())
        for (CLI::App* command :
             app.get_subcommands([&](CLI::App* c) { return c->get_name() == help.command; }))
            command->footer(Footer(help));
}

} // namespace zk405_cli
