// CAboutDlg: the About box, reached from the port selection window's About item.
#pragma once

#include "DialogTemplate.h"

#include <wx/dialog.h>

class CAboutDlg : public wxDialog {
public:
    explicit CAboutDlg(wxWindow* parent = nullptr);

    // Template 100.
    static const dialog_template::Template& DialogTemplate();

    bool IsBuilt() const { return m_built; }
    const dialog_template::BuiltControls& Controls() const { return m_controls; }

private:
    dialog_template::BuiltControls m_controls;
    bool m_built = false;
};
