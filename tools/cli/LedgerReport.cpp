#include "LedgerReport.h"

#include "CliReport.h"
#include "EscapedText.h"
#include "LedgerFile.h"
#include "LedgerRecord.h"
#include "LedgerSummary.h"
#include "ShiftTime.h"

#include <algorithm>
#include <cstdio>

namespace zk405_cli {

namespace {

// kExitOk, bad usage for a name of no format the tool writes, or the ledger's status for a file that
// cannot be read, as program and station give them.
ExitStatus Read(const std::string& path, LedgerFormat& format, LedgerContents& contents, std::string& text,
                std::ostream& err) {
    std::string error;
    const bool named = LedgerFormatOf(path, format, error);
    if (!named || !ledger_file::ReadWholeLedger(path, text, error)) {
        err << "zk405-cli: " << EscapeControls(error) << "\n";
        return named ? kExitLedger : kExitUsage;
    }
    contents = ParseLedger(text, format);
    return kExitOk;
}

// The same facts as the text, under the names scripts have read since the first summary ("programmed",
// "failed" for the failed attempts), with the times as the ledger keeps them.
nlohmann::json SummaryJson(const LedgerSummary& summary) {
    nlohmann::json failures = nlohmann::json::array();
    for (const auto& [reason, count] : summary.failures)
        failures.push_back({{"reason", reason}, {"count", count}});
    nlohmann::json unresolved = nlohmann::json::array();
    for (const UnresolvedModule& module : summary.unresolved)
        unresolved.push_back({{"n", module.n},
                              {"name", module.name},
                              {"reason", module.reason},
                              {"time", module.time},
                              {"attempts", module.attempts}});
    nlohmann::json json = {{"programmed", summary.programmed},
            {"unresolved", unresolved},
            {"attempts", summary.attempts},
            {"failed", summary.failed},
            {"skipped", summary.skipped},
            {"interrupted", summary.interrupted},
            {"failures", failures},
            {"first_time", summary.first},
            {"last_time", summary.last},
            {"last_n", summary.lastNumber},
            {"bad_lines", summary.badLines}};
    if (summary.sent > 0) // as the station's tally has it: only once something was sent unverified
        json["sent"] = summary.sent;
    return json;
}

void WriteUnresolved(const UnresolvedModule& module, std::ostream& out) {
    out << "  #" << module.n;
    if (!module.name.empty())
        out << " \"" << EscapeControls(module.name) << "\"";
    out << "  " << module.attempts << (module.attempts == 1 ? " attempt" : " attempts") << ", the last at "
        << LocalTimeText(module.time) << ": " << EscapeControls(module.reason.empty() ? "(no reason given)" : module.reason)
        << "\n";
}

void WriteSummary(const LedgerSummary& summary, const std::string& path, std::ostream& out) {
    if (!summary.first.empty())
        out << "from " << LocalTimeText(summary.first) << " to " << LocalTimeText(summary.last) << "\n";
    out << "modules programmed  " << summary.programmed << "\n";
    if (summary.sent > 0)
        out << "modules sent        " << summary.sent << " (not verified)\n";
    out << "modules unresolved  " << summary.unresolved.size()
        << (summary.unresolved.empty() ? "\n" : " (failed, not programmed since):\n");
    for (const UnresolvedModule& module : summary.unresolved)
        WriteUnresolved(module, out);
    out << "attempts            " << summary.attempts << " (" << summary.failed << " failed)\n"
        << "skipped             " << summary.skipped << "\n"
        << "interrupted         " << summary.interrupted << " (a number taken, no result recorded)\n"
        << "last n              " << summary.lastNumber << "\n";
    if (!summary.failures.empty())
        out << "failures by reason:\n";
    for (const auto& [reason, count] : summary.failures)
        out << "  " << count << "  " << EscapeControls(reason) << "\n";
    if (summary.badLines > 0)
        out << summary.badLines << " damaged line(s) skipped; `zk405-cli ledger --check " << EscapeControls(path)
            << "` names them\n";
}

} // namespace

ExitStatus SummarizeLedger(const std::string& path, const LedgerSpan& span, bool json, std::ostream& out,
                           std::ostream& err) {
    LedgerFormat format;
    LedgerContents contents;
    std::string text;
    if (const ExitStatus status = Read(path, format, contents, text, err); status != kExitOk)
        return status;
    const LedgerSummary summary = Summarize(contents, span);
    if (json)
        out << JsonLine(SummaryJson(summary)) << "\n";
    else
        WriteSummary(summary, path, out);
    return kExitOk; // a report that could not be written has its own status, given once it is flushed
}

ExitStatus CheckLedger(const std::string& path, std::ostream& out, std::ostream& err) {
    LedgerFormat format;
    LedgerContents contents;
    std::string text;
    if (const ExitStatus status = Read(path, format, contents, text, err); status != kExitOk)
        return status;
    size_t bad = 0;
    if (format == LedgerFormat::Csv && text.compare(0, CsvHeader().size(), CsvHeader()) != 0) {
        err << "zk405-cli: " << EscapeControls(path) << ": line 1: not the ledger's header line\n";
        ++bad;
    }
    const size_t lines = contents.lines;
    for (const size_t line : contents.badLines) {
        if (line == 1 && bad > 0)
            continue;
        const bool torn = line == lines && !text.empty() && text.back() != '\n';
        const bool unreadable =
            std::find(contents.unreadable.begin(), contents.unreadable.end(), line) != contents.unreadable.end();
        err << "zk405-cli: " << EscapeControls(path) << ": line " << line << ": "
            << (torn         ? "not whole (no line feed at its end)"
                : unreadable ? "a ledger record that cannot be read (no number is taken while it is there)"
                             : "not a ledger record")
            << "\n";
        ++bad;
    }
    if (bad > 0)
        return kExitLedger;
    out << EscapeControls(path) << ": " << contents.records.size() << " records, every line whole and well formed\n";
    return kExitOk;
}

std::string LockWaitLine(const LedgerLockWait& wait) {
    std::string line = "zk405-cli: waiting for the lock on the ledger " + EscapeControls(wait.path) + ", held by ";
    if (wait.pid == 0)
        line += "another program (the system does not say which)";
    else
        line += "PID " + std::to_string(wait.pid) + (wait.program.empty() ? "" : " (" + EscapeControls(wait.program) + ")");
    char bound[48];
    std::snprintf(bound, sizeof bound, ", for up to %g s", static_cast<double>(wait.bound.count()) / 1000);
    line += bound;
    line += wait.stoppable ? "; Ctrl+C ends the wait\n" : " to record a programmed module's result\n";
    return line;
}

} // namespace zk405_cli
