#include "DialogTemplate.h"

#include "TemplateLook.h"
#include "UiText.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/fontenum.h>
#include <wx/radiobut.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>

namespace dialog_template {

namespace {

// A combo box template's height includes its dropped list; the closed box is one edit line high.
constexpr int kComboFieldHeightDu = 13;

wxRect PixelRect(const wxDialog& dialog, const Control& control) {
    const wxPoint position = dialog.ConvertDialogToPixels(wxPoint(control.x, control.y));
    const wxSize size = dialog.ConvertDialogToPixels(wxSize(control.cx, control.cy));
    return wxRect(position, size);
}

wxWindow* CreateText(wxDialog& dialog, const Control& control, int id, const wxRect& rect) {
    wxString text = Utf8(control.text);
    if (control.style & kNoPrefix)
        text = wxControl::EscapeMnemonics(text);
    // The rectangle is the template's: the text is neither wrapped nor allowed to resize its control.
    long style = wxALIGN_LEFT | wxST_NO_AUTORESIZE;
    return new wxStaticText(&dialog, id, text, rect.GetPosition(), rect.GetSize(), style);
}

wxWindow* CreatePicture(wxDialog& dialog, const Control& control, int id, const wxRect& rect,
                        const ImageLoader& images) {
    const wxBitmapBundle image = images ? images(control.resourceId) : wxBitmapBundle();
    // The picture fills the template's rectangle, which was laid out for it; an icon keeps its size.
    wxBitmap bitmap;
    wxSize size = rect.GetSize();
    if (image.IsOk()) {
        if (control.kind == Kind::Picture) {
            // Scaled here: a bundle's own rescaling only marks the bitmap with a scale factor, and
            // the control would draw it at its original size.
            bitmap = image.GetBitmap(wxDefaultSize);
            if (bitmap.IsOk() && bitmap.GetSize() != rect.GetSize())
                bitmap =
                    wxBitmap(bitmap.ConvertToImage().Scale(rect.width, rect.height, wxIMAGE_QUALITY_HIGH));
        } else {
            bitmap = image.GetBitmap(wxDefaultSize);
            size = bitmap.GetSize();
        }
    }
    return new wxStaticBitmap(&dialog, id, bitmap.IsOk() ? wxBitmapBundle(bitmap) : wxBitmapBundle(),
                              rect.GetPosition(), size);
}

wxWindow* CreateControl(wxDialog& dialog, const Control& control, const ImageLoader& images) {
    const int id = ToWxId(control.id);
    const wxRect rect = PixelRect(dialog, control);
    const wxString text = Utf8(control.text);
    switch (control.kind) {
    case Kind::Text:
        return CreateText(dialog, control, id, rect);
    case Kind::Picture:
    case Kind::Icon:
        return CreatePicture(dialog, control, id, rect, images);
    case Kind::PushButton:
    case Kind::DefPushButton: {
        // Exact fit: the template gives the size, and the toolkit's default button size must not
        // count as the button's own minimum.
        auto* button = new wxButton(&dialog, id, text, rect.GetPosition(), rect.GetSize(), wxBU_EXACTFIT);
        if (control.kind == Kind::DefPushButton)
            button->SetDefault();
        return button;
    }
    case Kind::AutoCheckBox:
        return new wxCheckBox(&dialog, id, text, rect.GetPosition(), rect.GetSize());
    case Kind::AutoRadioButton:
        return new wxRadioButton(&dialog, id, text, rect.GetPosition(), rect.GetSize(),
                                 (control.style & kGroup) ? wxRB_GROUP : 0);
    case Kind::Edit:
        return new wxTextCtrl(&dialog, id, wxString(), rect.GetPosition(), rect.GetSize(),
                              (control.style & kBorder) ? 0L : static_cast<long>(wxBORDER_NONE));
    case Kind::ComboBox: {
        wxArrayString items;
        for (const char* item : control.items)
            items.Add(Utf8(item));
        const int fieldHeight = std::min(control.cy, kComboFieldHeightDu);
        const wxSize size(rect.width, dialog.ConvertDialogToPixels(wxSize(0, fieldHeight)).y);
        long style = wxCB_DROPDOWN;
        if (control.style & kSorted)
            style |= wxCB_SORT;
        auto* combo = new wxComboBox(&dialog, id, wxString(), rect.GetPosition(), size, items, style);
        // The list starts with nothing chosen and an empty text field.
        combo->SetSelection(wxNOT_FOUND);
        combo->ChangeValue(wxString());
        return combo;
    }
    }
    return nullptr;
}

// Static texts whose words do not fit their slots, as happens with a substitute for the templates'
// "MS Sans Serif", keep their left edge and grow to the right, at most to the window's edge, so that a
// line is never cut short.
void FitStaticTexts(const wxDialog& dialog, const BuiltControls& controls) {
    const int right = dialog.GetClientSize().x;
    for (const auto& [id, window] : controls.All()) {
        auto* text = dynamic_cast<wxStaticText*>(window);
        if (text == nullptr)
            continue;
        const wxRect slot = text->GetRect();
        const int needed = text->GetBestSize().x;
        if (needed > slot.width)
            text->SetSize(slot.x, slot.y, std::min(needed, right - slot.x), slot.height);
    }
}

} // namespace

wxWindow* BuiltControls::Find(int templateId) const {
    for (const auto& [id, window] : m_controls)
        if (id == templateId)
            return window;
    return nullptr;
}

int ToWxId(int templateId) {
    switch (templateId) {
    case kIdOk:
        return wxID_OK;
    case kIdCancel:
        return wxID_CANCEL;
    case kNoId:
        return wxID_ANY;
    default:
        return templateId;
    }
}

wxFont TemplateFont(const Template& dialogTemplate) {
    const wxString face = Utf8(dialogTemplate.fontFace);
    if (!face.empty() && wxFontEnumerator::IsValidFacename(face))
        return wxFont(wxFontInfo(dialogTemplate.pointSize).FaceName(face));
    return wxFont(wxFontInfo(dialogTemplate.pointSize).Family(wxFONTFAMILY_SWISS));
}

bool BuildDialog(wxDialog& dialog, wxWindow* parent, const Template& dialogTemplate,
                 const ImageLoader& images, BuiltControls& controlsOut) {
    long style = wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX;
    if (dialogTemplate.frame & kMinimizeBox)
        style |= wxMINIMIZE_BOX;
    if (dialogTemplate.frame & kAppWindow)
        style |= wxDIALOG_NO_PARENT;
    if (!dialog.Create(parent, ToWxId(dialogTemplate.id), Utf8(dialogTemplate.caption), wxDefaultPosition,
                       wxDefaultSize, style))
        return false;

    // Dialog units are a quarter of the font's average character width and an eighth of its height,
    // so the font must be in place before anything is converted; the controls inherit it.
    dialog.SetFont(TemplateFont(dialogTemplate));
    ApplyTemplateLook(dialog);
    dialog.SetClientSize(dialog.ConvertDialogToPixels(wxSize(dialogTemplate.cx, dialogTemplate.cy)));

    for (const Control& control : dialogTemplate.controls) {
        wxWindow* window = CreateControl(dialog, control, images);
        if (window == nullptr)
            return false;
        FinishControl(dialog, control, *window);
        if (!(control.style & kTabStop))
            window->DisableFocusFromKeyboard();
        if (control.style & kDisabled)
            window->Disable();
        controlsOut.Add(control.id, window);
    }
    FitStaticTexts(dialog, controlsOut);
    dialog.Centre();
    return true;
}

void HandleEnterAsOk(wxDialog& dialog, std::function<void()> onOk) {
    dialog.Bind(wxEVT_CHAR_HOOK, [&dialog, onOk = std::move(onOk)](wxKeyEvent& event) {
        const int key = event.GetKeyCode();
        if ((key == WXK_RETURN || key == WXK_NUMPAD_ENTER) && !event.HasAnyModifiers() &&
            dynamic_cast<wxButton*>(dialog.FindFocus()) == nullptr) {
            onOk();
            return;
        }
        event.Skip();
    });
}

} // namespace dialog_template
