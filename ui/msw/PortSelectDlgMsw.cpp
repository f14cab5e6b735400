// The About item goes into the window's system menu, below a separator, as Windows programs have it.
// wx turns the item's WM_SYSCOMMAND into a wxEVT_MENU with the item's command.
#include "PortSelectDlg.h"

#include "ResourceStrings.h"
#include "resource.h"

#include <wx/menu.h>

static_assert((IDM_ABOUTBOX & 0xFFF0) == IDM_ABOUTBOX, "system commands keep their low four bits clear");
static_assert(IDM_ABOUTBOX < 0xF000, "commands from 0xF000 up are the system's own");

void InstallAboutCommand(CPortSelectDlg& dialog) {
    const wxString text = LoadResourceString(IDS_ABOUTBOX);
    if (text.empty())
        return;
    wxMenu* systemMenu = dialog.MSWGetSystemMenu();
    if (systemMenu == nullptr)
        return;
    systemMenu->AppendSeparator();
    systemMenu->Append(IDM_ABOUTBOX, text);
}
