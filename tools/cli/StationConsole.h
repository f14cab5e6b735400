// The station as a person at the bench or a script sees it: one line per module as it ends, with the
// result in capitals (in colour on a terminal) and the running tally, or one JSON object per event.
#pragma once

#include "Station.h"

#include <ostream>

namespace zk405_cli {

class StationConsole final : public provisioning::StationObserver {
public:
    // colour: escapes and the bell, only for a terminal a person reads.
    StationConsole(std::ostream& out, std::ostream& err, bool json, bool colour)
        : m_out(out), m_err(err), m_json(json), m_colour(colour) {}

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

private:
    std::ostream& m_out;
    std::ostream& m_err;
    const bool m_json;
    const bool m_colour;
    std::string m_ledgerPath;
};

} // namespace zk405_cli
