// The station window: the list of modules, the settings in force, the counters, the ledger, and
// "Programuj" and "Automatycznie". Every exchange runs on the workers' threads (StationWorkers.h);
// this window only shows what the bridge posts to it, so it repaints and answers meanwhile.
#pragma once

#include "CountersPanel.h"
#include "SettingsPanel.h"
#include "StationRows.h"
#include "StationView.h"
#include "StationWorkers.h"
#include "StepsPanel.h"

#include <wx/frame.h>
#include <wx/timer.h>

#include <memory>
#include <string>

class wxButton;
class wxCheckBox;
class wxDataViewListCtrl;
class wxTextCtrl;

namespace station_ui {

struct StationSetup {
    provisioning::SettingsInput input;
    StationSteps steps;
    std::string ledgerPath;
    WatchPlace place;
    bool locked = false;
    bool automatic = false;
    size_t once = 0;          // end the program after this many modules of the station; 0 never
    int* exitStatus = nullptr; // where the station's status is left for the program's end
};

class StationFrame final : public wxFrame, private StationView {
public:
    explicit StationFrame(const StationSetup& setup);
    ~StationFrame() override;

    // What a user (and a test) reaches.
    StationRows& Rows() { return *m_rows; }
    CountersPanel& Counters() { return *m_counters; }
    SettingsPanel& Settings() { return *m_settings; }
    StepsPanel& Steps() { return *m_steps; }
    wxDataViewListCtrl& List() { return *m_list; }
    wxButton& ProgramButton() { return *m_program; }
    wxCheckBox& AutoBox() { return *m_auto; }
    std::string LedgerPath() const { return m_ledgerPath; }
    void SetLedgerPath(const std::string& path);
    // Whether every thread has ended after a close (then the window is being destroyed).
    bool Closing() const { return m_closing; }

    // "Programuj" on the selected row.
    void ProgramSelected();
    void SetAutomatic(bool on);

private:
    void BuildControls();
    void NarrowLongColumns();
    void OnCharHook(wxKeyEvent& event);
    wxSizer* BuildLedgerRow(wxWindow* parent);
    wxSizer* BuildButtons(wxWindow* parent);
    void UpdateProgramButton();
    void OnTimer();
    void OnClose(wxCloseEvent& event);
    void ChooseLedger();
    // The settings and the steps around the work as they stand, false with the reason when refused.
    bool ReadyToProgram(provisioning::SettingsInput& input, AroundWork& around, std::string& why) const;
    void FreezeSettings(bool frozen);
    // What came after the result (the command, the transcript's place), told when it needs telling.
    void NoticeAfterResult(const provisioning::RecordedResult& attempt, bool failed);

    void PortAppeared(const PortFacts& facts) override;
    void PortGone(const std::string& port) override;
    void AttemptStarted(const provisioning::RecordedResult& attempt) override;
    void AttemptFinished(const provisioning::RecordedResult& attempt, provisioning::Verdict verdict) override;
    void Notice(const std::string& sentence, bool failure) override;
    void StationEnded(provisioning::ExitStatus status, const std::string& refusal) override;
    void ManualEnded(const std::string& port) override;

    StationSetup m_setup;
    std::string m_ledgerPath;
    std::map<std::string, std::string> m_addresses; // a port's Bluetooth address, when it has one
    provisioning::Tally m_tally;
    bool m_closing = false;

    wxDataViewListCtrl* m_list = nullptr;
    std::unique_ptr<StationRows> m_rows;
    SettingsPanel* m_settings = nullptr;
    StepsPanel* m_steps = nullptr;
    CountersPanel* m_counters = nullptr;
    wxTextCtrl* m_ledger = nullptr;
    wxButton* m_chooseLedger = nullptr;
    wxButton* m_program = nullptr;
    wxCheckBox* m_auto = nullptr;
    wxTimer m_timer;

    // Declared last: destroyed first, each joining its thread before the bridge and the window go.
    StationBridge m_bridge;
    PortWatch m_watch;
    StationRun m_station;
    ManualJobs m_jobs;
};

} // namespace station_ui
