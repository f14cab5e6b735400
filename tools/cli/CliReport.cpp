#include "CliReport.h"

#include "Cp1250.h"
#include "EscapedText.h"
#include "Hints.h"

#include <algorithm>
#include <cstdio>

namespace zk405_cli {

namespace {

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

// Module text for a person: UTF-8 with the line ends shown, and nothing the terminal would act on
// (a module's name may hold escape sequences) passed to it.
std::string Shown(const std::string& cp1250Text) {
    return EscapeControls(cp1250::Cp1250ToUtf8(cp1250Text));
}

// Appended piece by piece: GCC 12 at -O3 warns falsely about "..." + std::string&&.
std::string Quoted(const std::string& cp1250Text) {
    std::string quoted = "\"";
    quoted += Shown(cp1250Text);
    quoted += '"';
    return quoted;
}

std::string Verdict(const StepResult& step) {
    switch (step.outcome) {
    case Outcome::Confirmed:
        return step.step == StepKind::NameReadBack ? Quoted(step.reply) + " OK" : "OK";
    case Outcome::Refused:
        return "ERROR";
    case Outcome::Unconfirmed:
        return step.step == StepKind::NameReadBack ? Quoted(step.reply) + " differs"
                                                   : "not confirmed (" + Quoted(step.reply) + ")";
    case Outcome::Silent:
        return "no answer";
    case Outcome::Sent:
        return "sent";
    case Outcome::NameFound:
        return Quoted(step.reply);
    case Outcome::LinkLost:
        return "link dropped";
    case Outcome::Stuck:
        return "line stuck (the command did not go out)";
    case Outcome::Interrupted:
        return "interrupted";
    }
    return "";
}

// "failed (silent)": the result word and, for a failure, its kind, as the station's line has them.
std::string Result(const PortResult& port) {
    return ResultText(VerdictOf(port));
}

bool NameQuery(const PortResult& port) {
    return !port.steps.empty() && port.steps[0].step == StepKind::NameRead;
}

// A name query that read its name programmed nothing, and says so.
const char* ResultWord(const PortResult& port) {
    const auto verdict = VerdictOf(port); // named in full: Verdict() in this file words a step
    return verdict == provisioning::Verdict::Programmed && NameQuery(port) ? kResultRead : WordsOf(verdict).result;
}

// By the columns the text takes: a port's name may hold Polish letters.
std::string Pad(std::string text, size_t width) {
    const size_t columns = DisplayWidth(text);
    if (columns < width)
        text.append(width - columns, ' ');
    return text;
}

} // namespace

std::string ProgressLine(const PortResult& port, const StepResult& step) {
    return EscapeControls(port.port) + ": " + StepKindName(step.step) + " " + Verdict(step) + " " + Seconds(step.seconds);
}

std::string FailureText(const PortResult& port) {
    const std::string hint = HintFor(port);
    if (port.message.empty() || hint.empty())
        return EscapeControls(port.message + hint);
    return EscapeControls(port.message + "; " + hint);
}

std::string SummaryTable(const std::vector<PortResult>& ports) {
    size_t width = 4, resultWidth = 6;
    for (const PortResult& port : ports) {
        width = std::max(width, DisplayWidth(EscapeControls(port.port)));
        resultWidth = std::max(resultWidth, Result(port).size());
    }
    std::string table = Pad("port", width) + "  " + Pad("result", resultWidth) + "  " + Pad("time", 8) + "  log\n";
    for (const PortResult& port : ports) {
        table += Pad(EscapeControls(port.port), width) + "  " + Pad(Result(port), resultWidth) + "  " +
                 Pad(Seconds(port.seconds), 8) + "  " + (port.logFile.empty() ? "-" : port.logFile);
        if (const std::string failure = FailureText(port); !failure.empty())
            table += "  (" + failure + ")";
        if (!port.logProblem.empty())
            table += "  (" + EscapeControls(port.logProblem) + ")";
        table += "\n";
    }
    return table;
}

nlohmann::json ToJson(const PortResult& port) {
    const VerdictWords& words = WordsOf(VerdictOf(port));
    nlohmann::json json = {
        {"port", port.port},          {"position", port.position},
        {"device", port.device},      {"status", static_cast<int>(port.status)},
        {"result", ResultWord(port)}, {"seconds", port.seconds},
    };
    if (*words.failure != '\0')
        json["failure"] = words.failure;
    if (!port.logFile.empty())
        json["log"] = port.logFile;
    if (!port.logProblem.empty())
        json["logProblem"] = port.logProblem;
    if (!port.message.empty())
        json["message"] = port.message;
    if (!port.reason.empty())
        json["reason"] = port.reason;
    if (const std::string hint = HintFor(port); !hint.empty())
        json["hint"] = hint;
    if (!port.name.empty() || (port.status == kExitOk && NameQuery(port)))
        json["name"] = cp1250::Cp1250ToUtf8(port.name);
    nlohmann::json steps = nlohmann::json::array();
    for (const StepResult& step : port.steps)
        steps.push_back({{"step", StepKindName(step.step)},
                         {"command", cp1250::Cp1250ToUtf8(ReportedCommand(step))},
                         {"reply", cp1250::Cp1250ToUtf8(step.reply)},
                         {"outcome", OutcomeName(step.outcome)},
                         {"seconds", step.seconds}});
    json["steps"] = steps;
    return json;
}

std::string JsonLine(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace zk405_cli
