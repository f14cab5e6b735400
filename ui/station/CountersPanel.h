// The counters of programmed, failed and skipped modules, in figures large enough to read from a metre
// away, and the last failure's reason with what to do next.
#pragma once

#include "Station.h"

#include <wx/panel.h>

#include <string>

class wxStaticText;

namespace station_ui {

class CountersPanel : public wxPanel {
public:
    explicit CountersPanel(wxWindow* parent);

    void Show(const provisioning::Tally& tally);
    // A failure's sentence; the bell rings with it, so that a failure is heard at the bench.
    void Failure(const std::string& sentence);
    // A sentence about the station itself (its folder, its ledger), without the bell.
    void Notice(const std::string& sentence);

    std::string Figure(int which) const; // 0 programmed, 1 failed, 2 skipped
    // The sentence as given, before it was wrapped to the window's width.
    std::string LastFailure() const;

private:
    wxStaticText* m_figures[3] = {};
    wxStaticText* m_failure = nullptr;
    std::string m_sentence;
};

} // namespace station_ui
