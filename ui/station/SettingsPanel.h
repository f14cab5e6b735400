// The settings in force: the name (with {n} and {port}), the PIN (shown as set or not set, never in
// the list), the pairing PIN (set or not set, from the preset), the flow control and the authentication, edited here or loaded from a preset file and
// saved to one. Locked, nothing here can be changed: a line PC's shortcut fixes the setup.
#pragma once

#include "Settings.h"

#include <wx/panel.h>

#include <string>

class wxButton;
class wxChoice;
class wxStaticText;
class wxTextCtrl;

namespace station_ui {

class SettingsPanel : public wxPanel {
public:
    SettingsPanel(wxWindow* parent, const provisioning::SettingsInput& input, bool locked);

    // The values as they stand; the PIN field left empty keeps the PIN loaded or given before.
    provisioning::SettingsInput Input() const;
    void SetInput(const provisioning::SettingsInput& input);
    // False with the reason (as zk405-cli words it) when the values would be refused for every module.
    bool Check(std::string& error) const;
    bool Locked() const { return m_locked; }
    // While the station runs, its settings stay as it started with them.
    void Freeze(bool frozen);

    bool LoadPreset(const std::string& path, std::string& error);
    bool SavePreset(const std::string& path, std::string& error) const;

private:
    void OnLoad();
    void OnSave();
    void ShowPinState();

    bool m_locked;
    provisioning::SettingsInput m_kept; // what the fields do not show: the PIN and allowEmpty
    wxTextCtrl* m_name = nullptr;
    wxTextCtrl* m_pin = nullptr;
    wxStaticText* m_pinState = nullptr;
    wxStaticText* m_pairPinState = nullptr;
    wxChoice* m_flow = nullptr;
    wxChoice* m_auth = nullptr;
    wxButton* m_load = nullptr;
    wxButton* m_save = nullptr;
};

// A preset's text for these values (the format ParsePreset reads).
std::string PresetText(const provisioning::SettingsInput& input);

} // namespace station_ui
