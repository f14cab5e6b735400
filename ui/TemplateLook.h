// Makes a template dialog's controls fit their dialog-unit slots on toolkits whose controls are taller
// than the templates were laid out for, and gives each control what the toolkit's own creation leaves
// out of its template row.
#pragma once

class wxDialog;
class wxString;
class wxWindow;

namespace dialog_template {

struct Control;

void ApplyTemplateLook(wxDialog& dialog);

// Called for each control right after it is created from its row: on Windows the native identifier
// (1 and 2 for OK and Cancel) and the native styles wx has no flag for; on GTK a combo box whose
// drop-down button is no tab stop of its own.
void FinishControl(wxDialog& dialog, const Control& control, wxWindow& window);

// A message box text as the toolkit's message box needs it to break lines where the text has CR.
wxString MessageBoxText(const wxString& text);

// Shows a message box (wxMessageDialog, so tests can answer it) whose line breaks and TABs look as
// they would in a Windows message box: CR breaks lines, TABs stop every eight average characters.
int ShowMessageBox(wxWindow* parent, const wxString& text, const wxString& caption, long style);

} // namespace dialog_template
