// The station's waits shown as they happen: every event passed on to the console that words it,
// with the progress line of a terminal kept out of its way, and each step under way drawn on that
// line or, with --json, given as a "progress" event among the station's others.
#pragma once

#include "CliProgress.h"
#include "Station.h"

#include <ostream>

namespace zk405_cli {

class StationProgress final : public provisioning::StationObserver {
public:
    // json: progress events on out; otherwise the steps go to progress (which may be off).
    StationProgress(provisioning::StationObserver& console, TerminalProgress& progress, std::ostream& out,
                    bool json)
        : m_console(console), m_progress(progress), m_out(out), m_json(json) {}

    void Ready(const provisioning::StationOptions& options, size_t present) override;
    void Gone(const std::string& port) override;
    void WatchLost(const std::string& folder, const std::string& why) override;
    void WatchBack(const std::string& folder) override;
    void Started(const provisioning::RecordedResult& attempt) override;
    void Finished(const provisioning::RecordedResult& attempt, provisioning::Verdict verdict,
                  const provisioning::Tally& tally) override;
    void LedgerWaiting(const provisioning::LedgerLockWait& wait) override;
    void LedgerBroken(const std::string& error) override;
    void Stopped(const provisioning::Tally& tally, provisioning::ExitStatus status, int signal) override;
    void Progress(const provisioning::StepUnderWay& underWay) override;

private:
    provisioning::StationObserver& m_console;
    TerminalProgress& m_progress;
    std::ostream& m_out;
    const bool m_json;
};

} // namespace zk405_cli
