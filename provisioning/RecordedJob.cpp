#include "RecordedJob.h"

#include "Bluetooth.h"
#include "Cp1250.h"
#include "HostFacts.h"
#include "PortInfo.h"
#include "TranscriptFile.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <random>

namespace provisioning {

namespace {

using Go = BeforeProgramDecision::Go;

// The settings that went out, by the steps the module was sent: names only, never a value.
std::vector<std::string> SettingsSent(const PortResult& port) {
    std::vector<std::string> sent;
    for (const StepResult& step : port.steps)
        if (IsSetting(step.step))
            sent.push_back(StepKindName(step.step));
    return sent;
}

std::vector<std::string> SettingsPlanned(const SettingsInput& input) {
    std::vector<std::string> planned;
    const std::pair<bool, StepKind> settings[] = {
        {input.name.has_value(), StepKind::Name},
        {input.pin.has_value(), StepKind::Pin},
        {input.flow.has_value(), StepKind::Flow},
        {input.auth.has_value(), StepKind::Auth},
    };
    for (const auto& [given, kind] : settings)
        if (given)
            planned.push_back(StepKindName(kind));
    return planned;
}

// Names the record that made the attempt skip, so that the bench can find it in the ledger.
std::string SkipMessage(const LedgerModule& programmed) {
    std::string message = "already programmed as #";
    message.append(std::to_string(programmed.n));
    if (!programmed.name.empty())
        message.append(" (").append(programmed.name).append(")");
    return message;
}

// One numbered attempt: the record it keeps, and the decision its job asks for once the name is read.
class RecordedAttempt {
public:
    RecordedAttempt(Ledger& ledger, const RecordedTask& task, const std::function<void(const RecordedResult&)>& started)
        : m_ledger(ledger), m_task(task), m_started(started) {
        m_recorded.attempt = NewAttemptId();
        m_record.station = host_facts::HostName();
        m_record.attempt = m_recorded.attempt;
        m_record.port = task.port;
        // What list shows for the port, and the module's address where the port's facts hold it.
        const port_info::PortInfo described = port_info::DescribePort(task.port, bluetooth::DeviceName);
        m_record.device = described.description;
        m_record.bluetooth = task.bluetooth.empty() && described.address ? *described.address : task.bluetooth;
    }

    RecordedResult Run(const StepReport& report) {
        PortTask job;
        job.port = m_task.port;
        job.logFile = m_task.logFile;
        job.program = true;
        job.verify = m_task.verify;
        job.replyDriven = m_task.replyDriven;
        job.stopRequested = m_task.stopRequested;
        job.starting = m_task.starting;
        if (!m_task.transcriptDir.empty())
            job.traffic = &m_transcript;
        job.beforeProgram = [this](const PortResult& port, MODULE_SETTINGS& settings) {
            return BeforeProgram(port, settings);
        };
        PairingSteps pairing(m_task.pairing, m_task.input, m_task.port, m_task.starting);
        if (!SkippedBeforePairing(pairing) && pairing.Before(m_recorded.port)) {
            m_recorded.port = RunPort(job, report);
            pairing.After(m_recorded.port, [&job] { return ReadNameOnce(job); });
        }
        m_record.steps = pairing.Taken();
        if (!m_recorded.ledgerFailed) // otherwise nothing more can be written there
            RecordResult();
        m_transcript.Close();
        return m_recorded;
    }

private:
    BeforeProgramDecision LedgerBroken(const std::string& error, const char* after) {
        m_recorded.ledgerFailed = true;
        m_recorded.ledgerError = error;
        return {Go::Stop, kExitLedger, "the ledger: " + error + after};
    }

    // A module done before is known by its address without its name, so one about to be paired is
    // left alone before it is: a skip that bonded first would leave a bond, or ask a person's agent.
    bool SkippedBeforePairing(const PairingSteps& pairing) {
        if (!m_task.skipDone || !pairing.Pairs() || m_record.bluetooth.empty())
            return false;
        std::optional<LedgerModule> programmed;
        std::string error;
        PortResult& port = m_recorded.port;
        port.port = m_task.port;
        if (!m_ledger.WasProgrammed(m_record.bluetooth, "", programmed, error)) {
            const BeforeProgramDecision broken = LedgerBroken(error, "; nothing was sent");
            port.status = broken.status;
            port.message = broken.message;
            return true;
        }
        if (!programmed)
            return false;
        port.skipped = true;
        port.message = SkipMessage(*programmed);
        return true;
    }

    BeforeProgramDecision BeforeProgram(const PortResult& port, MODULE_SETTINGS& settings) {
        m_record.nameBefore = cp1250::Cp1250ToUtf8(port.nameBefore);
        std::string error;
        if (m_task.skipDone) {
            // By the address the record keeps, which the port's facts give where the source does not.
            std::optional<LedgerModule> programmed;
            if (!m_ledger.WasProgrammed(m_record.bluetooth, m_record.nameBefore, programmed, error))
                return LedgerBroken(error, "");
            if (programmed)
                return {Go::Skip, kExitOk, SkipMessage(*programmed)};
        }
        m_record.settings = SettingsPlanned(m_task.input);
        m_record.time = LedgerTime();
        std::string nameError;
        const auto nameFor = [&](std::int64_t n, std::string& name, std::string& why) {
            if (!BuildSettings(m_task.input, m_task.port, static_cast<size_t>(n), settings, why)) {
                nameError = why;
                return false;
            }
            name = m_task.input.name ? cp1250::Cp1250ToUtf8(settings.name) : "";
            // Named in the "started" record already, once it is there: a station killed half-way leaves
            // its file found.
            NameTranscript(n);
            OpenTranscript();
            return true;
        };
        if (!m_ledger.Start(m_record, nameFor, error)) {
            if (!nameError.empty())
                return {Go::Stop, kExitUsage, nameError + "; nothing was sent"};
            return LedgerBroken(error, "; nothing was sent");
        }
        m_recorded.n = m_record.n;
        m_recorded.nameAfter = m_record.nameAfter;
        m_recorded.time = m_record.time;
        // The job fills the result in only at its end; the start is told from what is known by now.
        m_recorded.port.port = m_task.port;
        m_recorded.port.nameBefore = port.nameBefore;
        if (m_started)
            m_started(m_recorded);
        return {};
    }

    void RecordResult() {
        const PortResult& port = m_recorded.port;
        const VerdictWords& words = WordsOf(VerdictOf(port));
        m_record.time = LedgerTime();
        m_record.event = words.result;
        m_record.nameBefore = cp1250::Cp1250ToUtf8(port.nameBefore);
        m_record.settings = SettingsSent(port);
        m_record.result = words.result;
        m_record.failure = words.failure;
        m_record.status = port.status;
        m_record.message = port.message;
        m_record.seconds = port.seconds;
        if (m_transcriptPath.empty()) // an attempt that took no number has its transcript too
            NameTranscript(0);
        OpenTranscript();
        std::string error;
        if (!m_ledger.Append(m_record, error)) {
            m_recorded.ledgerFailed = true;
            m_recorded.ledgerError = error;
            return;
        }
        RunResultCommand();
    }

    // The file's name for the number taken, and the record's reference to it from the ledger's folder.
    void NameTranscript(std::int64_t n) {
        std::string folder = m_task.transcriptDir;
        while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\'))
            folder.pop_back(); // a folder given with a separator at its end
        if (folder.empty())
            return;
        const size_t slash = folder.find_last_of("/\\");
        const std::string file = TranscriptFileName(n, m_record.bluetooth, m_record.port, m_record.attempt);
        m_record.transcript = folder.substr(slash == std::string::npos ? 0 : slash + 1) + "/" + file;
        m_transcriptFolder = folder;
        m_transcriptPath = folder + "/" + file;
    }

    // A transcript that cannot be kept is told, and the module's work goes on without it.
    void OpenTranscript() {
        if (m_transcriptPath.empty() || m_transcript.IsOpen() || !m_recorded.transcriptError.empty())
            return;
        std::string error;
        if (ledger_file::MakePrivateFolder(m_transcriptFolder, error) && m_transcript.Open(m_transcriptPath, error)) {
            m_recorded.transcript = m_transcriptPath;
            return;
        }
        m_recorded.transcriptError = error;
        m_record.transcript.clear();
    }

    // After the record is written, so the command finds it in the ledger; its failure is the
    // command's, told beside the result and kept in the transcript, and never the module's.
    void RunResultCommand() {
        if (m_task.onResult.command.empty())
            return;
        const std::string line = FormatRecord(m_record, LedgerFormat::JsonLines);
        m_recorded.onResult = provisioning::RunResultCommand(
            m_task.onResult, line, ResultEnvironment(m_record, m_ledger.Path(), m_recorded.transcript));
        m_recorded.onResultText = DescribeRun(m_recorded.onResult, m_task.onResult);
        m_transcript.Note("Result command: " + m_recorded.onResultText);
    }

    Ledger& m_ledger;
    const RecordedTask& m_task;
    const std::function<void(const RecordedResult&)>& m_started;
    RecordedResult m_recorded;
    LedgerRecord m_record;
    Transcript m_transcript;
    std::string m_transcriptFolder;
    std::string m_transcriptPath;
};

} // namespace

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

RecordedResult RunRecorded(Ledger& ledger, const RecordedTask& task, const StepReport& report,
                           const std::function<void(const RecordedResult&)>& started) {
    return RecordedAttempt(ledger, task, started).Run(report);
}

} // namespace provisioning
