// The windows as Windows itself sees them, through user32 rather than wx: the identifiers that tools
// and the dialog manager use, the native styles the templates name, and the manifest of ZK405.EXE.
#include "AboutDlg.h"
#include "ModuleSettingsDlg.h"
#include "PortSelectDlg.h"
#include "WxTestSupport.h"
#include "resource.h"

#include <wx/msw/wrapwin.h>

#include <commctrl.h>

#include <string>

using namespace wx_test;

namespace {

std::wstring Text(HWND hwnd) {
    wchar_t text[128] = {};
    ::GetWindowTextW(hwnd, text, 128);
    return text;
}

LONG_PTR Style(HWND hwnd) {
    return ::GetWindowLongPtrW(hwnd, GWL_STYLE);
}

// Rows the dropped list shows before it scrolls (Common Controls would show 30).
void ExpectDroppedList(HWND combo, int rows) {
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(::SendMessageW(combo, CB_GETMINVISIBLE, 0, 0), rows);
}

} // namespace

TEST(NativeWindows, OkAndCancelAreControlsOneAndTwoAndACommandForThemEndsTheWindow) {
    CPortSelectDlg ports;
    HWND cancel = ::GetDlgItem(ports.GetHWND(), IDCANCEL);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(::GetDlgCtrlID(cancel), 2);
    EXPECT_EQ(Text(cancel), L"Zako\u0144cz");
    // As a tool sends it: the identifier alone, no control handle.
    RunModal(ports, [&] {
        ::SendMessageW(ports.GetHWND(), WM_COMMAND, IDCANCEL, 0);
        EXPECT_FALSE(ports.IsShown());
        EXPECT_EQ(ports.GetReturnCode(), wxID_CANCEL);
    });

    CAboutDlg about;
    HWND ok = ::GetDlgItem(about.GetHWND(), IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(::GetDlgCtrlID(ok), 1);
    EXPECT_EQ(Text(ok), L"OK");
    // As the dialog manager sends it: with the button's handle.
    RunModal(about, [&] {
        ::SendMessageW(about.GetHWND(), WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(ok));
        EXPECT_FALSE(about.IsShown());
        EXPECT_EQ(about.GetReturnCode(), wxID_OK);
    });
}

TEST(NativeWindows, CombosDropToTheTemplatesExtentAndStaticsCarryTheirStyles) {
    CPortSelectDlg ports;
    ExpectDroppedList(::GetDlgItem(ports.GetHWND(), IDC_PORT_LIST), 3);
    CModuleSettingsDlg settings;
    ExpectDroppedList(::GetDlgItem(settings.GetHWND(), IDC_PROTOCOL), 5);

    int noWrap = 0;
    for (const auto& [id, window] : settings.Controls().All())
        if ((Style(window->GetHWND()) & SS_TYPEMASK) == SS_LEFTNOWORDWRAP) {
            ++noWrap;
            EXPECT_EQ(Text(window->GetHWND()).rfind(L"Uwaga: poni", 0), 0u);
        }
    EXPECT_EQ(noWrap, 1);
    CAboutDlg about;
    int noPrefix = 0;
    for (const auto& [id, window] : about.Controls().All())
        if (Style(window->GetHWND()) & SS_NOPREFIX) {
            ++noPrefix;
            EXPECT_EQ(Text(window->GetHWND()), L"Konfigurator modu\u0142u KALDOR ZK405");
        }
    EXPECT_EQ(noPrefix, 1);
}

// Windows must not stretch the windows as a bitmap at 125 % and more: the program says it scales them.
TEST(NativeWindows, ProgramDeclaresPerMonitorDpiAwareness) {
    HMODULE program = ::LoadLibraryExW(ZK405_PROGRAM, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    HRSRC found = ::FindResourceW(program, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)); // RT_MANIFEST
    ASSERT_NE(found, nullptr);
    const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(program, found)));
    const std::string manifest(bytes, ::SizeofResource(program, found));
    EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    ::FreeLibrary(program);
}
