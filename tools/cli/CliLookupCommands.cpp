#include "CliCommands.h"

#include "Bluetooth.h"
#include "CliOutput.h"
#include "CliPair.h"
#include "CliPorts.h"
#include "CliScan.h"
#include "CliUsage.h"
#include "LedgerReport.h"
#include "ShiftTime.h"

#include <memory>
#include <optional>
#include <string>

namespace zk405_cli {

Command AddList(CLI::App& app, std::ostream& out, std::ostream& err) {
    auto state = std::make_shared<std::pair<bool, bool>>(); // json, all
    CLI::App* list = app.add_subcommand("list", "the ports that can be opened now, with their devices and what they are");
    list->add_flag("--json", state->first, "one JSON object per port on stdout");
    list->add_flag("--all", state->second, "also the ports that exist but cannot be opened now, with the reason");
    return {list, [state, &out, &err] {
                return Finish(ListPorts(state->first, state->second, bluetooth::DeviceName, out, err), out, err);
            }};
}

Command AddScan(CLI::App& app, std::ostream& out, std::ostream& err) {
    struct State {
        int discoverSeconds = 0;
        bool json = false;
        std::string sysfsRoot; // the system's own unless moved
        std::optional<std::string> match;
    };
    auto state = std::make_shared<State>();
    CLI::App* scan = app.add_subcommand(
        "scan", "the Bluetooth devices offering the Serial Port Profile (paired ones; nearby ones with --discover)");
    scan->add_option("--discover", state->discoverSeconds, "also look for nearby devices for this many seconds (up to 600)")
        ->check(CLI::Range(0, 600).description(""))
        ->type_name("SECONDS");
    scan->add_flag("--json", state->json, "one JSON object per device on stdout");
    scan->add_option_function<std::string>(
            "--match", [state](const std::string& pattern) { state->match = pattern; },
            "tell whether each name matches this pattern (* any text, ? one character, any letter case)")
        ->type_name("PATTERN");
    // Where the bound rfcomm devices are read from; moved only by tests.
    scan->add_option("--sysfs-root", state->sysfsRoot)->group("");
    return {scan, [state, &out, &err] {
                return Finish(Scan(state->discoverSeconds, state->json, state->sysfsRoot, state->match, out, err), out, err);
            }};
}

Command AddPair(CLI::App& app, std::ostream& out, std::ostream& err) {
    auto options = std::make_shared<PairOptions>();
    CLI::App* pair = app.add_subcommand("pair", "pair each Bluetooth module with the PIN it has now, and trust it");
    AddPairOptions(*pair, *options);
    return {pair, [options, &out, &err] { return Finish(PairModules(*options, out, err), out, err); }};
}

Command AddUnpair(CLI::App& app, std::ostream& out, std::ostream& err) {
    auto options = std::make_shared<UnpairOptions>();
    CLI::App* unpair = app.add_subcommand("unpair", "remove the bond with each Bluetooth module");
    AddUnpairOptions(*unpair, *options);
    return {unpair, [options, &out, &err] { return Finish(UnpairModules(*options, out, err), out, err); }};
}

Command AddLedger(CLI::App& app, std::ostream& out, std::ostream& err) {
    struct State {
        std::string file;
        bool json = false;
        bool check = false;
        std::string since, until;
    };
    auto state = std::make_shared<State>();
    CLI::App* ledger = app.add_subcommand("ledger", "summarize or check a ledger");
    ledger->add_option("file", state->file, "the ledger, .csv or .jsonl")->required()->type_name("FILE");
    ledger->add_flag("--json", state->json, "the summary as one JSON object");
    ledger->add_flag("--check", state->check, "verify every line is whole and well formed");
    ledger->add_option("--since", state->since,
                       "only the attempts begun at TIME or later (2026-12-08T06:00, 2026-12-08 or 06:00;\n"
                       "local time unless Z or an offset such as +01:00 follows)")
        ->check(ShiftTimeValidator())
        ->type_name("TIME");
    ledger->add_option("--until", state->until, "only the attempts begun before TIME")
        ->check(ShiftTimeValidator())
        ->type_name("TIME");
    return {ledger, [state, &out, &err] {
                const LedgerSpan span = ShiftSpan(state->since, state->until);
                const ExitStatus status = state->check ? CheckLedger(state->file, out, err)
                                                       : SummarizeLedger(state->file, span, state->json, out, err);
                return Finish(status, out, err);
            }};
}

Command AddHelp(CLI::App& app, std::ostream& out, std::ostream& err) {
    auto topic = std::make_shared<std::string>();
    CLI::App* help = app.add_subcommand("help", "the help of zk405-cli, or of one command");
    help->add_option("command", *topic, "the command")->type_name("COMMAND");
    return {help, [&app, topic, &out, &err] { return AnswerHelp(app, *topic, out, err); }};
}

} // namespace zk405_cli
