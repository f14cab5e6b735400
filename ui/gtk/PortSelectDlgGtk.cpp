// GTK has no system menu that a program can add to, so the About item goes into the window's context
// menu (right click on the window, its texts, picture or buttons).
#include "PortSelectDlg.h"

#include "ResourceStrings.h"
#include "resource.h"

#include <wx/combobox.h>
#include <wx/menu.h>
#include <wx/textctrl.h>

void InstallAboutCommand(CPortSelectDlg& dialog) {
    const wxString text = LoadResourceString(IDS_ABOUTBOX);
    if (text.empty())
        return;
    dialog.Bind(wxEVT_CONTEXT_MENU, [&dialog, text](wxContextMenuEvent& event) {
        // A text field keeps its own menu (cut, copy, paste).
        wxObject* source = event.GetEventObject();
        if (dynamic_cast<wxComboBox*>(source) != nullptr || dynamic_cast<wxTextCtrl*>(source) != nullptr) {
            event.Skip();
            return;
        }
        wxMenu menu;
        menu.Append(IDM_ABOUTBOX, text);
        dialog.PopupMenu(&menu);
    });
}
