// Helpers for driving modal windows from tests.
#pragma once

#include <wx/dialog.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#include <functional>
#include <vector>

// False when no X display could be opened; window tests skip then.
bool HaveDisplay();

#define REQUIRE_DISPLAY()                                                                                    \
    if (!HaveDisplay())                                                                                      \
    GTEST_SKIP() << "no display"

// Shows the dialog modally, runs body once its modal loop is running (initialisation done), then ends
// the dialog with endCode unless body ended it. Returns what ShowModal returned.
inline int RunModal(wxDialog& dialog, const std::function<void()>& body, int endCode = wxID_ABORT) {
    dialog.CallAfter([&dialog, body, endCode] {
        body();
        if (dialog.IsModal())
            dialog.EndModal(endCode);
    });
    return dialog.ShowModal();
}

// Answers every message box with OK and keeps what it said; all other modal windows run as usual.
class MessageBoxAnswerer : public wxModalDialogHook {
public:
    struct Box {
        wxString message;
        wxString caption;
        bool busyCursor; // whether the wait cursor was showing when the box came up
    };

    MessageBoxAnswerer() { Register(); }
    ~MessageBoxAnswerer() override { Unregister(); }

    const std::vector<Box>& Boxes() const { return m_boxes; }

protected:
    int Enter(wxDialog* dialog) override {
        if (auto* box = dynamic_cast<wxMessageDialog*>(dialog)) {
            m_boxes.push_back({box->GetMessage(), box->GetCaption(), wxIsBusy()});
            return wxID_OK;
        }
        return wxID_NONE;
    }
    void Exit(wxDialog*) override {}

private:
    std::vector<Box> m_boxes;
};
