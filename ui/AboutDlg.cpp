#include "AboutDlg.h"

#include "ResourceImages.h"
#include "resource.h"
#include "version.h"

using namespace dialog_template;

const Template& CAboutDlg::DialogTemplate() {
    static const Template dialogTemplate{
        IDD_ABOUTBOX,
        "About ZK405",
        235,
        55,
        "MS Sans Serif",
        8,
        kNone,
        {
            {kNoId, Kind::Icon, kNone, 11, 17, 20, 20, "", IDR_MAINFRAME},
            {kNoId, Kind::Text, kNoPrefix, 40, 10, 129, 8, "Konfigurator modułu KALDOR ZK405"},
            {kNoId, Kind::Text, kNone, 41, 33, 119, 8, ZK405_COPYRIGHT},
            {kIdOk, Kind::DefPushButton, kTabStop | kGroup, 178, 7, 50, 14, "OK"},
            {kNoId, Kind::Text, kNone, 41, 21, 37, 8, "wersja 1.01"},
        },
    };
    return dialogTemplate;
}

CAboutDlg::CAboutDlg(wxWindow* parent) {
    m_built = BuildDialog(*this, parent, DialogTemplate(), LoadResourceImage, m_controls);
}
