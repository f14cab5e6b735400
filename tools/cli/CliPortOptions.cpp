#include "CliPortOptions.h"

#include "CliPin.h"
#include "CliReport.h"
#include "EscapedText.h"
#include "LogNames.h"

namespace zk405_cli {

void AddCommon(CLI::App& command, Common& common) {
    command.add_option("ports", common.ports, "ports, e.g. com5 com6 (or device paths)")->required()->type_name("PORT");
    command.add_flag("--json", common.json, "one JSON object per port on stdout");
    command.add_flag("--quiet", common.quiet, "print only errors");
    command.add_flag("--fixed-wait", common.fixedWait, "wait the full second for every reply, as the windows do");
}

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

std::vector<PortResult> RunAll(std::vector<PortTask> tasks, const Common& common, TerminalProgress& progress,
                               std::ostream& out, std::ostream& err, const PortRunner& runner) {
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

} // namespace zk405_cli
