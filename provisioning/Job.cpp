#include "Job.h"

#include "HostFacts.h"
#include "PortNameText.h"
#include "SerialPort.h"
#include "StopSignal.h"

#include <algorithm>
#include <chrono>

namespace provisioning {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// What was sent in a step, in the words of a person at the bench: the reports' step names ("name
// before") are the tool's own and say nothing to them.
std::string SentInStep(StepKind kind) {
    if (IsSetting(kind))
        return std::string("the ") + StepKindName(kind) + " command";
    return kind == StepKind::NameReadBack ? "the question for its new name" : "the question for its name";
}

ExitStatus StatusOf(const std::vector<StepResult>& steps, std::string& message) {
    ExitStatus status = kExitOk;
    for (const StepResult& step : steps) {
        if (step.outcome == Outcome::LinkLost) {
            message = "the link to the module dropped at " + SentInStep(step.step);
            return kExitSilent;
        }
        if (step.outcome == Outcome::Stuck) {
            message = "the line is stuck: " + SentInStep(step.step) + " did not go out within " +
                      std::to_string(CSerialPort::kWriteBoundMs / 1000) + " s (flow control held?)";
            return kExitNotOpened;
        }
        if (step.outcome == Outcome::Silent) {
            message = "the module did not answer " + SentInStep(step.step);
            return kExitSilent;
        }
        if (status == kExitOk && (step.outcome == Outcome::Refused || step.outcome == Outcome::Unconfirmed)) {
            status = kExitNotConfirmed;
            if (step.step == StepKind::NameReadBack)
                message = "the name read back differs from the name sent";
            else
                message = std::string("the module ") +
                          (step.outcome == Outcome::Refused ? "refused" : "did not confirm") + " the " +
                          StepKindName(step.step);
        }
    }
    return status;
}

StepKind StepKindOf(module_commands::SettingItem item) {
    switch (item) {
    case module_commands::SettingItem::Name:
        return StepKind::Name;
    case module_commands::SettingItem::Pin:
        return StepKind::Pin;
    case module_commands::SettingItem::Flow:
        return StepKind::Flow;
    case module_commands::SettingItem::Auth:
        break;
    }
    return StepKind::Auth;
}

bool AnyStep(const PortResult& port, Outcome outcome) {
    return std::any_of(port.steps.begin(), port.steps.end(),
                       [outcome](const StepResult& step) { return step.outcome == outcome; });
}

// One module's conversation, step by step, with one way out (Finish) however it ends.
class ModuleJob {
public:
    ModuleJob(const PortTask& task, const StepReport& report, PortResult& result)
        : m_task(task), m_report(report), m_result(result),
          m_stop(task.stopRequested ? task.stopRequested : std::function<bool()>(StopRequested)) {}

    void Run() {
        m_result.port = m_task.port;
        m_result.position = m_task.position;
        m_result.device = host_facts::DeviceOf(m_task.port);
        if (m_stop()) {
            m_cut = true;
            return Finish();
        }
        if (!Open())
            return Finish();
        if (!m_task.program) {
            ReadName(StepKind::NameRead, m_result.name);
            return Finish();
        }
        MODULE_SETTINGS settings = m_task.settings;
        if (m_task.beforeProgram) {
            if (!ReadName(StepKind::NameBefore, m_result.nameBefore))
                return Finish();
            if (!Decide(settings))
                return Finish(false);
        }
        Program(settings);
        m_result.status = StatusOf(m_result.steps, m_result.message);
        Finish();
    }

private:
    bool Open() {
        // The name opened as the port window opens it; messages and the log file's name keep the UTF-8.
        const std::string portName = PortNameFromUtf8(m_task.port);
        m_port.SetLogFileName(m_task.logFile);
        m_port.SetMonitorTag(m_task.monitorTag);
        m_port.SetTrafficSink(m_task.traffic);
        Tell(true, StepKind::NameRead, 1, 1);
        if (m_port.Open(portName.c_str(), module_commands::kBaudRate) != serial_result::kOk) {
            m_result.status = kExitNotOpened;
            // Worded from what the open itself found: opening the device again to guess would find
            // another moment's state, and could hold the port from its user.
            const serial_result::OpenFailure& why = m_port.LastOpenFailure();
            m_result.reason = serial_result::OpenReasonName(why.reason);
            m_result.openFailure = why;
            m_result.message = "cannot open: " + serial_result::DescribeOpenFailure(why);
            // An open that a stop cut short (a Bluetooth connection under way) is a stopped run.
            m_cut = m_cut || (why.reason == serial_result::OpenReason::kStopped && m_stop());
            return false;
        }
        m_result.opened = true;
        if (m_port.IsLogging())
            m_result.logFile = m_task.logFile;
        else
            m_result.logProblem = "no log: " + m_task.logFile + " could not be created";
        return true;
    }

    // Every member given, so the windows' global port is not even named here. A stuck line ends the
    // conversation as a stop does: every further command would only wait out the bound again.
    module_commands::CommandLink Link() {
        return {&m_port, module_commands::SleepMilliseconds, m_task.replyDriven, [this] {
                    m_cut = m_cut || m_stop();
                    return m_stuck || m_cut;
                }};
    }

    void Tell(bool opening, StepKind step, int attempt, int of) const {
        if (m_task.starting)
            m_task.starting({m_task.port, m_task.position, opening, step, attempt, of});
    }

    void AddStep(StepResult step) {
        step.seconds = SecondsSince(m_stepStart);
        m_result.steps.push_back(std::move(step));
        if (m_report)
            m_report(m_result, m_result.steps.back());
        m_stepStart = Clock::now();
    }

    // How an exchange that did not end in a reply counts; otherwise when it did.
    Outcome CutShort(const module_commands::Exchange& exchange, Outcome otherwise) {
        m_stuck = m_stuck || !exchange.written;
        // A write to a link the far end closed fails too: that is no held line.
        if (m_port.LinkLost())
            return Outcome::LinkLost;
        if (!exchange.written)
            return Outcome::Stuck;
        if (exchange.stopped)
            return Outcome::Interrupted;
        return otherwise;
    }

    // Asks for the name and records the step; a name not found ends the job with its reason.
    bool ReadName(StepKind what, std::string& name, StepResult* readStep = nullptr) {
        module_commands::Exchange last;
        module_commands::CommandLink link = Link();
        link.attemptStarting = [&](int attempt, int of) { Tell(false, what, attempt, of); };
        const bool found = QueryModuleName(name, link, &last);
        StepResult step{what, std::string(module_commands::kNameQuery) + module_commands::kLineEnd, name,
                        found ? Outcome::NameFound : CutShort(last, Outcome::Silent), 0};
        if (readStep != nullptr) {
            *readStep = step;
            return found;
        }
        AddStep(step);
        if (!found) {
            m_result.status = StatusOf(m_result.steps, m_result.message);
            if (m_result.status == kExitOk) {
                m_result.status = kExitSilent;
                m_result.message = "no name in the module's replies";
            }
        }
        return found;
    }

    bool Decide(MODULE_SETTINGS& settings) {
        const BeforeProgramDecision decision = m_task.beforeProgram(m_result, settings);
        if (decision.go == BeforeProgramDecision::Go::Program)
            return true;
        m_result.skipped = decision.go == BeforeProgramDecision::Go::Skip;
        m_result.status = decision.status;
        m_result.message = decision.message;
        return false;
    }

    void Program(const MODULE_SETTINGS& settings) {
        bool nameConfirmed = false;
        ProgramModule(settings, Link(),
                      [&](module_commands::SettingItem item, const std::string& command,
                          const module_commands::Exchange& exchange) {
                          const Outcome judged = m_task.verify ? JudgeReply(exchange.reply) : Outcome::Sent;
                          const Outcome outcome = judged == Outcome::Confirmed || judged == Outcome::Refused
                                                      ? judged
                                                      : CutShort(exchange, judged);
                          nameConfirmed = nameConfirmed ||
                                          (item == module_commands::SettingItem::Name && outcome == Outcome::Confirmed);
                          AddStep({StepKindOf(item), command, exchange.reply, outcome, 0});
                      },
                      [&](module_commands::SettingItem item) { Tell(false, StepKindOf(item), 1, 1); });
        if (nameConfirmed && !Link().stopRequested())
            ReadBack(settings);
    }

    void ReadBack(const MODULE_SETTINGS& settings) {
        std::string name;
        StepResult step;
        if (ReadName(StepKind::NameReadBack, name, &step))
            step.outcome = name == settings.name ? Outcome::Confirmed : Outcome::Unconfirmed;
        AddStep(step);
    }

    // The one way out: the port closed (its log and lock with it), a stop told as such, the time taken.
    void Finish(bool stopCounts = true) {
        m_port.Close();
        if (stopCounts && m_cut && !m_stuck) {
            m_result.status = static_cast<ExitStatus>(kExitSignalBase + StopSignalNumber());
            m_result.message = StoppedMessage(StopSignalNumber(), m_result.steps.size());
        }
        m_result.seconds = SecondsSince(m_start);
    }

    const PortTask& m_task;
    const StepReport& m_report;
    PortResult& m_result;
    const std::function<bool()> m_stop;
    CSerialPort m_port;
    const Clock::time_point m_start = Clock::now();
    Clock::time_point m_stepStart = Clock::now();
    bool m_stuck = false; // a command did not go out
    bool m_cut = false;   // a stop request was seen while there was still work to do
};

} // namespace

const char* StepKindName(StepKind kind) {
    switch (kind) {
    // The settings are shown by the protocol's own names for them.
    case StepKind::Name:
        return module_commands::SettingItemName(module_commands::SettingItem::Name);
    case StepKind::Pin:
        return module_commands::SettingItemName(module_commands::SettingItem::Pin);
    case StepKind::Flow:
        return module_commands::SettingItemName(module_commands::SettingItem::Flow);
    case StepKind::Auth:
        return module_commands::SettingItemName(module_commands::SettingItem::Auth);
    case StepKind::NameReadBack:
        return "name read back";
    case StepKind::NameRead:
        return "name read";
    case StepKind::NameBefore:
        return "name before";
    }
    return "";
}

bool IsSetting(StepKind kind) {
    return kind == StepKind::Name || kind == StepKind::Pin || kind == StepKind::Flow || kind == StepKind::Auth;
}

Verdict VerdictOf(const PortResult& port) {
    if (port.skipped)
        return Verdict::Skipped;
    if (port.status >= kExitSignalBase)
        return Verdict::Interrupted;
    if (port.pairingFailed != PairingStep::None)
        return port.pairingFailed == PairingStep::Pair ? Verdict::NotPaired : Verdict::PinNotProved;
    switch (port.status) {
    case kExitOk:
        // Sent without looking at the answers (--no-verify): done, but nobody can say it was programmed.
        return AnyStep(port, Outcome::Sent) ? Verdict::Sent : Verdict::Programmed;
    case kExitNotOpened:
        if (!port.opened)
            return Verdict::NotOpened;
        return AnyStep(port, Outcome::Stuck) ? Verdict::LineStuck : Verdict::Failed;
    case kExitSilent:
        return AnyStep(port, Outcome::LinkLost) ? Verdict::LinkLost : Verdict::Silent;
    default:
        return Verdict::NotConfirmed;
    }
}

std::string StoppedMessage(int signalNumber, size_t stepsDone) {
    return "stopped by signal " + std::to_string(signalNumber) + " after " + std::to_string(stepsDone) +
           (stepsDone == 1 ? " step" : " steps");
}

void RunPort(const PortTask& task, const StepReport& report, PortResult& result) {
    ModuleJob(task, report, result).Run();
}

PortResult RunPort(const PortTask& task, const StepReport& report) {
    PortResult result;
    RunPort(task, report, result);
    return result;
}

ExitStatus OverallStatus(const std::vector<PortResult>& ports) {
    ExitStatus status = kExitOk;
    for (const PortResult& port : ports)
        if (port.status != kExitOk && (status == kExitOk || port.status < status))
            status = port.status;
    return status;
}

std::string ReportedCommand(const StepResult& step) {
    if (step.step != StepKind::Pin)
        return step.command;
    const size_t equals = step.command.find('=');
    if (equals == std::string::npos)
        return step.command;
    const size_t end = step.command.find('\r', equals);
    return step.command.substr(0, equals + 1) + "****" + (end == std::string::npos ? "" : step.command.substr(end));
}

} // namespace provisioning
