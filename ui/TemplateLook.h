// Makes a template dialog's controls fit their dialog-unit slots on toolkits whose controls are taller
// than the templates were laid out for.
#pragma once

class wxDialog;

namespace dialog_template {

void ApplyTemplateLook(wxDialog& dialog);

} // namespace dialog_template
