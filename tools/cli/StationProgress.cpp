#include "StationProgress.h"

#include "CliReport.h"

namespace zk405_cli {

void StationProgress::Ready(const StationOptions& options, size_t present) {
    m_progress.Around([&] { m_console.Ready(options, present); });
}

void StationProgress::Gone(const std::string& port) {
    m_progress.Around([&] { m_console.Gone(port); });
}

void StationProgress::WatchLost(const std::string& folder, const std::string& why) {
    m_progress.Around([&] { m_console.WatchLost(folder, why); });
}

void StationProgress::WatchBack(const std::string& folder) {
    m_progress.Around([&] { m_console.WatchBack(folder); });
}

void StationProgress::Started(const RecordedResult& attempt) {
    m_progress.Around([&] { m_console.Started(attempt); });
}

// The module's line replaces its progress: it is done.
void StationProgress::Finished(const RecordedResult& attempt, Verdict verdict, const Tally& tally) {
    m_progress.Ended(attempt.port.port);
    m_progress.Around([&] { m_console.Finished(attempt, verdict, tally); });
}

void StationProgress::LedgerWaiting(const LedgerLockWait& wait) {
    m_progress.Around([&] { m_console.LedgerWaiting(wait); });
}

void StationProgress::LedgerBroken(const std::string& error) {
    m_progress.Around([&] { m_console.LedgerBroken(error); });
}

// The last word: no progress line is drawn after it.
void StationProgress::Stopped(const Tally& tally, ExitStatus status, int signal) {
    m_progress.Stop();
    m_console.Stopped(tally, status, signal);
}

void StationProgress::Progress(const StepUnderWay& underWay) {
    if (m_json)
        m_out << JsonLine(ProgressJson(underWay)) << std::endl;
    else
        m_progress.Show(underWay);
}

} // namespace zk405_cli
