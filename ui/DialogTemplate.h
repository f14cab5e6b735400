// Dialog templates as data, the way a resource script holds them: a caption, a size in dialog units,
// a font and a table of controls in template order. BuildDialog turns a table into wx controls, so a
// window's layout lives in one readable table instead of being spread over construction code.
#pragma once

#include <wx/bmpbndl.h>
#include <wx/dialog.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

namespace dialog_template {

// The identifiers the templates use for the framework's OK and Cancel buttons; wx knows them as
// wxID_OK and wxID_CANCEL. Statics without an identifier carry kNoId.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kNoId = -1;

enum class Kind {
    Text,          // left-aligned static text
    Picture,       // static bitmap, by resource id
    Icon,          // static icon, by resource id
    PushButton,    //
    DefPushButton, // the dialog's default button
    AutoCheckBox,  //
    AutoRadioButton,
    Edit,     // single-line edit
    ComboBox, // editable text field with a drop-down list
};

// Control styles; a control without kTabStop is skipped by Tab.
inline constexpr uint32_t kNone = 0;
inline constexpr uint32_t kTabStop = 1u << 0;
inline constexpr uint32_t kGroup = 1u << 1; // a radio button that starts a new group
inline constexpr uint32_t kDisabled = 1u << 2;
inline constexpr uint32_t kSorted = 1u << 3; // combo box list kept in alphabetical order
inline constexpr uint32_t kVScroll = 1u << 4;
inline constexpr uint32_t kBorder = 1u << 5;
inline constexpr uint32_t kAutoHScroll = 1u << 6;
inline constexpr uint32_t kNoPrefix = 1u << 7; // "&" is shown, not taken as a mnemonic
inline constexpr uint32_t kNoWrap = 1u << 8;

// Dialog frame styles; every template dialog has a caption and a system menu with a close box.
inline constexpr uint32_t kMinimizeBox = 1u << 0;
inline constexpr uint32_t kAppWindow = 1u << 1; // its own taskbar entry even when it has a parent

// Templates are written with designated initialisers, one row per control; a field left out keeps
// the default below (a static without an identifier, no style, no text).
struct Control {
    int id = kNoId;
    Kind kind = Kind::Text;
    uint32_t style = kNone;
    int x = 0, y = 0, cx = 0, cy = 0; // dialog units
    const char* text = "";            // UTF-8
    int resourceId = 0;               // Picture and Icon
    std::vector<const char*> items{}; // ComboBox: the initial list, UTF-8
};

struct Template {
    int id = 0;
    const char* caption = ""; // UTF-8
    int cx = 0, cy = 0;       // client area, dialog units
    const char* fontFace = "MS Sans Serif";
    int pointSize = 8;
    uint32_t frame = kNone;
    std::vector<Control> controls;
};

// Maps a resource id (icon 128, bitmap 129) to its image; an empty bundle leaves the control blank.
using ImageLoader = std::function<wxBitmapBundle(int resourceId)>;

// The controls BuildDialog created, in template order, with the template's identifiers.
class BuiltControls {
public:
    void Add(int templateId, wxWindow* window) { m_controls.emplace_back(templateId, window); }

    // The first control with this template identifier, nullptr when there is none.
    wxWindow* Find(int templateId) const;
    template <class T> T* Get(int templateId) const { return dynamic_cast<T*>(Find(templateId)); }

    const std::vector<std::pair<int, wxWindow*>>& All() const { return m_controls; }

private:
    std::vector<std::pair<int, wxWindow*>> m_controls;
};

// The wx identifier of a template identifier: 1 and 2 become wxID_OK and wxID_CANCEL, kNoId wxID_ANY.
int ToWxId(int templateId);

// The template's font, or the system sans font at the same size where that face is not installed.
wxFont TemplateFont(const Template& dialogTemplate);

// Creates the dialog window (an uncreated wxDialog, e.g. one made with its default constructor) and
// its controls in template order, which is therefore also the tab order. Dialog units are converted
// with the template's font, which the dialog and all its controls use; a static text too long for its
// slot in that font (a substitute's, say) is widened to the right, at most to the window's edge.
bool BuildDialog(wxDialog& dialog, wxWindow* parent, const Template& dialogTemplate,
                 const ImageLoader& images, BuiltControls& controlsOut);

// A template window without a default button takes Enter as the Windows dialog manager does: on a
// push button it presses that button, anywhere else it is the window's OK, which runs onOk.
void HandleEnterAsOk(wxDialog& dialog, std::function<void()> onOk);

} // namespace dialog_template
