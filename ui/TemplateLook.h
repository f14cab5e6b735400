// Makes a template dialog's controls fit their dialog-unit slots on toolkits whose controls are taller
// than the templates were laid out for.
#pragma once

class wxDialog;
class wxString;

namespace dialog_template {

void ApplyTemplateLook(wxDialog& dialog);

// A message box text as the toolkit's message box needs it to break lines where the text has CR.
wxString MessageBoxText(const wxString& text);

} // namespace dialog_template
