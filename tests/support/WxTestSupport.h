// The window tests' harness: one wx application for the whole run (it needs a display, Xvfb in CI),
// every modal dialog a test does not expect fails the test instead of waiting for a user, message
// boxes are answered by wxTEST_DIALOG expectations that check their text, caption and buttons, and
// the settings window is driven from inside its own modal loop. The library brings its own main().
#pragma once

#include "UiText.h"

#include <gtest/gtest.h>

#include <wx/msgdlg.h>
#include <wx/testing.h>

#include <functional>
#include <optional>
#include <string>

class wxDialog;
class wxWindow;

namespace wx_test {

// Counts the settings windows that really went modal (were shown).
int SettingsWindowsShown();

// The hook wxTEST_DIALOG installs: the settings window itself runs, an unexpected dialog fails the
// test and is answered with Cancel instead of blocking the run.
class TestModalHook : public wxTestingModalHook {
public:
    TestModalHook(const char* file, int line, const char* func);
    ~TestModalHook() override;

protected:
    int Enter(wxDialog* dialog) override;
    void ReportFailure(const wxString& message) override;
};

// A message box with exactly this text (UTF-8, as shown), caption and buttons, and no icon; when
// waitCursor is given, the wait cursor shows (or not) while the box is up.
class ExpectMessage : public wxExpectModalBase<wxMessageDialog, ExpectMessage> {
public:
    ExpectMessage(std::string text, std::string caption, long buttons, int answer,
                  std::optional<bool> waitCursor = std::nullopt)
        : m_text(std::move(text)), m_caption(std::move(caption)), m_buttons(buttons), m_answer(answer),
          m_waitCursor(waitCursor) {}

protected:
    int OnInvoked(wxMessageDialog* box) const override;

private:
    std::string m_text;
    std::string m_caption;
    long m_buttons;
    int m_answer;
    std::optional<bool> m_waitCursor;
};

// The text as the message box is given it (on GTK: LF for CR, spaces up to the TAB stops).
std::string Shown(const std::string& text);

// Runs actions inside the dialog's modal loop once it is shown; ends the loop with kLeftOpen when
// the actions leave the dialog running (also when an assertion returned early from them).
inline constexpr int kLeftOpen = 4242;
int RunModal(wxDialog& dialog, const std::function<void()>& actions);

// User actions, delivered as the control would deliver them: a click on a button, check box or
// radio button, and a key pressed where the focus is (the dialog's char hook sees it).
void Click(wxWindow* control);
void PressKey(wxWindow& target, int keyCode);
// Lets GTK map and paint what is shown.
void Settle(int milliseconds = 200);

// Saves the window's client area as it is on screen to a PNG (needs ImageMagick's import).
bool SaveScreenshot(wxWindow& window, const std::string& path);

} // namespace wx_test

#undef wxTEST_DIALOG_HOOK_CLASS
#define wxTEST_DIALOG_HOOK_CLASS wx_test::TestModalHook
