#include "PortJob.h"

#include "CliOptions.h"
#include "CliPlatform.h"
#include "PortNameText.h"
#include "SerialPort.h"
#include "StopSignal.h"

#include <algorithm>
#include <cctype>
#include <chrono>

namespace zk405_cli {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

ExitStatus StatusOf(const std::vector<StepResult>& steps, std::string& message) {
    ExitStatus status = kExitOk;
    for (const StepResult& step : steps) {
        if (step.outcome == Outcome::LinkLost) {
            message = std::string("the link to the module dropped (") + StepKindName(step.step) + ")";
            return kExitSilent;
        }
        if (step.outcome == Outcome::Stuck) {
            message = std::string("the line is stuck: the ") + StepKindName(step.step) + " command did not go out within " +
                      std::to_string(CSerialPort::kWriteBoundMs / 1000) + " s (flow control held?)";
            return kExitNotOpened;
        }
        if (step.outcome == Outcome::Silent) {
            message = std::string("the module did not answer (") + StepKindName(step.step) + ")";
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

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Confirmed:
        return "confirmed";
    case Outcome::Refused:
        return "refused";
    case Outcome::Unconfirmed:
        return "unconfirmed";
    case Outcome::Silent:
        return "silent";
    case Outcome::Sent:
        return "sent";
    case Outcome::NameFound:
        return "found";
    case Outcome::LinkLost:
        return "link-lost";
    case Outcome::Stuck:
        return "stuck";
    case Outcome::Interrupted:
        return "interrupted";
    }
    return "";
}

Outcome JudgeReply(const std::string& reply) {
    switch (module_commands::FinalLineOf(reply)) {
    case module_commands::FinalLine::Ok:
        return Outcome::Confirmed;
    case module_commands::FinalLine::Error:
        return Outcome::Refused;
    case module_commands::FinalLine::None:
        break;
    }
    // "0" is the channel's word for nothing received.
    return reply == "0" || reply.empty() ? Outcome::Silent : Outcome::Unconfirmed;
}

std::string LogFileFor(const std::string& port, size_t portCount) {
    if (portCount == 1)
        return CSerialPort::kLogFileName;
    std::string safe;
    for (const char c : port) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_';
        safe += plain ? c : '_';
    }
    return "TxRx-" + safe + ".log";
}

std::vector<std::string> LogFilesFor(const std::vector<std::string>& ports) {
    const auto folded = [](std::string name) {
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return name;
    };
    std::vector<std::string> natural;
    for (const std::string& port : ports)
        natural.push_back(folded(LogFileFor(port, ports.size())));
    std::vector<std::string> files;
    std::vector<std::string> taken;
    for (size_t i = 0; i < ports.size(); ++i) {
        const std::string base = LogFileFor(ports[i], ports.size());
        std::string file = base;
        // A suffixed name must not take the natural name of a port further on either.
        for (int n = 2; std::find(taken.begin(), taken.end(), folded(file)) != taken.end() ||
                        (file != base && std::find(natural.begin(), natural.end(), folded(file)) != natural.end());
             ++n)
            file = base.substr(0, base.size() - 4) + "-" + std::to_string(n) + ".log";
        taken.push_back(folded(file));
        files.push_back(file);
    }
    return files;
}

std::string StoppedMessage(int signalNumber, size_t stepsDone) {
    return "stopped by signal " + std::to_string(signalNumber) + " after " + std::to_string(stepsDone) +
           (stepsDone == 1 ? " step" : " steps");
}

PortResult RunPort(const PortTask& task, const StepReport& report) {
    PortResult result;
    RunPort(task, report, result);
    return result;
}

void RunPort(const PortTask& task, const StepReport& report, PortResult& result) {
    const Clock::time_point start = Clock::now();
    result.port = task.port;
    result.position = task.position;
    result.device = cli_platform::DeviceOf(task.port);
    const auto stopped = [&] {
        result.status = static_cast<ExitStatus>(kExitSignalBase + StopSignalNumber());
        result.message = StoppedMessage(StopSignalNumber(), result.steps.size());
        result.seconds = SecondsSince(start);
    };
    if (StopRequested())
        return stopped();

    // The name opened as the port window opens it; messages and the log file's name keep the UTF-8.
    const std::string portName = PortNameFromUtf8(task.port);
    CSerialPort port;
    port.SetLogFileName(task.logFile);
    port.SetMonitorTag(task.monitorTag);
    const int32_t opened = port.Open(portName.c_str(), module_commands::kBaudRate);
    if (opened != serial_result::kOk) {
        result.status = kExitNotOpened;
        // Worded from what the open itself found: opening the device again to guess would find
        // another moment's state, and could hold the port from its user.
        const serial_result::OpenFailure& why = port.LastOpenFailure();
        result.reason = serial_result::OpenReasonName(why.reason);
        result.message = "cannot open: " + serial_result::DescribeOpenFailure(why);
        result.seconds = SecondsSince(start);
        return;
    }
    result.opened = true;
    if (port.IsLogging())
        result.logFile = task.logFile;
    else
        result.logProblem = "no log: " + task.logFile + " could not be created";

    // Every member given, so the windows' global port is not even named here. A stuck line ends the
    // conversation as a stop does: every further command would only wait out the bound again.
    // cut: a stop request was seen while there was still work to do.
    bool stuck = false;
    bool cut = false;
    const module_commands::CommandLink link{&port, module_commands::SleepMilliseconds, task.replyDriven, [&] {
                                                cut = cut || StopRequested();
                                                return stuck || cut;
                                            }};
    Clock::time_point stepStart = Clock::now();
    const auto addStep = [&](StepResult step) {
        step.seconds = SecondsSince(stepStart);
        result.steps.push_back(std::move(step));
        if (report)
            report(result, result.steps.back());
        stepStart = Clock::now();
    };
    // How an exchange that did not end in a reply counts, Silent when it did.
    const auto cutShort = [&](const module_commands::Exchange& exchange, Outcome otherwise) {
        stuck = stuck || !exchange.written;
        // A write to a link the far end closed fails too: that is no held line.
        if (port.LinkLost())
            return Outcome::LinkLost;
        if (!exchange.written)
            return Outcome::Stuck;
        if (exchange.stopped)
            return Outcome::Interrupted;
        return otherwise;
    };
    const auto readName = [&](StepKind what, std::string& name) {
        module_commands::Exchange last;
        const bool found = QueryModuleName(name, link, &last);
        StepResult step{what, std::string(module_commands::kNameQuery) + module_commands::kLineEnd, name,
                        found ? Outcome::NameFound : cutShort(last, Outcome::Silent), 0};
        return std::make_pair(found, step);
    };

    if (!task.program) {
        auto [found, step] = readName(StepKind::NameRead, result.name);
        addStep(step);
        if (!found) {
            result.status = StatusOf(result.steps, result.message);
            if (result.status == kExitOk) {
                result.status = kExitSilent;
                result.message = "no name in the module's replies";
            }
        }
    } else {
        MODULE_SETTINGS settings = task.settings;
        if (task.beforeProgram) {
            auto [found, step] = readName(StepKind::NameBefore, result.nameBefore);
            addStep(step);
            if (!found) {
                result.status = StatusOf(result.steps, result.message);
                if (result.status == kExitOk) {
                    result.status = kExitSilent;
                    result.message = "no name in the module's replies (name before)";
                }
                port.Close();
                if (cut && !stuck)
                    return stopped();
                result.seconds = SecondsSince(start);
                return;
            }
            const BeforeProgramDecision decision = task.beforeProgram(result, settings);
            if (decision.go != BeforeProgramDecision::Go::Program) {
                result.skipped = decision.go == BeforeProgramDecision::Go::Skip;
                result.status = decision.status;
                result.message = decision.message;
                result.seconds = SecondsSince(start);
                return;
            }
        }
        bool nameConfirmed = false;
        ProgramModule(settings, link,
                      [&](module_commands::SettingItem item, const std::string& command,
                          const module_commands::Exchange& exchange) {
                          const Outcome judged = task.verify ? JudgeReply(exchange.reply) : Outcome::Sent;
                          const Outcome outcome =
                              judged == Outcome::Confirmed || judged == Outcome::Refused ? judged
                                                                                         : cutShort(exchange, judged);
                          nameConfirmed = nameConfirmed ||
                                          (item == module_commands::SettingItem::Name && outcome == Outcome::Confirmed);
                          addStep({StepKindOf(item), command, exchange.reply, outcome, 0});
                      });
        if (nameConfirmed && !link.stopRequested()) {
            std::string name;
            auto [found, step] = readName(StepKind::NameReadBack, name);
            if (found)
                step.outcome = name == settings.name ? Outcome::Confirmed : Outcome::Unconfirmed;
            addStep(step);
        }
        result.status = StatusOf(result.steps, result.message);
    }
    port.Close();
    if (cut && !stuck)
        return stopped();
    result.seconds = SecondsSince(start);
}

} // namespace zk405_cli
