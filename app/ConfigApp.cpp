#include "ConfigApp.h"

#include "FileSizeSignal.h"

#include "PortSelectDlg.h"
#include "version.h"

bool CConfigApp::OnInit() {
    IgnoreFileSizeSignal();
    SetAppName(ZK405_INTERNAL_NAME);
    SetAppDisplayName(ZK405_PRODUCT_NAME);
    SetVendorName(ZK405_COMPANY_NAME);
    // A false from OnInit would make wx end the process with an error status, yet closing the window
    // is the program's ordinary end: the answer is carried to OnRun instead.
    m_runMainLoop = InitInstance();
    return true;
}

int CConfigApp::OnRun() {
    return m_runMainLoop ? wxApp::OnRun() : 0;
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
