// GTK themes pad buttons, entries and combo boxes to 34 px and more, while a 14-unit slot is about
// 23 px: left alone, wx would still allocate their minimum height and they would overlap the controls
// below. A style class on template dialogs takes the padding and minimum heights away, for those
// dialogs only, so message boxes keep the theme's look.
#include "TemplateLook.h"

#include <wx/dialog.h>

#include <gtk/gtk.h>

namespace dialog_template {

namespace {

constexpr const char* kStyleClass = "zk405-template";

constexpr const char* kCss = R"css(
.zk405-template button,
.zk405-template entry,
.zk405-template combobox button,
.zk405-template combobox entry {
    min-height: 0;
    padding-top: 0;
    padding-bottom: 0;
}
.zk405-template button { padding-left: 4px; padding-right: 4px; }
.zk405-template entry { padding-left: 3px; padding-right: 3px; }
.zk405-template checkbutton,
.zk405-template radiobutton {
    min-height: 0;
    padding-top: 0;
    padding-bottom: 0;
}
.zk405-template check,
.zk405-template radio {
    min-height: 12px;
    min-width: 12px;
    margin: 0 3px 0 0;
}
)css";

void InstallCssOnce() {
    static bool installed = false;
    if (installed)
        return;
    GdkScreen* screen = gdk_screen_get_default();
    if (screen == nullptr)
        return;
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, kCss, -1, nullptr);
    gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider); // the screen keeps its own reference
    installed = true;
}

} // namespace

// A GTK label breaks lines at LF only; a bare CR would run the lines together.
wxString MessageBoxText(const wxString& text) {
    wxString shown(text);
    shown.Replace(wxS("\r\n"), wxS("\n"));
    shown.Replace(wxS("\r"), wxS("\n"));
    return shown;
}

void ApplyTemplateLook(wxDialog& dialog) {
    InstallCssOnce();
    GtkWidget* widget = dialog.GetHandle();
    if (widget != nullptr)
        gtk_style_context_add_class(gtk_widget_get_style_context(widget), kStyleClass);
}

} // namespace dialog_template
