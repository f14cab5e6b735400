#include "PortSelectDlg.h"

#include "AboutDlg.h"
#include "ModuleSettingsDlg.h"
#include "PortChoice.h"
#include "PortNameText.h"
#include "PortProbe.h"
#include "ResourceImages.h"
#include "UiText.h"
#include "resource.h"

#include <wx/combobox.h>
#include <wx/statbmp.h>
#include <wx/utils.h>

#include <algorithm>

using namespace dialog_template;

// clang-format off
// Template 102, one control per row in template order (x, y, width, height in dialog units).
const Template& CPortSelectDlg::DialogTemplate() {
    static const Template dialogTemplate{
        .id = IDD_ZK405_DIALOG,
        .caption = "KALDOR ZK405 - Program konfiguracyjny.",
        .cx = 350, .cy = 242,
        .fontFace = "MS Sans Serif", .pointSize = 8,
        .frame = kMinimizeBox | kAppWindow,
        .controls = {
            {.kind = Kind::Text, .x = 19, .y = 46, .cx = 263, .cy = 8, .text = "1. Przełącz moduł ZK405 podłączony do drukarki Kaldor soru w tryb konfiguracji:"},
            {.kind = Kind::Picture, .x = 83, .y = 62, .cx = 183, .cy = 99, .resourceId = IDB_MODULE},
            {.kind = Kind::Text, .x = 77, .y = 169, .cx = 194, .cy = 8, .text = "(naciśnij i przytrzymaj przycisk konfiguracyjny, aż do momentu,"},
            {.kind = Kind::Text, .x = 94, .y = 178, .cx = 160, .cy = 8, .text = "gdy dioda zacznie zapalać się na czas około 0,5s)"},
            {.kind = Kind::Text, .x = 19, .y = 199, .cx = 224, .cy = 8, .text = "2. Wybierz numer portu na którym zainstalowany jest moduł BlueTooth:"},
            {.id = IDC_PORT_LIST, .kind = Kind::ComboBox, .style = kSorted | kVScroll | kTabStop, .x = 251, .y = 200, .cx = 51, .cy = 43},
            {.id = IDC_NEXT, .kind = Kind::PushButton, .style = kTabStop, .x = 293, .y = 221, .cx = 50, .cy = 14, .text = "Dalej..."},
            {.kind = Kind::Text, .x = 52, .y = 22, .cx = 244, .cy = 8, .text = "Uwaga: przed przystąpieniem do konfiguracji modułu ZK405 upewnij się że "},
            {.kind = Kind::Text, .x = 77, .y = 30, .cx = 195, .cy = 8, .text = "w komputerze jest poprawnie zainstalowany moduł BlueTooth"},
            {.kind = Kind::Text, .x = 83, .y = 208, .cx = 92, .cy = 8, .text = " (podłączony do komputera):"},
            {.kind = Kind::Text, .x = 112, .y = 10, .cx = 124, .cy = 8, .text = "U S T A W I E N I A   P O Ł Ą C Z E Ń"},
            {.id = kIdCancel, .kind = Kind::PushButton, .style = kTabStop, .x = 7, .y = 221, .cx = 50, .cy = 14, .text = "Zakończ"},
        },
    };
    return dialogTemplate;
}
// clang-format on

CPortSelectDlg::CPortSelectDlg(wxWindow* parent) : m_hIcon(LoadAppIcons()) {
    m_built = BuildDialog(*this, parent, DialogTemplate(), LoadResourceImage, m_controls);
    if (!m_built)
        return;
    KeepPictureProportions();
    m_portList = m_controls.Get<wxComboBox>(IDC_PORT_LIST);
    Bind(wxEVT_INIT_DIALOG, &CPortSelectDlg::OnInitDialog, this);
    Bind(wxEVT_BUTTON, &CPortSelectDlg::OnNext, this, IDC_NEXT);
    Bind(wxEVT_MENU, &CPortSelectDlg::OnSysCommand, this, IDM_ABOUTBOX);
    HandleEnterAsOk(*this, [this] {
        if (Validate() && TransferDataFromWindow())
            EndModal(wxID_OK);
    });
    InstallAboutCommand(*this);
}

void CPortSelectDlg::KeepPictureProportions() {
    // The slot is 274 x 161 pixels with the template's own font; with a substitute font it is wider or
    // taller than that, and a photograph stretched to fit looks wrong. It is scaled evenly instead, as
    // far as the slot allows, and centred in it.
    for (const auto& [id, window] : m_controls.All()) {
        auto* picture = dynamic_cast<wxStaticBitmap*>(window);
        if (picture == nullptr || id != kNoId)
            continue;
        const wxBitmap photo = LoadModulePicture();
        if (!photo.IsOk())
            return;
        const wxRect slot = picture->GetRect();
        const double scale = std::min(static_cast<double>(slot.width) / photo.GetWidth(),
                                      static_cast<double>(slot.height) / photo.GetHeight());
        const wxSize size(static_cast<int>(photo.GetWidth() * scale + 0.5),
                          static_cast<int>(photo.GetHeight() * scale + 0.5));
        wxBitmap shown = photo;
        if (size != photo.GetSize())
            shown = wxBitmap(photo.ConvertToImage().Scale(size.x, size.y, wxIMAGE_QUALITY_HIGH));
        picture->SetBitmap(shown);
        picture->SetSize(wxRect(slot.GetPosition() + (slot.GetSize() - size) / 2, size));
        return;
    }
}

void CPortSelectDlg::OnInitDialog(wxInitDialogEvent& event) {
    event.Skip(); // the framework's own initialisation: data exchange into the controls

    // The big icon for the task switcher, the small one for the title bar.
    if (!m_hIcon.IsEmpty())
        SetIcons(m_hIcon);

    FillPortList();
    if (m_portList != nullptr)
        m_portList->SetFocus();
}

void CPortSelectDlg::FillPortList() {
    if (m_portList == nullptr)
        return;
    // Ports are offered once, as they are now; a port that frees up later can still be typed.
    for (const std::string& name : port_probe::ListOpenablePorts())
        m_portList->Append(Utf8(name));
    m_portList->SetSelection(wxNOT_FOUND);
    m_portList->ChangeValue(wxString());
}

void CPortSelectDlg::OnNext(wxCommandEvent&) {
    TransferDataFromWindow();
    // Connecting and asking the module for its name takes seconds before the settings window shows.
    // The cursor comes back the first time the program is idle again: by then that window is up or
    // the connection message is on screen.
    wxBeginBusyCursor();
    CallAfter([] {
        while (wxIsBusy())
            wxEndBusyCursor();
    });

    const wxString text = m_portList != nullptr ? m_portList->GetValue() : wxString();
    g_portChoice.m_strPort = PortNameFromUtf8(WxToUtf8(text));

    // No parent: wx makes the application's top window, this one, the owner and disables it meanwhile.
    CModuleSettingsDlg settings(nullptr);
    settings.ShowModal();
}

void CPortSelectDlg::OnSysCommand(wxCommandEvent&) {
    ShowAboutBox();
}

void CPortSelectDlg::ShowAboutBox() {
    CAboutDlg about(this);
    if (about.IsBuilt())
        about.ShowModal();
}
