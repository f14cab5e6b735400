#include "CliApp.h"

#include "AfterResult.h"
#include "Batch.h"
#include "Bluetooth.h"
#include "BluetoothSource.h"
#include "CliPlatform.h"
#include "CliPair.h"
#include "CliPin.h"
#include "CliPorts.h"
#include "CliProgress.h"
#include "CliReport.h"
#include "CliScan.h"
#include "CliUnattended.h"
#include "CliHelp.h"
#include "CliOutput.h"
#include "CliUsage.h"
#include "Cp1250.h"
#include "EscapedText.h"
#include "LedgerReport.h"
#include "LogNames.h"
#include "RecordedJob.h"
#include "Settings.h"
#include "ShiftTime.h"
#include "StationConsole.h"
#include "StationProgress.h"
#include "ToolOptions.h"
#include "TranscriptFile.h"
#include "ZK405Version.h"

#include <CLI/CLI.hpp>

#include <atomic>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>

namespace zk405_cli {

namespace {

// A subcommand: its place in the schema and what runs once it is the one parsed.
struct Command {
    CLI::App* app = nullptr;
    std::function<ExitStatus()> run;
};

struct Common {
    std::vector<std::string> ports;
    bool json = false;
    bool quiet = false;
    bool fixedWait = false;
};

void AddCommon(CLI::App& command, Common& common) {
    command.add_option("ports", common.ports, "ports, e.g. com5 com6 (or device paths)")->required()->type_name("PORT");
    command.add_flag("--json", common.json, "one JSON object per port on stdout");
    command.add_flag("--quiet", common.quiet, "print only errors");
    command.add_flag("--fixed-wait", common.fixedWait, "wait the full second for every reply, as the windows do");
}

// The settings options of program and station, bound once: an option not given leaves the preset's
// value (or nothing) in place.
struct SettingsOptions {
    SettingsInput given;
    std::string preset;
    std::string pinFile;
};

void AddSettings(CLI::App& command, SettingsOptions& settings, const char* numberMeaning) {
    const auto value = [](std::optional<std::string>& slot) {
        return [&slot](const std::string& text) { slot = text; };
    };
    command.add_option_function<std::string>(
        "--name", value(settings.given.name),
        "the name, at most " + std::to_string(module_commands::kNameMaxChars) + " characters; {port} and {n} (" +
            numberMeaning + ") are replaced")
        ->type_name("TEXT");
    CLI::Option* pin = command.add_option_function<std::string>(
        "--pin", value(settings.given.pin),
        "the PIN, at most " + std::to_string(module_commands::kPinMaxChars) +
            " characters; - reads it from standard input (not echoed on a terminal)")
        ->type_name("PIN");
    command.add_option("--pin-file", settings.pinFile, "the PIN from the first line of this file")
        ->excludes(pin)
        ->type_name("FILE");
    command.add_option_function<std::string>(
        "--flow", value(settings.given.flow),
        FlowLabelList(" or ") + " (any letter case; " + kFlowNoneWord + " for " + module_commands::kFlowNone + ")")
        ->type_name("MODE");
    command.add_option_function<std::string>("--auth", value(settings.given.auth), AuthWordList(" or ", true))
        ->type_name("MODE");
    command.add_option("--preset", settings.preset, "a file of name=, pin=, flow=, auth= lines; options override it")
        ->type_name("FILE");
    command.add_flag("--allow-empty", settings.given.allowEmpty, "send an empty name or PIN instead of refusing it");
}

// The preset with the options over it; false, with the reason told, when nothing may be sent.
bool Settle(const SettingsOptions& options, SettingsInput& input, std::ostream& err) {
    std::string error;
    SettingsInput given = options.given;
    if (!PinFromSource(options.pinFile, given.pin, error) || !LoadSettings(options.preset, given, input, error)) {
        err << "zk405-cli: " << EscapeControls(error) << "; nothing was sent\n";
        return false;
    }
    if (IsEmpty(input)) {
        err << "zk405-cli: nothing to program: give --name, --pin, --flow, --auth or a --preset\n";
        return false;
    }
    return true;
}

// Runs the tasks, telling each step on err as it ends (only failures with --quiet), each port that
// could not be worked, and with --json one object per port on out. The steps under way are shown on
// progress, which is taken away before anything after the run is written.
std::vector<PortResult> RunAll(std::vector<PortTask> tasks, const Common& common, TerminalProgress& progress,
                               std::ostream& out, std::ostream& err, const PortRunner& runner = RunPlain) {
    const StepReport report = [&](const PortResult& port, const StepResult& step) {
        progress.Ended(port.port); // until its next step begins
        if (!common.quiet || !OutcomeIsGood(step.outcome))
            progress.Around([&] { err << ProgressLine(port, step) << std::endl; });
    };
    const auto ended = [&](const PortResult& port) {
        progress.Ended(port.port);
        if (port.status == kExitNotOpened)
            progress.Around([&] {
                err << "zk405-cli: " << EscapeControls(port.port) << ": " << FailureText(port) << std::endl;
            });
    };
    for (PortTask& task : tasks)
        task.starting = [&progress](const StepUnderWay& underWay) { progress.Show(underWay); };
    std::vector<PortResult> results = RunBatch(tasks, report, ended, runner);
    progress.Stop();
    if (common.json)
        for (const PortResult& result : results)
            out << JsonLine(ToJson(result)) << "\n";
    return results;
}

std::vector<PortTask> Tasks(const Common& common) {
    std::vector<PortTask> tasks;
    const std::vector<std::string> logFiles = LogFilesFor(common.ports);
    for (size_t i = 0; i < common.ports.size(); ++i) {
        PortTask task;
        task.port = common.ports[i];
        task.position = i + 1;
        task.logFile = logFiles[i];
        // The monitor tells several ports' mirrors apart by their names; one port mirrors as ever.
        if (common.ports.size() > 1)
            task.monitorTag = task.port;
        task.replyDriven = !common.fixedWait;
        tasks.push_back(std::move(task));
    }
    return tasks;
}

ExitStatus ReadNames(const Common& common, std::ostream& out, std::ostream& err) {
    const std::vector<PortResult> results =
        RunAll(Tasks(common), common, *ProgressOn(err, common.quiet, common.json), out, err);
    for (const PortResult& result : results) {
        if (result.status == kExitSilent)
            err << "zk405-cli: " << EscapeControls(result.port) << ": " << FailureText(result) << "\n";
        else if (result.status == kExitOk && !common.json)
            out << EscapeControls(result.port) << "\t" << EscapeControls(cp1250::Cp1250ToUtf8(result.name)) << "\n";
    }
    return OverallStatus(results);
}

// With a ledger {n} is the ledger's next number, taken as each module starts.
ExitStatus Program(const Common& common, const SettingsInput& input, bool verify, const std::string& ledgerPath,
                   const ResultCommand& onResult, const PairingPlan& pairing, std::ostream& out,
                   std::ostream& err) {
    std::vector<PortTask> tasks = Tasks(common);
    std::string error;
    for (PortTask& task : tasks) {
        task.program = true;
        task.verify = verify;
        if (!BuildSettings(input, task.port, task.position, task.settings, error)) {
            err << "zk405-cli: " << EscapeControls(task.port) << ": " << EscapeControls(error) << "; nothing was sent\n";
            return kExitUsage;
        }
    }
    const std::unique_ptr<TerminalProgress> progress = ProgressOn(err, common.quiet, common.json);
    Ledger ledger;
    std::mutex ledgerErrorLock;
    ledger.SetLockWait([&](const LedgerLockWait& wait) {
        const std::lock_guard<std::mutex> lock(ledgerErrorLock);
        progress->Around([&] { err << LockWaitLine(wait) << std::flush; });
    });
    LedgerFormat format;
    if (!ledgerPath.empty() && (!LedgerFormatOf(ledgerPath, format, error) || !ledger.Open(ledgerPath, error))) {
        err << "zk405-cli: " << EscapeControls(error) << "; nothing was sent\n";
        // A name of no format the tool writes is bad usage; a file that cannot be used, the ledger's.
        return LedgerFormatOf(ledgerPath, format, error) ? kExitLedger : kExitUsage;
    }
    std::atomic<bool> ledgerFailed{false};
    const PortRunner recorded = [&](const PortTask& task, const StepReport& report, PortResult& result) {
        RecordedTask recordedTask{task.port, "", task.logFile, input, false, task.verify, task.replyDriven, {},
                                  task.starting, TranscriptFolderFor(ledgerPath), onResult, pairing};
        const RecordedResult run = RunRecorded(ledger, recordedTask, report, nullptr);
        result = run.port;
        if (const std::string lines = AfterResultLines(run); !lines.empty()) {
            const std::lock_guard<std::mutex> lock(ledgerErrorLock);
            progress->Around([&] { err << lines << std::flush; });
        }
        if (run.ledgerFailed) {
            ledgerFailed = true;
            const std::lock_guard<std::mutex> lock(ledgerErrorLock);
            progress->Around([&] {
                err << "zk405-cli: " << EscapeControls(ledgerPath) << ": " << EscapeControls(run.ledgerError)
                    << std::endl;
            });
        }
    };
    const PortRunner paired = [&](const PortTask& task, const StepReport& report, PortResult& result) {
        RunPaired(pairing, input, task, report, result);
    };
    const std::vector<PortResult> results = !ledgerPath.empty() ? RunAll(tasks, common, *progress, out, err, recorded)
                                            : AnyStep(pairing)  ? RunAll(tasks, common, *progress, out, err, paired)
                                                                : RunAll(tasks, common, *progress, out, err);
    // The table is the result; beside JSON it is only for a person watching.
    if (!common.quiet)
        (common.json ? err : out) << SummaryTable(results);
    else
        for (const PortResult& result : results)
            if (result.status != kExitOk && result.status != kExitNotOpened)
                err << "zk405-cli: " << EscapeControls(result.port) << ": " << FailureText(result) << "\n";
    return ledgerFailed ? kExitLedger : OverallStatus(results);
}

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

Command AddName(CLI::App& app, std::ostream& out, std::ostream& err) {
    auto common = std::make_shared<Common>();
    CLI::App* name = app.add_subcommand("name", "read each module's name");
    AddCommon(*name, *common);
    return {name, [common, &out, &err] {
                if (!PortListUsable(common->ports, err))
                    return kExitUsage;
                return Finish(ReadNames(*common, out, err), out, err);
            }};
}

Command AddProgram(CLI::App& app, std::ostream& out, std::ostream& err) {
    struct State {
        Common common;
        SettingsOptions settings;
        bool noVerify = false;
        std::string ledger;
        ResultCommand onResult;
        UnattendedOptions unattended;
    };
    auto state = std::make_shared<State>();
    CLI::App* program = app.add_subcommand("program", "program each module and verify its answers");
    AddCommon(*program, state->common);
    AddSettings(*program, state->settings, "position from 1");
    program->add_flag("--no-verify", state->noVerify, "send as the windows do and report only what was sent");
    program->add_option("--ledger", state->ledger,
                        "record each module in this ledger (.csv or .jsonl); {n} continues from its numbers")
        ->type_name("FILE");
    AddOnResult(*program, state->onResult)->needs("--ledger");
    AddUnattendedOptions(*program, state->unattended, false);
    return {program, [state, &out, &err] {
                SettingsInput input;
                PairingPlan pairing;
                if (!PortListUsable(state->common.ports, err) || !Settle(state->settings, input, err) ||
                    !SettleUnattended(state->unattended, true, state->common.ports, input, pairing, err))
                    return Finish(kExitUsage, out, err); // a stop at the PIN's prompt is a stop
                return Finish(Program(state->common, input, !state->noVerify, state->ledger, state->onResult, pairing,
                                      out, err),
                              out, err);
            }};
}

Command AddStation(CLI::App& app, std::ostream& out, std::ostream& err) {
    struct State {
        StationOptions options;
        SettingsOptions settings;
        bool json = false;
        UnattendedOptions unattended;
    };
    auto state = std::make_shared<State>();
    StationOptions& options = state->options;
    CLI::App* station = app.add_subcommand(
        "station", "wait for modules and program each newly appearing one once, keeping a ledger");
    AddSettings(*station, state->settings, "the ledger's next number");
    station->add_option("--ledger", options.ledgerPath, "the ledger, .csv or .jsonl, shared by stations")
        ->required()
        ->type_name("FILE");
    station->add_option("--watch-dir", options.watchDir, "watch this folder instead of /dev (links to ttys)")
        ->type_name("FOLDER");
    station->add_flag("--bluetooth", options.bluetooth, "also modules offering the serial port over Bluetooth");
    station->add_flag("--include-present", options.includePresent, "program the ports there at the start too");
    station->add_flag("--skip-done", options.skipDone,
                      "leave out a module the ledger already has as programmed (by address, else by name)");
    station->add_option("--once", options.once, "stop after this many modules (1 or more)")
        ->check(CLI::PositiveNumber.description(""))
        ->type_name("N");
    station->add_flag("--json", state->json, "one JSON object per event on stdout");
    AddOnResult(*station, options.onResult);
    AddUnattendedOptions(*station, state->unattended, true);
    return {station, [state, &out, &err] {
                StationOptions& options = state->options;
                if (!Settle(state->settings, options.input, err) ||
                    !SettleUnattended(state->unattended, options.bluetooth, {}, options.input, options.pairing, err))
                    return Finish(kExitUsage, out, err);
                // Checked once before waiting: a bad PIN or label would fail every module; a name too
                // long for a port or a number is refused for that module alone.
                MODULE_SETTINGS sample;
                std::string error;
                if (!BuildSettings(options.input, "com1", 1, sample, error)) {
                    err << "zk405-cli: " << EscapeControls(error) << "; nothing was sent\n";
                    return kExitUsage;
                }
                options.bluetoothSource = provisioning::BluetoothSourceFor(state->unattended);
                StationConsole console(out, err, state->json, !state->json && ColourWanted(out));
                const std::unique_ptr<TerminalProgress> progress = ProgressOn(err, false, state->json);
                StationProgress shown(console, *progress, out, state->json);
                const ExitStatus status = RunStation(options, shown, error);
                progress->Stop();
                if (!error.empty() && (status == kExitUsage || status == kExitLedger))
                    err << "zk405-cli: " << EscapeControls(error) << "; nothing was sent\n";
                // The station words its own stop: it ends with 128 + the signal only when cut short.
                return Finish(status, out, err, false);
            }};
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

} // namespace

ExitStatus Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CLI::App app{"Reads, programs and verifies ZK405 Bluetooth modules on serial ports, many at once.", "zk405-cli"};
    app.set_version_flag("-V,--version", "zk405-cli " ZK405_VERSION_STRING);
    app.require_subcommand(1);
    WordUsageErrors(app);
    const Command commands[] = {AddList(app, out, err),    AddScan(app, out, err),    AddPair(app, out, err),
                                AddUnpair(app, out, err),  AddName(app, out, err),    AddProgram(app, out, err),
                                AddStation(app, out, err), AddLedger(app, out, err),  AddHelp(app, out, err)};
    DescribeCommands(app);
    if (RefusedAsNoCommand(app, args, err))
        return kExitUsage;

    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    if (const std::optional<int> status = tool_options::Parse(app, static_cast<int>(argv.size()), argv.data(), out, err))
        return static_cast<ExitStatus>(*status);
    for (const Command& command : commands)
        if (command.app->parsed())
            return command.run();
    return kExitUsage; // require_subcommand(1) leaves no other way
}

} // namespace zk405_cli
