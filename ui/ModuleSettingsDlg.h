// The module settings window: connects to the chosen port, shows the module's current name and
// programs the settings the user ticks, after a confirmation summary. It owns the connection while it
// is shown: every way out closes the port.
#pragma once

#include "DialogTemplate.h"
#include "ModuleCommands.h"
#include "PortChoice.h"

#include <wx/dialog.h>

#include <cstdint>
#include <string>

class wxComboBox;
class wxRadioButton;

class CModuleSettingsDlg : public wxDialog {
public:
    // Template 130, the window's texts, controls and layout.
    static const dialog_template::Template& DialogTemplate();
    // g_serialPort, with one-second waits during which the windows repaint but take no input.
    static module_commands::CommandLink DefaultLink();

    // The window's defaults are the program's port, choice and one-second waits; tests put in a
    // pseudo-terminal's port and a wait that plays the module.
    explicit CModuleSettingsDlg(wxWindow* parent = nullptr, CPortChoice& portChoice = g_portChoice,
                                module_commands::CommandLink link = DefaultLink());

    // Connects before the window appears; when the port cannot be opened the window is never shown
    // and the result is wxID_CANCEL.
    int ShowModal() override;

    bool TransferDataToWindow() override;
    bool TransferDataFromWindow() override;

    // The confirmation text for a selection: CR line breaks, TABs before the values (UTF-8).
    static std::string BuildSummary(const MODULE_SETTINGS& settings);
    // What "Programuj" hands to ProgramModule from the members and the protocol box.
    MODULE_SETTINGS CurrentSettings() const;

    const dialog_template::BuiltControls& Controls() const { return m_controls; }

    // The members as the last data exchange left them (texts Windows-1250, the name whole).
    struct SavedValues {
        int32_t setAuth;
        int32_t setName;
        int32_t setPin;
        int32_t setFlow;
        std::string name;
        std::string pin;
        int32_t authChoice;
    };
    SavedValues Saved() const;

private:
    void ExchangeData(bool save);
    void ExchangeCheck(bool save, int id, int32_t& value);
    void ExchangeText(bool save, int id, std::string& value, size_t maxChars);
    void ExchangeAuthChoice(bool save);
    void EnableField(int id, int32_t flag);
    // Closes the port and ends the window as cancelled: "Wstecz", Escape, Enter and the close box.
    void Leave();

    void OnInitDialog(wxInitDialogEvent& event);
    void OnSetName(wxCommandEvent& event);
    void OnSetPin(wxCommandEvent& event);
    void OnSetFlow(wxCommandEvent& event);
    void OnSetAuth(wxCommandEvent& event);
    void OnProgram(wxCommandEvent& event);
    void OnBack(wxCommandEvent& event);
    void OnClose(wxCloseEvent& event);

    // Members, in the order the data exchange takes them. Texts are Windows-1250.
    wxComboBox* m_protocolBox = nullptr;
    int32_t m_setAuth = 0;
    int32_t m_setName = 0;
    int32_t m_setPin = 0;
    int32_t m_setFlow = 0;
    std::string m_name;
    std::string m_pin;
    int32_t m_authChoice = module_commands::kAuthNotChosen;

    CPortChoice& m_portChoice;
    module_commands::CommandLink m_link;
    dialog_template::BuiltControls m_controls;
    // wx cannot clear a radio group; choosing this hidden member of the group shows "neither chosen".
    wxRadioButton* m_noAuthChoice = nullptr;
    bool m_initialised = false;
    bool m_connectFailed = false;
};
