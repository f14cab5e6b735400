// Native Windows controls are the size the templates were laid out for: nothing to adjust.
#include "TemplateLook.h"

namespace dialog_template {

void ApplyTemplateLook(wxDialog&) {}

} // namespace dialog_template
