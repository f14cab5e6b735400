// The observer bridge: the station's observer, and the sink of the window's own jobs and port watch,
// each call copied into an event for the window's thread (wxEvtHandler::CallAfter queues it from any
// thread). The window lives longer than every thread that posts here: it ends them before it goes.
#pragma once

#include "Station.h"
#include "StationView.h"

#include <wx/event.h>

namespace station_ui {

class StationBridge final : public provisioning::StationObserver {
public:
    StationBridge(wxEvtHandler& window, StationView& view) : m_window(window), m_view(view) {}

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

    // The window's own threads post through these too.
    void Appeared(const PortFacts& facts);
    void Went(const std::string& port);
    void Notice(const std::string& sentence, bool failure);
    void StationEnded(provisioning::ExitStatus status, const std::string& refusal);
    void ManualEnded(const std::string& port);

private:
    template <typename Call>
    void Post(Call call) {
        StationView* view = &m_view;
        m_window.CallAfter([view, call] { call(*view); });
    }

    wxEvtHandler& m_window;
    StationView& m_view;
};

} // namespace station_ui
