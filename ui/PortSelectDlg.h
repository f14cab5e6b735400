// CPortSelectDlg: the first window. Tells the user how to put the module into configuration mode,
// lists the serial ports that open at that moment, and on "Dalej..." hands the chosen or typed port
// name to the module settings window. Closing it ends the program.
#pragma once

#include "DialogTemplate.h"

#include <wx/dialog.h>
#include <wx/iconbndl.h>

class wxComboBox;

class CPortSelectDlg : public wxDialog {
public:
    explicit CPortSelectDlg(wxWindow* parent = nullptr);

    // Template 102, the window's texts, controls and layout.
    static const dialog_template::Template& DialogTemplate();

    // False when the window could not be created; ShowModal must not be called then.
    bool IsBuilt() const { return m_built; }
    wxComboBox* PortList() const { return m_portList; }
    const dialog_template::BuiltControls& Controls() const { return m_controls; }

    // Shows the About box, as the system menu's (on GTK the context menu's) About item does.
    void ShowAboutBox();

private:
    void OnInitDialog(wxInitDialogEvent& event);
    void OnNext(wxCommandEvent& event);
    void OnSysCommand(wxCommandEvent& event);
    void FillPortList();
    void KeepPictureProportions();

    dialog_template::BuiltControls m_controls;
    wxComboBox* m_portList = nullptr; // control 1000
    wxIconBundle m_hIcon;             // icon 128, loaded with the window object
    bool m_built = false;
};

// Puts the About item (string 101, command 0x0010) where the platform's users look for it: the system
// menu on Windows, the window's context menu on GTK. The item sends a wxEVT_MENU with that command.
void InstallAboutCommand(CPortSelectDlg& dialog);
