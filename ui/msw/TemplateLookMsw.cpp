// Native Windows controls are the size the templates were laid out for: nothing to adjust. What wx
// leaves out of a control's template row is set on the native control after creation: the framework's
// identifiers 1 and 2, the static styles and the height of a dropped list. Check boxes and radio
// buttons stay of wx's own kind (BS_CHECKBOX, BS_RADIOBUTTON): wx changes their state itself on a
// click, and the automatic kinds would then change it twice.
#include "TemplateLook.h"

#include "DialogTemplate.h"
#include "UiText.h"

#include <wx/dialog.h>
#include <wx/msgdlg.h>
#include <wx/string.h>

#include <wx/msw/wrapwin.h>

#include <commctrl.h>

#include <algorithm>

namespace dialog_template {

namespace {

void ChangeNativeStyle(HWND hwnd, LONG_PTR clear, LONG_PTR add) {
    const LONG_PTR style = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
    ::SetWindowLongPtrW(hwnd, GWL_STYLE, (style & ~clear) | add);
}

// Tools that drive dialogs, accessibility tools and the dialog manager know OK and Cancel as controls
// 1 and 2, while wx knows them as wxID_OK and wxID_CANCEL, so the native identifier is set apart from
// wx's. A WM_COMMAND naming the button by its handle reaches it as a click whatever its identifier;
// one that gives the number alone comes to wx as a menu command, passed on to the button as a click.
void GiveFrameworkIdentifier(wxDialog& dialog, int id, wxWindow& button) {
    ::SetWindowLongPtrW(button.GetHWND(), GWLP_ID, id);
    dialog.Bind(
        wxEVT_MENU,
        [&button](wxCommandEvent&) {
            if (!button.IsEnabled())
                return;
            wxCommandEvent click(wxEVT_BUTTON, button.GetId());
            click.SetEventObject(&button);
            button.GetEventHandler()->ProcessEvent(click);
        },
        id);
}

// A combo box's template height is the box with its dropped list. With Common Controls 6 the list is
// as tall as its count of visible items (30 unless told), whatever the window's height, so the count
// is set to the rows that fit the template's extent below the text field.
void FitDroppedList(wxDialog& dialog, const Control& control, wxWindow& combo) {
    const HWND hwnd = combo.GetHWND();
    const int item = static_cast<int>(::SendMessageW(hwnd, CB_GETITEMHEIGHT, 0, 0));
    if (item <= 0)
        return;
    const int extent = dialog.ConvertDialogToPixels(wxSize(0, control.cy)).y;
    const int rows = std::max(1, (extent - combo.GetSize().y) / item);
    ::SendMessageW(hwnd, CB_SETMINVISIBLE, static_cast<WPARAM>(rows), 0);
}

} // namespace

void ApplyTemplateLook(wxDialog&) {}

void FinishControl(wxDialog& dialog, const Control& control, wxWindow& window) {
    const HWND hwnd = window.GetHWND();
    switch (control.kind) {
    case Kind::PushButton:
    case Kind::DefPushButton:
        if (control.id == kIdOk || control.id == kIdCancel)
            GiveFrameworkIdentifier(dialog, control.id, window);
        break;
    case Kind::Text:
        if (control.style & kNoWrap)
            ChangeNativeStyle(hwnd, SS_TYPEMASK, SS_LEFTNOWORDWRAP);
        if (control.style & kNoPrefix) {
            ChangeNativeStyle(hwnd, 0, SS_NOPREFIX);
            // "&" now shows as it is: the text goes in without the doubled "&&" wx needed.
            ::SetWindowTextW(hwnd, Utf8(control.text).wc_str());
        }
        break;
    case Kind::ComboBox:
        FitDroppedList(dialog, control, window);
        break;
    default:
        break;
    }
}

wxString MessageBoxText(const wxString& text) {
    return text;
}

int ShowMessageBox(wxWindow* parent, const wxString& text, const wxString& caption, long style) {
    wxMessageDialog box(parent, MessageBoxText(text), caption, style);
    return box.ShowModal();
}

} // namespace dialog_template
