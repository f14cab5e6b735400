#include "ConfigApp.h"

#include "FileSizeSignal.h"

#include "PortSelectDlg.h"
#include "SerialPort.h"
#include "StopSignal.h"
#include "version.h"

#include <wx/dialog.h>
#include <wx/toplevel.h>

namespace {

// Often enough that a stop feels immediate, rarely enough to cost nothing.
constexpr int kStopCheckMs = 100;

} // namespace

bool CConfigApp::OnInit() {
    IgnoreFileSizeSignal();
    SetAppName(ZK405_INTERNAL_NAME);
    SetAppDisplayName(ZK405_PRODUCT_NAME);
    SetVendorName(ZK405_COMPANY_NAME);
    // A signal only sets a flag (the exchange under way ends at it, see the settings window's link);
    // the timer, running in every modal window's loop, takes the windows down.
    InstallStopHandler();
    m_stopCheck.SetOwner(this);
    Bind(wxEVT_TIMER, &CConfigApp::OnStopCheck, this);
    m_stopCheck.Start(kStopCheckMs);
    // A false from OnInit would make wx end the process with an error status, yet closing the window
    // is the program's ordinary end: the answer is carried to OnRun instead.
    m_runMainLoop = InitInstance();
    return true;
}

int CConfigApp::OnRun() {
    const int status = m_runMainLoop ? wxApp::OnRun() : 0;
    m_stopCheck.Stop();
    if (!StopRequested())
        return status;
    // As the shell reports a program a signal ended, with the port, its lock and its log given back.
    if (g_serialPort.IsOpen())
        g_serialPort.Close();
    return 128 + StopSignalNumber();
}

void CConfigApp::OnStopCheck(wxTimerEvent&) {
    if (!StopRequested())
        return;
    wxDialog* innermost = nullptr;
    for (wxWindow* window : wxTopLevelWindows)
        if (auto* dialog = dynamic_cast<wxDialog*>(window); dialog != nullptr && dialog->IsModal())
            innermost = dialog;
    if (innermost != nullptr)
        innermost->EndModal(wxID_CANCEL);
}

bool CConfigApp::InitInstance() {
    CPortSelectDlg dlg(nullptr);
    if (!dlg.IsBuilt())
        return false;
    // Windows opened later without a parent of their own are owned by this one.
    SetTopWindow(&dlg);
    dlg.ShowModal();
    SetTopWindow(nullptr);
    return false;
}
