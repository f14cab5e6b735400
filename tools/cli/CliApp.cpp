#include "CliApp.h"

#include "Bluetooth.h"
#include "BluetoothSource.h"
#include "CliOptions.h"
#include "CliPlatform.h"
#include "CliReport.h"
#include "CliScan.h"
#include "Cp1250.h"
#include "DeviceIdentity.h"
#include "EscapedText.h"
#include "LedgerReport.h"
#include "PortJob.h"
#include "PortInfo.h"
#include "PortNameText.h"
#include "PortNames.h"
#include "PortProbe.h"
#include "RecordedJob.h"
#include "SerialPort.h"
#include "Station.h"
#include "StationConsole.h"
#include "StopSignal.h"
#include "ToolOptions.h"
#include "ZK405Version.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

namespace zk405_cli {

namespace {

constexpr const char* kExitStatuses =
    "Exit status:\n"
    "  0  every selected setting confirmed on every port (name: every name read)\n"
    "  1  bad usage or input; nothing was sent\n"
    "  2  a port could not be opened (missing, busy, no permission, no Bluetooth link) or worked: its\n"
    "     line is stuck (a command did not go out within 2 s: flow control held), or no thread or\n"
    "     memory for it; for scan: Bluetooth cannot be used (BlueZ not running, no adapter, adapter off)\n"
    "  3  a module stayed silent, or the Bluetooth link to it dropped\n"
    "  4  a module refused or did not confirm a setting, or its name read back differs\n"
    "  5  every port ended well, but the report could not be written (a full disk, a closed pipe)\n"
    "  6  an unexpected failure ended the program; its ports were closed\n"
    "  7  the ledger could not be read or written (the run stopped there)\n"
    "  128+N  stopped by signal N (130 Ctrl+C, 143 SIGTERM, 129 SIGHUP): the exchange under way was\n"
    "     ended, every port closed, and the report tells what each port reached; a station\n"
    "     finishes the modules under way and ends so only when --once modules were not done\n"
    "When ports end differently, the lowest of 2, 3 and 4 is reported.";

struct Common {
    std::vector<std::string> ports;
    bool json = false;
    bool quiet = false;
    bool fixedWait = false;
};

void AddCommon(CLI::App& command, Common& common) {
    command.add_option("ports", common.ports, "ports, e.g. com5 com6 (or device paths)")->required();
    command.add_flag("--json", common.json, "one JSON object per port on stdout");
    command.add_flag("--quiet", common.quiet, "print only errors");
    command.add_flag("--fixed-wait", common.fixedWait, "wait the full second for every reply, as the windows do");
}

// Two names of one device would be programmed once each, one of them failing as busy: they are
// compared by the device they reach (a link, a doubled slash, a com name and its device file).
bool SamePort(const std::string& a, const std::string& b) {
    std::string addressA, addressB;
    if (bluetooth::AddressOfPortName(a.c_str(), addressA) && bluetooth::AddressOfPortName(b.c_str(), addressB))
        return addressA == addressB;
    const int number = port_names::ComNumber(a.c_str());
    return a == b || (number != 0 && number == port_names::ComNumber(b.c_str())) ||
           device_identity::IdentityOf(PortNameFromUtf8(a)) == device_identity::IdentityOf(PortNameFromUtf8(b));
}

bool Duplicated(const std::vector<std::string>& ports, std::string& error) {
    for (size_t i = 0; i < ports.size(); ++i)
        for (size_t j = i + 1; j < ports.size(); ++j)
            if (SamePort(ports[i], ports[j])) {
                error = "the port " + ports[j] + " is named twice";
                return true;
            }
    return false;
}

// The status once the output is written: a stop signal's above all, then a report that could not be
// written where everything else went well. Closed pipes do not end the program (SIGPIPE is ignored):
// the ports' work always runs to its end, and only here does a failed write count.
ExitStatus Finish(ExitStatus status, bool reportOnErr, std::ostream& out, std::ostream& err) {
    const bool outWritten = static_cast<bool>(out.flush());
    const bool errWritten = static_cast<bool>(err.flush());
    if (StopRequested())
        return static_cast<ExitStatus>(kExitSignalBase + StopSignalNumber());
    if (status == kExitOk && (!outWritten || (reportOnErr && !errWritten))) {
        err << "zk405-cli: the report could not be written" << std::endl;
        return kExitReportLost;
    }
    return status;
}

nlohmann::json OrNull(const std::optional<std::string>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

struct ListedPort {
    port_info::PortInfo info;
    bool openable = true;
    serial_result::OpenFailure failure; // why it cannot be opened now
};

nlohmann::json ToJson(const ListedPort& port, bool all) {
    const port_info::PortInfo& info = port.info;
    const char* direction = port_info::DirectionName(info.direction);
    nlohmann::json object = {{"port", info.name},
                             {"device", info.device},
                             {"kind", port_info::KindName(info.kind)},
                             {"description", info.description},
                             {"address", OrNull(info.address)},
                             {"remote_name", OrNull(info.remoteName)},
                             {"direction", direction ? nlohmann::json(direction) : nlohmann::json(nullptr)}};
    if (all) {
        object["openable"] = port.openable;
        if (!port.openable) {
            object["reason"] = serial_result::OpenReasonName(port.failure.reason);
            object["message"] = serial_result::DescribeOpenFailure(port.failure);
        }
    }
    return object;
}

// The ports the port window offers, each with what it is; with all, also the ports that exist but
// cannot be opened now, with the reason. Sorted as text, as the port window's list shows them: com10
// before com2.
ExitStatus List(bool json, bool all, const port_info::RemoteNameLookup& remoteNames, std::ostream& out) {
    std::vector<ListedPort> ports;
    for (int number = port_names::kFirstPort; number <= port_names::kLastPort; ++number) {
        const std::string name = port_names::ComName(number);
        ListedPort port;
        port.openable = port_probe::CanOpen(name, port.failure);
        if (!port.openable && (!all || port.failure.reason == serial_result::OpenReason::kMissing))
            continue;
        port.info = port_info::DescribePort(name, remoteNames);
        // Every possible ttyS has a device file; only the ones with a UART behind them are ports.
        if (!port.openable && !port.info.present)
            continue;
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(),
              [](const ListedPort& a, const ListedPort& b) { return a.info.name < b.info.name; });
    for (const ListedPort& port : ports) {
        if (json) {
            out << JsonLine(ToJson(port, all)) << "\n";
            continue;
        }
        out << port.info.name << "\t" << port.info.device << "\t" << port_info::KindName(port.info.kind) << "\t"
            << port.info.description;
        if (!port.openable)
            out << "\tcannot be opened: " << serial_result::DescribeOpenFailure(port.failure);
        out << "\n";
    }
    return kExitOk;
}

// What runs one task: RunPort, or RunPort with the ledger keeping count.
using PortRunner = std::function<void(const PortTask&, const StepReport&, PortResult&)>;

void RunPlain(const PortTask& task, const StepReport& report, PortResult& result) {
    RunPort(task, report, result);
}

// Runs every task on a thread of its own and reports as the steps finish.
std::vector<PortResult> RunAll(const std::vector<PortTask>& tasks, const Common& common, std::ostream& out,
                               std::ostream& err, const PortRunner& runner = RunPlain) {
    std::mutex outputLock;
    const StepReport report = [&](const PortResult& port, const StepResult& step) {
        const bool failed = step.outcome != Outcome::Confirmed && step.outcome != Outcome::Sent &&
                            step.outcome != Outcome::NameFound;
        if (common.quiet && !failed)
            return;
        const std::lock_guard<std::mutex> lock(outputLock);
        err << ProgressLine(port, step) << std::endl;
    };
    std::vector<PortResult> results(tasks.size());
    // Marks a port failed for a reason of the process (no thread, no memory). Even the message may
    // find no memory: the status alone is then kept.
    const auto failed = [&](size_t i, const char* why, const char* detail) noexcept {
        PortResult& result = results[i];
        result.status = kExitNotOpened;
        try {
            result.port = tasks[i].port;
            result.position = tasks[i].position;
            result.device = cli_platform::DeviceOf(tasks[i].port);
            result.message = std::string(why) + " (" + detail + ")";
            if (!result.steps.empty())
                result.message += " after " + std::to_string(result.steps.size()) + " steps";
            const std::lock_guard<std::mutex> lock(outputLock);
            err << EscapeControls(result.port) << ": " << result.message << std::endl;
        } catch (...) {
        }
    };
    // Made before the threads and ended after they are joined: their opens share one look for holders.
    const CSerialPort::SharedHolderSearch search(static_cast<unsigned>(tasks.size()));
    std::vector<std::thread> threads;
    // Whatever ends this function, no job is left running (a joinable thread's end would abort).
    const std::unique_ptr<std::vector<std::thread>, void (*)(std::vector<std::thread>*)> joiner(
        &threads, [](std::vector<std::thread>* all) {
            for (std::thread& thread : *all)
                if (thread.joinable())
                    thread.join();
        });
    threads.reserve(tasks.size());
    for (size_t i = 0; i < tasks.size(); ++i) {
        try {
            threads.emplace_back([&, i] {
                // A job that fails on its own (no memory) has closed its port on the way out.
                try {
                    runner(tasks[i], report, results[i]);
                    if (results[i].status == kExitNotOpened) {
                        const std::lock_guard<std::mutex> lock(outputLock);
                        err << EscapeControls(results[i].port) << ": " << EscapeControls(results[i].message)
                            << std::endl;
                    }
                } catch (const std::bad_alloc&) {
                    failed(i, "failed", "out of memory");
                } catch (const std::exception& e) {
                    failed(i, "failed", e.what());
                }
            });
        } catch (const std::system_error& e) {
            // No thread (a process limit): this port is not touched, the others go on.
            failed(i, "cannot start: no thread for the port", e.what());
        }
    }
    for (std::thread& thread : threads)
        thread.join();

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
    const std::vector<PortResult> results = RunAll(Tasks(common), common, out, err);
    for (const PortResult& result : results) {
        if (result.status == kExitSilent)
            err << EscapeControls(result.port) << ": " << result.message << "\n";
        else if (result.status == kExitOk && !common.json)
            out << EscapeControls(result.port) << "\t" << EscapeControls(cp1250::Cp1250ToUtf8(result.name)) << "\n";
    }
    return OverallStatus(results);
}

ExitStatus Program(const Common& common, const SettingsInput& options, const std::string& presetPath,
                   bool verify, const std::string& ledgerPath, std::ostream& out, std::ostream& err) {
    SettingsInput preset;
    std::string error;
    if (!presetPath.empty() && !ReadPreset(presetPath, preset, error)) {
        err << "zk405-cli: " << error << "; nothing was sent\n";
        return kExitUsage;
    }
    const SettingsInput input = Merge(preset, options);
    if (IsEmpty(input)) {
        err << "zk405-cli: nothing to program: give --name, --pin, --flow, --auth or a --preset\n";
        return kExitUsage;
    }
    std::vector<PortTask> tasks = Tasks(common);
    for (PortTask& task : tasks) {
        task.program = true;
        task.verify = verify;
        if (!BuildSettings(input, task.port, task.position, task.settings, error)) {
            err << "zk405-cli: " << EscapeControls(task.port) << ": " << EscapeControls(error) << "; nothing was sent\n";
            return kExitUsage;
        }
    }
    // With a ledger {n} is the ledger's next number, taken as each module starts.
    Ledger ledger;
    if (!ledgerPath.empty() && !ledger.Open(ledgerPath, error)) {
        err << "zk405-cli: " << EscapeControls(error) << "; nothing was sent\n";
        return kExitUsage;
    }
    std::atomic<bool> ledgerFailed{false};
    std::mutex ledgerErrorLock;
    const PortRunner recorded = [&](const PortTask& task, const StepReport& report, PortResult& result) {
        const RecordedResult run = RunRecorded(
            ledger, {task.port, "", task.logFile, input, false, task.verify, task.replyDriven}, report, nullptr);
        result = run.port;
        if (run.ledgerFailed) {
            ledgerFailed = true;
            const std::lock_guard<std::mutex> lock(ledgerErrorLock);
            err << "zk405-cli: " << EscapeControls(ledgerPath) << ": " << run.ledgerError << std::endl;
        }
    };
    const std::vector<PortResult> results =
        ledgerPath.empty() ? RunAll(tasks, common, out, err) : RunAll(tasks, common, out, err, recorded);
    if (!common.quiet)
        err << SummaryTable(results);
    else
        for (const PortResult& result : results)
            if (result.status != kExitOk && result.status != kExitNotOpened)
                err << EscapeControls(result.port) << ": " << EscapeControls(result.message) << "\n";
    return ledgerFailed ? kExitLedger : OverallStatus(results);
}

// Colour and the bell only for a person at a terminal: never into a pipe or a file, never with
// NO_COLOR set. Tests hand Run a string stream, which is never a terminal.
bool ColourWanted(const std::ostream& out) {
    const char* noColour = std::getenv("NO_COLOR");
    return &out == &std::cout && (noColour == nullptr || *noColour == '\0') &&
           station_console::StdoutIsColourTerminal();
}

} // namespace

ExitStatus Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CLI::App app{"Reads, programs and verifies ZK405 Bluetooth modules on serial ports, many at once.", "zk405-cli"};
    app.set_version_flag("--version", "zk405-cli " ZK405_VERSION_STRING);
    app.require_subcommand(1);
    app.footer(kExitStatuses);

    bool json = false;
    bool all = false;
    CLI::App* list = app.add_subcommand("list", "the ports that can be opened now, with their devices and what they are");
    list->add_flag("--json", json, "one JSON object per port on stdout");
    list->add_flag("--all", all, "also the ports that exist but cannot be opened now, with the reason");

    int discoverSeconds = 0;
    bool scanJson = false;
    std::string sysfsRoot; // the system's own unless moved
    CLI::App* scan = app.add_subcommand(
        "scan", "the Bluetooth devices offering the Serial Port Profile (paired ones; nearby ones with --discover)");
    scan->add_option("--discover", discoverSeconds, "also look for nearby devices for this many seconds")
        ->check(CLI::Range(0, 600));
    scan->add_flag("--json", scanJson, "one JSON object per device on stdout");
    // Where the bound rfcomm devices are read from; moved only by tests.
    scan->add_option("--sysfs-root", sysfsRoot)->group("");

    Common nameCommon;
    CLI::App* name = app.add_subcommand("name", "read each module's name");
    AddCommon(*name, nameCommon);

    Common programCommon;
    SettingsInput options;
    std::string newName, pin, flow, auth, preset;
    bool noVerify = false;
    CLI::App* program = app.add_subcommand("program", "program each module and verify its answers");
    AddCommon(*program, programCommon);
    CLI::Option* nameOption =
        program->add_option("--name", newName,
                            "the name, at most " + std::to_string(module_commands::kNameMaxChars) +
                                " characters; {port} and {n} (position from 1) are replaced");
    CLI::Option* pinOption = program->add_option(
        "--pin", pin, "the PIN, at most " + std::to_string(module_commands::kPinMaxChars) + " characters");
    CLI::Option* flowOption = program->add_option("--flow", flow, FlowLabelList(" or "));
    CLI::Option* authOption = program->add_option("--auth", auth, AuthWordList(" or ", true));
    program->add_option("--preset", preset, "a file of name=, pin=, flow=, auth= lines; options override it");
    program->add_flag("--no-verify", noVerify, "send as the windows do and report only what was sent");
    std::string programLedger;
    program->add_option("--ledger", programLedger,
                        "record each module in this ledger (.csv or .jsonl); {n} continues from its numbers");

    StationOptions stationOptions;
    std::string stationPreset;
    SettingsInput stationInput;
    CLI::App* station = app.add_subcommand(
        "station", "wait for modules and program each newly appearing one once, keeping a ledger");
    std::string stationName, stationPin, stationFlow, stationAuth;
    CLI::Option* stationNameOption =
        station->add_option("--name", stationName,
                            "the name, at most " + std::to_string(module_commands::kNameMaxChars) +
                                " characters; {port} and {n} (the ledger's next number) are replaced");
    CLI::Option* stationPinOption = station->add_option(
        "--pin", stationPin, "the PIN, at most " + std::to_string(module_commands::kPinMaxChars) + " characters");
    CLI::Option* stationFlowOption = station->add_option("--flow", stationFlow, FlowLabelList(" or "));
    CLI::Option* stationAuthOption = station->add_option("--auth", stationAuth, AuthWordList(" or ", true));
    station->add_option("--preset", stationPreset, "a file of name=, pin=, flow=, auth= lines; options override it");
    station->add_option("--ledger", stationOptions.ledgerPath, "the ledger, .csv or .jsonl, shared by stations")
        ->required();
    station->add_option("--watch-dir", stationOptions.watchDir, "watch this folder instead of /dev (links to ttys)");
    station->add_flag("--bluetooth", stationOptions.bluetooth, "also modules offering the serial port over Bluetooth");
    station->add_flag("--include-present", stationOptions.includePresent, "program the ports there at the start too");
    station->add_flag("--skip-done", stationOptions.skipDone,
                      "leave out a module the ledger already has as programmed (by address, else by name)");
    station->add_option("--once", stationOptions.once, "stop after this many modules")->check(CLI::PositiveNumber);
    station->add_flag("--json", stationOptions.json, "one JSON object per event on stdout");

    std::string ledgerFile;
    bool ledgerJson = false, ledgerCheck = false;
    CLI::App* ledgerCommand = app.add_subcommand("ledger", "summarize or check a ledger");
    ledgerCommand->add_option("file", ledgerFile, "the ledger, .csv or .jsonl")->required();
    ledgerCommand->add_flag("--json", ledgerJson, "the summary as one JSON object");
    ledgerCommand->add_flag("--check", ledgerCheck, "verify every line is whole and well formed");


    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    if (const std::optional<int> status = tool_options::Parse(app, static_cast<int>(argv.size()), argv.data(), out, err))
        return static_cast<ExitStatus>(*status);

    if (list->parsed())
        return Finish(List(json, all, bluetooth::DeviceName, out), false, out, err);
    if (scan->parsed())
        return Finish(Scan(discoverSeconds, scanJson, sysfsRoot, out, err), false, out, err);
    if (ledgerCommand->parsed())
        return Finish(ledgerCheck ? CheckLedger(ledgerFile, out, err) : SummarizeLedger(ledgerFile, ledgerJson, out, err),
                      false, out, err);
    if (station->parsed()) {
        SettingsInput preset;
        std::string error;
        if (!stationPreset.empty() && !ReadPreset(stationPreset, preset, error)) {
            err << "zk405-cli: " << error << "; nothing was sent\n";
            return kExitUsage;
        }
        if (stationNameOption->count() > 0)
            stationInput.name = stationName;
        if (stationPinOption->count() > 0)
            stationInput.pin = stationPin;
        if (stationFlowOption->count() > 0)
            stationInput.flow = stationFlow;
        if (stationAuthOption->count() > 0)
            stationInput.auth = stationAuth;
        stationOptions.input = Merge(preset, stationInput);
        MODULE_SETTINGS sample;
        if (IsEmpty(stationOptions.input)) {
            err << "zk405-cli: nothing to program: give --name, --pin, --flow, --auth or a --preset\n";
            return kExitUsage;
        }
        // Checked once before waiting: a bad PIN or label would fail every module; a name too long
        // for a port or a number is refused for that module alone.
        if (!BuildSettings(stationOptions.input, "com1", 1, sample, error)) {
            err << "zk405-cli: " << error << "; nothing was sent\n";
            return kExitUsage;
        }
        stationOptions.colour = !stationOptions.json && ColourWanted(out);
        stationOptions.bluetoothSource = MakeBluetoothSource;
        return Finish(RunStation(stationOptions, out, err), false, out, err);
    }
    Common& common = name->parsed() ? nameCommon : programCommon;
    std::string error;
    if (Duplicated(common.ports, error)) {
        err << "zk405-cli: " << error << "; nothing was sent\n";
        return kExitUsage;
    }
    if (name->parsed())
        return Finish(ReadNames(common, out, err), false, out, err);

    if (nameOption->count() > 0)
        options.name = newName;
    if (pinOption->count() > 0)
        options.pin = pin;
    if (flowOption->count() > 0)
        options.flow = flow;
    if (authOption->count() > 0)
        options.auth = auth;
    return Finish(Program(common, options, preset, !noVerify, programLedger, out, err), !common.json, out, err);
}

} // namespace zk405_cli
