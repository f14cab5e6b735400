// GTK themes pad buttons, entries and combo boxes to 34 px and more, while a 14-unit slot is about
// 23 px: left alone, wx would still allocate their minimum height and they would overlap the controls
// below. A style class on template dialogs takes the padding and minimum heights away, for those
// dialogs only, so message boxes keep the theme's look. The same dialogs get their keyboard focus back
// after a modal window they owned has gone, as Windows' dialog manager gives it back.
#include "TemplateLook.h"

#include "DialogTemplate.h"

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
/* The theme greys a disabled field's text only, so an empty one looks as if it took input: it gets
   a face a shade darker than the window's, a faint border and faint text, as Windows greys it. */
.zk405-template entry:disabled,
.zk405-template combobox entry:disabled,
.zk405-template combobox button:disabled,
.zk405-template radiobutton:disabled radio {
    background-image: none;
    background-color: shade(@theme_bg_color, 0.92);
    border-color: alpha(@theme_fg_color, 0.25);
    box-shadow: none;
    color: alpha(@theme_fg_color, 0.45);
}
.zk405-template radiobutton:disabled label {
    color: alpha(@theme_fg_color, 0.45);
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

void TakeButtonsOutOfTabOrder(GtkWidget* widget, gpointer) {
    if (GTK_IS_BUTTON(widget))
        gtk_widget_set_can_focus(widget, FALSE);
    else if (GTK_IS_CONTAINER(widget))
        gtk_container_forall(GTK_CONTAINER(widget), TakeButtonsOutOfTabOrder, nullptr);
}

// A window made insensitive, as wx does with a modal window's owner, loses its focus widget and GTK
// does not give it back: until a Tab, keys would go nowhere. The last focus widget is remembered (a
// weak pointer, the widget may go first) and focused again once the window is sensitive again; wx
// makes the window's contents sensitive after the window itself, hence the idle call.
class FocusKeeper {
public:
    static void Install(GtkWidget* window) {
        auto* keeper = new FocusKeeper;
        g_object_set_data_full(G_OBJECT(window), kKey, keeper,
                               [](gpointer data) { delete static_cast<FocusKeeper*>(data); });
        g_signal_connect(window, "set-focus", G_CALLBACK(OnSetFocus), keeper);
        g_signal_connect(window, "notify::sensitive", G_CALLBACK(OnSensitive), nullptr);
    }

    FocusKeeper() = default;
    FocusKeeper(const FocusKeeper&) = delete;
    FocusKeeper& operator=(const FocusKeeper&) = delete;
    ~FocusKeeper() { Remember(nullptr); }

private:
    static constexpr const char* kKey = "zk405-focus-keeper";

    void Remember(GtkWidget* widget) {
        if (m_last != nullptr)
            g_object_remove_weak_pointer(G_OBJECT(m_last), reinterpret_cast<gpointer*>(&m_last));
        m_last = widget;
        if (m_last != nullptr)
            g_object_add_weak_pointer(G_OBJECT(m_last), reinterpret_cast<gpointer*>(&m_last));
    }

    static void OnSetFocus(GtkWindow*, GtkWidget* widget, gpointer data) {
        // No widget: the focus was taken away, not moved; the last one is kept for later.
        if (widget != nullptr)
            static_cast<FocusKeeper*>(data)->Remember(widget);
    }

    static void OnSensitive(GObject* window, GParamSpec*, gpointer) {
        if (gtk_widget_get_sensitive(GTK_WIDGET(window)))
            g_idle_add_full(G_PRIORITY_HIGH_IDLE, GiveFocusBack, g_object_ref(window), g_object_unref);
    }

    static gboolean GiveFocusBack(gpointer data) {
        GtkWidget* window = GTK_WIDGET(data);
        const auto* keeper = static_cast<const FocusKeeper*>(g_object_get_data(G_OBJECT(window), kKey));
        if (keeper == nullptr || !gtk_widget_is_sensitive(window) ||
            gtk_window_get_focus(GTK_WINDOW(window)) != nullptr)
            return G_SOURCE_REMOVE;
        GtkWidget* last = keeper->m_last;
        if (last != nullptr && gtk_widget_is_sensitive(last) && gtk_widget_get_visible(last))
            gtk_widget_grab_focus(last);
        return G_SOURCE_REMOVE;
    }

    GtkWidget* m_last = nullptr;
};

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
    if (widget == nullptr)
        return;
    gtk_style_context_add_class(gtk_widget_get_style_context(widget), kStyleClass);
    if (GTK_IS_WINDOW(widget))
        FocusKeeper::Install(widget);
}

// GTK gives a combo box's drop-down button a tab stop of its own, so Tab from the text field would land
// there instead of on the next control. The button is an internal child that only forall reaches;
// the list still drops down with a click or Alt+Down.
void FinishControl(wxDialog&, const Control& control, wxWindow& window) {
    GtkWidget* widget = window.GetHandle();
    if (control.kind == Kind::ComboBox && widget != nullptr && GTK_IS_CONTAINER(widget))
        gtk_container_forall(GTK_CONTAINER(widget), TakeButtonsOutOfTabOrder, nullptr);
}

} // namespace dialog_template
