// Makes a template dialog's controls fit their dialog-unit slots on toolkits whose controls are taller
// than the templates were laid out for.
#pragma once

class wxDialog;
class wxString;
class wxWindow;

namespace dialog_template {

void ApplyTemplateLook(wxDialog& dialog);

// A message box text as the toolkit's message box needs it to break lines where the text has CR.
wxString MessageBoxText(const wxString& text);

// Shows a message box (wxMessageDialog, so tests can answer it) whose line breaks and TABs look as
// they would in a Windows message box: CR breaks lines, TABs stop every eight average characters.
int ShowMessageBox(wxWindow* parent, const wxString& text, const wxString& caption, long style);

} // namespace dialog_template
