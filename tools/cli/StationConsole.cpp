#include "StationConsole.h"

#include "AfterResult.h"
#include "CliReport.h"
#include "Cp1250.h"
#include "EscapedText.h"
#include "LedgerReport.h"

#include <cstdio>
#include <string>

namespace zk405_cli {

namespace {

const char* Colour(TallyColumn column) {
    switch (column) {
    case TallyColumn::Programmed:
        return "\x1b[1;32m";
    case TallyColumn::Failed:
        return "\x1b[1;31m";
    case TallyColumn::Sent:
    case TallyColumn::Skipped:
        break;
    }
    return "\x1b[1;33m";
}

std::string Padded(std::string text, size_t width) {
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

// The sent column only once something was sent unverified: a station verifies what it programs.
nlohmann::json TallyJson(const Tally& tally) {
    nlohmann::json json = {{"programmed", tally.programmed}, {"failed", tally.failed}, {"skipped", tally.skipped}};
    if (tally.sent > 0)
        json["sent"] = tally.sent;
    return json;
}

std::string TallyText(const Tally& tally) {
    std::string text = "programmed ";
    text.append(std::to_string(tally.programmed));
    if (tally.sent > 0)
        text.append(" | sent ").append(std::to_string(tally.sent));
    text.append(" | failed ").append(std::to_string(tally.failed));
    text.append(" | skipped ").append(std::to_string(tally.skipped));
    return text;
}

} // namespace

void StationConsole::Ready(const StationOptions& options, size_t present) {
    m_ledgerPath = options.ledgerPath;
    const std::string where = options.watchDir.empty() ? "the system's serial ports" : options.watchDir;
    if (m_json) {
        m_out << JsonLine({{"event", "ready"},
                           {"watching", where},
                           {"present", present},
                           {"present_programmed", options.includePresent},
                           {"ledger", options.ledgerPath}})
              << std::endl;
        return;
    }
    // Progress for the person at the bench, on standard error as every command's is.
    m_err << "Waiting for modules on " << EscapeControls(where) << "; ";
    if (present == 0)
        m_err << "no port there yet";
    else
        m_err << "ports already there: " << present << (options.includePresent ? " (programmed first)" : " (left alone)");
    m_err << ". Ctrl+C ends." << std::endl;
}

void StationConsole::Gone(const std::string& port) {
    if (m_json)
        m_out << JsonLine({{"event", "gone"}, {"port", port}}) << std::endl;
}

// Said on the bench's terminal as well as in a script's events: a station that silently saw nothing
// more would look like one waiting for modules.
void StationConsole::WatchLost(const std::string& folder, const std::string& why) {
    if (m_json) {
        m_out << JsonLine({{"event", "watch_lost"}, {"watching", folder}, {"reason", why}}) << std::endl;
        return;
    }
    m_err << "zk405-cli: the folder " << EscapeControls(folder) << " is no longer watched: " << EscapeControls(why)
          << ". Waiting for a folder under that path again." << std::endl;
}

void StationConsole::WatchBack(const std::string& folder) {
    if (m_json) {
        m_out << JsonLine({{"event", "watching"}, {"watching", folder}}) << std::endl;
        return;
    }
    m_err << "zk405-cli: watching " << EscapeControls(folder) << " again." << std::endl;
}

void StationConsole::Started(const RecordedResult& r) {
    if (m_json)
        m_out << JsonLine({{"event", "started"},
                           {"port", r.port.port},
                           {"attempt", r.attempt},
                           {"time", r.time},
                           {"n", r.n},
                           {"name_before", cp1250::Cp1250ToUtf8(r.port.nameBefore)},
                           {"name_after", r.nameAfter}})
              << std::endl;
}

void StationConsole::Finished(const RecordedResult& result, Verdict verdict, const Tally& tally) {
    const PortResult& port = result.port;
    const VerdictWords& words = WordsOf(verdict);
    if (m_json) {
        nlohmann::json event = ToJson(port); // its result and failure words with it
        event["event"] = "finished";
        event["attempt"] = result.attempt;
        if (result.n != 0)
            event["n"] = result.n;
        event["name_before"] = cp1250::Cp1250ToUtf8(port.nameBefore);
        if (!result.nameAfter.empty())
            event["name_after"] = result.nameAfter;
        event["tally"] = TallyJson(tally);
        AddAfterResult(result, event);
        m_out << JsonLine(event) << std::endl;
        m_err << AfterResultLines(result) << std::flush;
        return;
    }
    // Appended piece by piece: GCC 12 at -O3 warns falsely about "..." + std::string&&.
    std::string detail;
    if (result.n != 0)
        detail.append("#").append(std::to_string(result.n)).append(" ");
    if (!result.nameAfter.empty() && port.status == kExitOk)
        detail.append("\"").append(EscapeControls(result.nameAfter)).append("\" ");
    if (const std::string failure = FailureText(port); !failure.empty())
        detail.append(failure).append(" ");
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f s", port.seconds);
    detail += seconds;
    if (m_colour)
        m_out << Colour(words.tally) << Padded(ResultText(verdict), 10) << "\x1b[0m";
    else
        m_out << Padded(ResultText(verdict), 10);
    // A watched folder's names are made by whoever may write there.
    m_out << "  " << EscapeControls(port.port) << "  " << detail << "    [ " << TallyText(tally) << " ]";
    if (m_colour && words.tally == TallyColumn::Failed)
        m_out << '\a';
    m_out << std::endl;
    m_err << AfterResultLines(result) << std::flush;
}

// On standard error whatever the mode: a script's events on standard output stay the station's own.
void StationConsole::LedgerWaiting(const LedgerLockWait& wait) {
    m_err << LockWaitLine(wait) << std::flush;
}

void StationConsole::LedgerBroken(const std::string& error) {
    m_err << "zk405-cli: the ledger " << EscapeControls(m_ledgerPath) << ": " << EscapeControls(error)
          << "; the station stops" << std::endl;
}

void StationConsole::Stopped(const Tally& tally, ExitStatus status, int signal) {
    if (m_json) {
        m_out << JsonLine({{"event", "stopped"}, {"tally", TallyJson(tally)}, {"status", status}, {"signal", signal}})
              << std::endl;
        return;
    }
    m_out << "Station stopped: programmed " << tally.programmed;
    if (tally.sent > 0)
        m_out << ", sent " << tally.sent;
    m_out << ", failed " << tally.failed << ", skipped " << tally.skipped << "." << std::endl;
}

} // namespace zk405_cli
