// Native Windows controls are the size the templates were laid out for: nothing to adjust.
#include "TemplateLook.h"

#include <wx/string.h>

namespace dialog_template {

void ApplyTemplateLook(wxDialog&) {}

wxString MessageBoxText(const wxString& text) {
    return text;
}

} // namespace dialog_template
