// What is done around each module beside its settings: the command run after each result, and the
// unattended Bluetooth steps (discovery with a name pattern, the proof of the new PIN, the bond's
// removal). Locked, nothing here can be changed, as in the settings beside it.
#pragma once

#include "ResultCommand.h"
#include "Unattended.h"

#include <wx/panel.h>

class wxCheckBox;
class wxTextCtrl;

namespace station_ui {

struct StationSteps {
    provisioning::ResultCommand onResult;
    provisioning::UnattendedChoice unattended; // its pairPin is the settings' (shown there)
};

class StepsPanel : public wxPanel {
public:
    StepsPanel(wxWindow* parent, const StationSteps& steps, bool locked);

    StationSteps Steps() const;
    // While the station runs, its steps stay as it started with them.
    void Freeze(bool frozen);

    wxTextCtrl& CommandField() { return *m_command; }
    wxCheckBox& DiscoverBox() { return *m_discover; }
    wxTextCtrl& MatchField() { return *m_match; }
    wxCheckBox& ProvePinBox() { return *m_provePin; }
    wxCheckBox& UnpairAfterBox() { return *m_unpairAfter; }

private:
    bool m_locked;
    StationSteps m_kept; // the time limit, which has no field
    wxTextCtrl* m_command = nullptr;
    wxCheckBox* m_discover = nullptr;
    wxTextCtrl* m_match = nullptr;
    wxCheckBox* m_provePin = nullptr;
    wxCheckBox* m_unpairAfter = nullptr;
};

} // namespace station_ui
