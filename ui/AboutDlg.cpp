#include "AboutDlg.h"

#include "ResourceImages.h"
#include "resource.h"
#include "version.h"

using namespace dialog_template;

// clang-format off
// Template 100, one control per row in template order (x, y, width, height in dialog units).
const Template& CAboutDlg::DialogTemplate() {
    static const Template dialogTemplate{
        .id = IDD_ABOUTBOX,
        .caption = "About ZK405",
        .cx = 235, .cy = 55,
        .fontFace = "MS Sans Serif", .pointSize = 8,
        .frame = kNone,
        .controls = {
            {.kind = Kind::Icon, .x = 11, .y = 17, .cx = 20, .cy = 20, .resourceId = IDR_MAINFRAME},
            {.kind = Kind::Text, .style = kNoPrefix, .x = 40, .y = 10, .cx = 129, .cy = 8, .text = "Konfigurator modułu KALDOR ZK405"},
            {.kind = Kind::Text, .x = 41, .y = 33, .cx = 119, .cy = 8, .text = ZK405_COPYRIGHT},
            {.id = kIdOk, .kind = Kind::DefPushButton, .style = kTabStop | kGroup, .x = 178, .y = 7, .cx = 50, .cy = 14, .text = "OK"},
            {.kind = Kind::Text, .x = 41, .y = 21, .cx = 37, .cy = 8, .text = "wersja 1.01"},
        },
    };
    return dialogTemplate;
}
// clang-format on

CAboutDlg::CAboutDlg(wxWindow* parent) {
    m_built = BuildDialog(*this, parent, DialogTemplate(), LoadResourceImage, m_controls);
}
