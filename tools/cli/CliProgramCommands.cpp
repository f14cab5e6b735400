#include "CliCommands.h"

#include "AfterResult.h"
#include "CliOutput.h"
#include "CliPortOptions.h"
#include "CliPorts.h"
#include "CliReport.h"
#include "CliUnattended.h"
#include "Cp1250.h"
#include "EscapedText.h"
#include "LedgerReport.h"
#include "PairingSteps.h"
#include "RecordedJob.h"
#include "TranscriptFile.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace zk405_cli {

namespace {

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

} // namespace

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

} // namespace zk405_cli
