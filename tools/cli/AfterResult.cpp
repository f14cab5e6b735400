#include "AfterResult.h"

#include "EscapedText.h"

#include <chrono>

namespace zk405_cli {

namespace {

using provisioning::ResultCommandRun;

const char* EndWord(ResultCommandRun::End end) {
    switch (end) {
    case ResultCommandRun::End::NotRun:
        break;
    case ResultCommandRun::End::Exited:
        return "exited";
    case ResultCommandRun::End::Signalled:
        return "signal";
    case ResultCommandRun::End::TimedOut:
        return "timeout";
    case ResultCommandRun::End::NotStarted:
        return "not_started";
    }
    return "not_run";
}

} // namespace

CLI::Option* AddOnResult(CLI::App& command, provisioning::ResultCommand& onResult) {
    CLI::Option* option =
        command.add_option("--on-result", onResult.command,
                           "after each result record run CMD (by the shell), the record as JSON on its stdin")
            ->type_name("CMD");
    command
        .add_option_function<int>(
            "--on-result-timeout", [&onResult](int seconds) { onResult.timeout = std::chrono::seconds(seconds); },
            "end the --on-result command after this many seconds (default 10)")
        ->check(CLI::Range(1, 3600).description(""))
        ->type_name("SECONDS");
    return option;
}

std::string AfterResultLines(const provisioning::RecordedResult& result) {
    std::string lines;
    const std::string port = EscapeControls(result.port.port);
    if (!result.transcriptError.empty())
        lines.append("zk405-cli: ").append(port).append(": no transcript: ").append(EscapeControls(result.transcriptError))
            .append("\n");
    if (provisioning::Failed(result.onResult))
        lines.append("zk405-cli: ").append(port).append(": the --on-result command ")
            .append(EscapeControls(result.onResultText)).append("; the module's result stands\n");
    return lines;
}

void AddAfterResult(const provisioning::RecordedResult& result, nlohmann::json& event) {
    if (!result.transcript.empty())
        event["transcript"] = result.transcript;
    if (result.onResult.end == ResultCommandRun::End::NotRun)
        return;
    nlohmann::json run = {{"end", EndWord(result.onResult.end)},
                          {"failed", provisioning::Failed(result.onResult)},
                          {"message", result.onResultText}};
    if (result.onResult.end == ResultCommandRun::End::Exited || result.onResult.end == ResultCommandRun::End::Signalled)
        run["status"] = result.onResult.code;
    event["on_result"] = run;
}

} // namespace zk405_cli
