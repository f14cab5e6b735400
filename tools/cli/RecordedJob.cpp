#include "RecordedJob.h"

#include "Bluetooth.h"
#include "PortInfo.h"
#include "Cp1250.h"
#include "StationConsole.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>

namespace zk405_cli {

namespace {

// The settings that went out, by the steps the module was sent: names only, never a value.
std::vector<std::string> SettingsSent(const PortResult& port) {
    std::vector<std::string> sent;
    for (const StepResult& step : port.steps)
        if (step.step == StepKind::Name || step.step == StepKind::Pin || step.step == StepKind::Flow ||
            step.step == StepKind::Auth)
            sent.push_back(StepKindName(step.step));
    return sent;
}

std::vector<std::string> SettingsPlanned(const SettingsInput& input) {
    std::vector<std::string> planned;
    if (input.name)
        planned.push_back(StepKindName(StepKind::Name));
    if (input.pin)
        planned.push_back(StepKindName(StepKind::Pin));
    if (input.flow)
        planned.push_back(StepKindName(StepKind::Flow));
    if (input.auth)
        planned.push_back(StepKindName(StepKind::Auth));
    return planned;
}

} // namespace

// What list shows for the port, and the module's address where the port's facts hold it.
port_info::PortInfo DescribedPort(const std::string& port) {
    return port_info::DescribePort(port, bluetooth::DeviceName);
}

std::string NewAttemptId() {
    static std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(),
                           static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())};
        return std::mt19937_64(seed);
    }();
    static std::mutex lock;
    const std::lock_guard<std::mutex> guard(lock);
    char id[20];
    std::snprintf(id, sizeof id, "%016llx", static_cast<unsigned long long>(generator()));
    return id;
}

const char* ResultWord(const PortResult& port) {
    if (port.skipped)
        return "SKIPPED";
    if (port.status != kExitOk)
        return "FAILED";
    // Sent without looking at the answers (--no-verify): done, but nobody can say it was programmed.
    for (const StepResult& step : port.steps)
        if (step.outcome == Outcome::Sent)
            return "SENT";
    return "PROGRAMMED";
}

RecordedResult RunRecorded(Ledger& ledger, const RecordedTask& task, const StepReport& report,
                           const std::function<void(const RecordedResult&)>& started) {
    RecordedResult recorded;
    recorded.attempt = NewAttemptId();
    LedgerRecord record;
    record.station = station_console::HostName();
    record.attempt = recorded.attempt;
    record.port = task.port;
    const port_info::PortInfo described = DescribedPort(task.port);
    record.device = described.description;
    record.bluetooth = task.bluetooth.empty() && described.address ? *described.address : task.bluetooth;

    PortTask job;
    job.port = task.port;
    job.position = 0;
    job.logFile = task.logFile;
    job.program = true;
    job.verify = task.verify;
    job.replyDriven = task.replyDriven;
    job.beforeProgram = [&](const PortResult& port, MODULE_SETTINGS& settings) {
        using Go = BeforeProgramDecision::Go;
        record.nameBefore = cp1250::Cp1250ToUtf8(port.nameBefore);
        std::string error;
        if (task.skipDone) {
            bool programmed = false;
            if (!ledger.WasProgrammed(task.bluetooth, record.nameBefore, programmed, error)) {
                recorded.ledgerFailed = true;
                recorded.ledgerError = error;
                return BeforeProgramDecision{Go::Stop, kExitLedger, "the ledger: " + error};
            }
            if (programmed)
                return BeforeProgramDecision{Go::Skip, kExitOk, "already programmed (the ledger has it)"};
        }
        record.settings = SettingsPlanned(task.input);
        record.time = LedgerTime();
        std::string nameError;
        const auto nameFor = [&](long n, std::string& name, std::string& why) {
            if (!BuildSettings(task.input, task.port, static_cast<size_t>(n), settings, why)) {
                nameError = why;
                return false;
            }
            name = task.input.name ? cp1250::Cp1250ToUtf8(settings.name) : "";
            return true;
        };
        if (!ledger.Start(record, nameFor, error)) {
            if (!nameError.empty())
                return BeforeProgramDecision{Go::Stop, kExitUsage, nameError + "; nothing was sent"};
            recorded.ledgerFailed = true;
            recorded.ledgerError = error;
            return BeforeProgramDecision{Go::Stop, kExitLedger, "the ledger: " + error + "; nothing was sent"};
        }
        recorded.n = record.n;
        recorded.nameAfter = record.nameAfter;
        if (started)
            started(recorded);
        return BeforeProgramDecision{};
    };
    recorded.port = RunPort(job, report);

    const PortResult& port = recorded.port;
    if (recorded.ledgerFailed)
        return recorded; // nothing more can be written there
    record.time = LedgerTime();
    record.event = port.skipped ? kLedgerSkipped : port.status == kExitOk ? kLedgerDone : kLedgerFailed;
    record.nameBefore = cp1250::Cp1250ToUtf8(port.nameBefore);
    record.settings = SettingsSent(port);
    record.result = ResultWord(port);
    record.status = port.status;
    record.message = port.message;
    record.seconds = port.seconds;
    std::string error;
    if (!ledger.Append(record, error)) {
        recorded.ledgerFailed = true;
        recorded.ledgerError = error;
    }
    return recorded;
}

} // namespace zk405_cli
