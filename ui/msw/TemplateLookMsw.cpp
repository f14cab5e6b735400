// Native Windows controls are the size the templates were laid out for: nothing to adjust.
#include "TemplateLook.h"

#include <wx/msgdlg.h>
#include <wx/string.h>

namespace dialog_template {

void ApplyTemplateLook(wxDialog&) {}

wxString MessageBoxText(const wxString& text) {
    return text;
}

int ShowMessageBox(wxWindow* parent, const wxString& text, const wxString& caption, long style) {
    wxMessageDialog box(parent, MessageBoxText(text), caption, style);
    return box.ShowModal();
}

} // namespace dialog_template
