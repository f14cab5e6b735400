// GTK themes pad buttons, entries and combo boxes to 34 px and more, while a 14-unit slot is about
// 23 px: left alone, wx would still allocate their minimum height and they would overlap the controls
// below. A style class on template dialogs takes the padding and minimum heights away, for those
// dialogs only, so message boxes keep the theme's look.
#include "TemplateLook.h"

#include <wx/dcscreen.h>
#include <wx/dialog.h>
#include <wx/msgdlg.h>
#include <wx/settings.h>

#include <gtk/gtk.h>

#include <algorithm>

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

// Windows expands a message box's TABs to stops eight average characters apart, which is what lines
// up the summary's values; a GTK label has no such stops, so the TABs become spaces up to the stop
// the message font would reach. A GTK label also breaks lines at LF only, not at a bare CR.
wxString MessageBoxText(const wxString& text) {
    wxString lines(text);
    lines.Replace(wxS("\r\n"), wxS("\n"));
    lines.Replace(wxS("\r"), wxS("\n"));
    if (!lines.Contains(wxS("\t")))
        return lines;

    wxScreenDC dc;
    dc.SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
    const int stop = 8 * dc.GetTextExtent(wxS("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")).x / 52;
    const int space = dc.GetTextExtent(wxS(" ")).x;
    if (stop <= 0 || space <= 0)
        return lines;
    wxString shown;
    wxString line;
    int reached = 0; // the last stop filled up to: spaces may end a little short of it
    for (const wxUniChar c : lines) {
        if (c == '\n') {
            shown += line + c;
            line.clear();
            reached = 0;
        } else if (c == '\t') {
            reached = (std::max(dc.GetTextExtent(line).x, reached) / stop + 1) * stop;
            do
                line += ' ';
            while (dc.GetTextExtent(line).x + space / 2 < reached);
        } else {
            line += c;
        }
    }
    return shown + line;
}

int ShowMessageBox(wxWindow* parent, const wxString& text, const wxString& caption, long style) {
    wxMessageDialog box(parent, MessageBoxText(text), caption, style);
    return box.ShowModal();
}

void ApplyTemplateLook(wxDialog& dialog) {
    InstallCssOnce();
    GtkWidget* widget = dialog.GetHandle();
    if (widget != nullptr)
        gtk_style_context_add_class(gtk_widget_get_style_context(widget), kStyleClass);
}

} // namespace dialog_template
