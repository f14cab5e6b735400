// The windows as Windows itself sees them, through user32: the identifiers tools and the dialog
// manager use, and the native styles the templates name.
#include "AboutDlg.h"
#include "ModuleSettingsDlg.h"
#include "PortSelectDlg.h"
#include "WxTestSupport.h"
#include "resource.h"

#include <wx/msw/wrapwin.h>

#include <commctrl.h>

#include <string>
#include <vector>

using namespace wx_test;

namespace {

std::wstring Text(HWND hwnd) {
    wchar_t text[128] = {};
    ::GetWindowTextW(hwnd, text, 128);
    return text;
}

// The window's controls whose native style has all these bits, by their texts.
std::vector<std::wstring> WithStyle(const dialog_template::BuiltControls& controls, LONG_PTR mask,
                                    LONG_PTR bits) {
    std::vector<std::wstring> texts;
    for (const auto& [id, window] : controls.All())
        if ((::GetWindowLongPtrW(window->GetHWND(), GWL_STYLE) & mask) == bits)
            texts.push_back(Text(window->GetHWND()));
    return texts;
}

} // namespace

TEST(NativeWindows, OkAndCancelAreControlsOneAndTwoAndACommandForThemEndsTheWindow) {
    CPortSelectDlg ports;
    HWND cancel = ::GetDlgItem(ports.GetHWND(), IDCANCEL);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(::GetDlgCtrlID(cancel), 2);
    EXPECT_EQ(Text(cancel), L"Zako\u0144cz");
    RunModal(ports, [&] {
        ::SendMessageW(ports.GetHWND(), WM_COMMAND, IDCANCEL, 0); // as a tool sends it: no handle
        EXPECT_FALSE(ports.IsShown());
        EXPECT_EQ(ports.GetReturnCode(), wxID_CANCEL);
    });

    CAboutDlg about;
    HWND ok = ::GetDlgItem(about.GetHWND(), IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(Text(ok), L"OK");
    RunModal(about, [&] {
        ::SendMessageW(about.GetHWND(), WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(ok));
        EXPECT_FALSE(about.IsShown());
        EXPECT_EQ(about.GetReturnCode(), wxID_OK);
    });
}

TEST(NativeWindows, CombosDropToTheTemplatesExtentAndStaticsCarryTheirStyles) {
    CPortSelectDlg ports;
    CModuleSettingsDlg settings;
    CAboutDlg about;
    // Rows a dropped list shows before it scrolls; Common Controls would show 30.
    EXPECT_EQ(::SendDlgItemMessageW(ports.GetHWND(), IDC_PORT_LIST, CB_GETMINVISIBLE, 0, 0), 3);
    EXPECT_EQ(::SendDlgItemMessageW(settings.GetHWND(), IDC_PROTOCOL, CB_GETMINVISIBLE, 0, 0), 5);
    EXPECT_EQ(WithStyle(settings.Controls(), SS_TYPEMASK | WS_TABSTOP, SS_LEFTNOWORDWRAP),
              std::vector<std::wstring>{L"Uwaga: poni\u017Csze funkcje s\u0142u\u017C\u0105 do zmiany "
                                        L"paramter\u00F3w pracy modu\u0142u ZK405."});
    EXPECT_EQ(WithStyle(about.Controls(), SS_NOPREFIX, SS_NOPREFIX),
              std::vector<std::wstring>{L"Konfigurator modu\u0142u KALDOR ZK405"});
}
