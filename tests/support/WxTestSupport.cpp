// The wx application is initialised once for the whole run, without a main loop of its own, as the
// program itself runs: each modal window runs its own loop. Listing the tests needs no display.
#include "WxTestSupport.h"
#include "Deadline.h"
#include "ModuleSettingsDlg.h"
#include "TemplateLook.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/radiobut.h>
#include <wx/utils.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace wx_test {

namespace {

int g_settingsWindowsShown = 0;
int g_testHooksActive = 0;
std::vector<wxDialog*> g_runByTests; // shown by RunModal, innermost last

// The dialogs that run as they would for a user: the ones a test drives with RunModal, and the
// settings window, which the port selection window opens itself.
bool RunsFreely(wxDialog* dialog) {
    if (dynamic_cast<CModuleSettingsDlg*>(dialog) != nullptr) {
        ++g_settingsWindowsShown;
        return true;
    }
    return std::find(g_runByTests.begin(), g_runByTests.end(), dialog) != g_runByTests.end();
}

void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
    ADD_FAILURE() << "wx assertion " << cond.utf8_string() << " in " << func.utf8_string() << " at "
                  << file.utf8_string() << ":" << line << ": " << msg.utf8_string();
}

std::string Describe(wxDialog* dialog) {
    if (auto* box = dynamic_cast<wxMessageDialog*>(dialog))
        return "message box \"" + WxToUtf8(box->GetMessage()) + "\"";
    return "dialog \"" + WxToUtf8(dialog->GetTitle()) + "\"";
}

// Installed for the whole run: a modal dialog outside a wxTEST_DIALOG block fails the test.
class CatchAllModalHook : public wxModalDialogHook {
protected:
    int Enter(wxDialog* dialog) override {
        if (g_testHooksActive > 0 || RunsFreely(dialog))
            return wxID_NONE; // a wxTEST_DIALOG block answers it, or it runs
        ADD_FAILURE() << "unexpected " << Describe(dialog);
        return wxID_CANCEL;
    }
    void Exit(wxDialog*) override {}
};

} // namespace

int SettingsWindowsShown() {
    return g_settingsWindowsShown;
}

TestModalHook::TestModalHook(const char* file, int line, const char* func)
    : wxTestingModalHook(file, line, func) {
    ++g_testHooksActive;
}

TestModalHook::~TestModalHook() {
    --g_testHooksActive;
}

int TestModalHook::Enter(wxDialog* dialog) {
    if (RunsFreely(dialog))
        return wxID_NONE;
    const int answer = wxTestingModalHook::Enter(dialog);
    return answer != wxID_NONE ? answer : wxID_CANCEL;
}

void TestModalHook::ReportFailure(const wxString& message) {
    ADD_FAILURE() << message.utf8_string();
}

int ExpectMessage::OnInvoked(wxMessageDialog* box) const {
    EXPECT_EQ(WxToUtf8(box->GetMessage()), m_text);
    EXPECT_EQ(WxToUtf8(box->GetCaption()), m_caption);
    const long style = box->GetMessageDialogStyle();
    EXPECT_EQ(style & (wxOK | wxCANCEL | wxYES_NO), m_buttons);
    EXPECT_EQ(style & wxICON_MASK, wxICON_NONE);
    if (m_buttons & wxCANCEL) {
        EXPECT_FALSE(style & wxCANCEL_DEFAULT) << "OK is the default button";
    }
    if (m_waitCursor) {
        EXPECT_EQ(wxIsBusy(), *m_waitCursor) << "wait cursor";
    }
    return m_answer;
}

std::string Shown(const std::string& text) {
    return WxToUtf8(dialog_template::MessageBoxText(Utf8(text)));
}

int RunModal(wxDialog& dialog, const std::function<void()>& actions) {
    dialog.CallAfter([&dialog, actions] {
        Settle(50);
        actions();
        if (dialog.IsModal())
            dialog.EndModal(kLeftOpen);
    });
    g_runByTests.push_back(&dialog);
    const int result = dialog.ShowModal();
    g_runByTests.pop_back();
    return result;
}

void Click(wxWindow* control) {
    ASSERT_NE(control, nullptr);
    ASSERT_TRUE(control->IsEnabled()) << "a disabled control cannot be clicked";
    if (auto* button = dynamic_cast<wxButton*>(control)) {
        wxCommandEvent event(wxEVT_BUTTON, button->GetId());
        event.SetEventObject(button);
        button->GetEventHandler()->ProcessEvent(event);
    } else if (auto* check = dynamic_cast<wxCheckBox*>(control)) {
        check->SetValue(!check->GetValue());
        wxCommandEvent event(wxEVT_CHECKBOX, check->GetId());
        event.SetEventObject(check);
        event.SetInt(check->GetValue() ? 1 : 0);
        check->GetEventHandler()->ProcessEvent(event);
    } else if (auto* radio = dynamic_cast<wxRadioButton*>(control)) {
        radio->SetValue(true);
        wxCommandEvent event(wxEVT_RADIOBUTTON, radio->GetId());
        event.SetEventObject(radio);
        event.SetInt(1);
        radio->GetEventHandler()->ProcessEvent(event);
    } else {
        FAIL() << "not a clickable control";
    }
}

void PressKey(wxWindow& target, int keyCode) {
    wxKeyEvent event(wxEVT_CHAR_HOOK);
    event.m_keyCode = keyCode;
    event.SetEventObject(&target);
    target.ProcessWindowEvent(event);
}

void Settle(int milliseconds) {
    for (const Deadline end(milliseconds); !end.Passed();) {
        wxTheApp->Yield(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool SaveScreenshot(wxWindow& window, const std::string& path) {
    // Read from the X server: a wx screen DC on GTK 3 can hand back pixels from before the last
    // repaint.
    const wxPoint origin = window.ClientToScreen(wxPoint(0, 0));
    const wxSize size = window.GetClientSize();
    const std::string command = "import -window root -crop " + std::to_string(size.x) + "x" +
                                std::to_string(size.y) + "+" + std::to_string(origin.x) + "+" +
                                std::to_string(origin.y) + " +repage '" + path + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

} // namespace wx_test

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();

    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "The window tests need a display (run them under Xvfb).\n");
        return 1;
    }
    wxTheApp->SetExitOnFrameDelete(false); // windows come and go; the run ends when the tests do
    wxInitAllImageHandlers();
    wxSetAssertHandler(wx_test::FailOnAssert);
    int result;
    {
        wx_test::CatchAllModalHook hook;
        hook.Register();
        result = RUN_ALL_TESTS();
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
