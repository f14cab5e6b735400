#include "PortSelectDlg.h"

#include "AboutDlg.h"
#include "ModuleSettingsDlg.h"
#include "PortChoice.h"
#include "PortNameText.h"
#include "PortProbe.h"
#include "ResourceImages.h"
#include "UiText.h"
#include "resource.h"

#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/statbmp.h>
#include <wx/utils.h>

#include <algorithm>

using namespace dialog_template;

const Template& CPortSelectDlg::DialogTemplate() {
    static const Template dialogTemplate{
        IDD_ZK405_DIALOG,
        "KALDOR ZK405 - Program konfiguracyjny.",
        350,
        242,
        "MS Sans Serif",
        8,
        kMinimizeBox | kAppWindow,
        {
            {kNoId, Kind::Text, kNone, 19, 46, 263, 8,
             "1. Przełącz moduł ZK405 podłączony do drukarki Kaldor soru w tryb konfiguracji:"},
            {kNoId, Kind::Picture, kNone, 83, 62, 183, 99, "", IDB_MODULE},
            {kNoId, Kind::Text, kNone, 77, 169, 194, 8,
             "(naciśnij i przytrzymaj przycisk konfiguracyjny, aż do momentu,"},
            {kNoId, Kind::Text, kNone, 94, 178, 160, 8, "gdy dioda zacznie zapalać się na czas około 0,5s)"},
            {kNoId, Kind::Text, kNone, 19, 199, 224, 8,
             "2. Wybierz numer portu na którym zainstalowany jest moduł BlueTooth:"},
            {IDC_PORT_LIST, Kind::ComboBox, kSorted | kVScroll | kTabStop, 251, 200, 51, 43},
            {IDC_NEXT, Kind::PushButton, kTabStop, 293, 221, 50, 14, "Dalej..."},
            {kNoId, Kind::Text, kNone, 52, 22, 244, 8,
             "Uwaga: przed przystąpieniem do konfiguracji modułu ZK405 upewnij się że "},
            {kNoId, Kind::Text, kNone, 77, 30, 195, 8,
             "w komputerze jest poprawnie zainstalowany moduł BlueTooth"},
            {kNoId, Kind::Text, kNone, 83, 208, 92, 8, " (podłączony do komputera):"},
            {kNoId, Kind::Text, kNone, 112, 10, 124, 8, "U S T A W I E N I A   P O Ł Ą C Z E Ń"},
            {kIdCancel, Kind::PushButton, kTabStop, 7, 221, 50, 14, "Zakończ"},
        },
    };
    return dialogTemplate;
}

CPortSelectDlg::CPortSelectDlg(wxWindow* parent) : m_hIcon(LoadAppIcons()) {
    m_built = BuildDialog(*this, parent, DialogTemplate(), LoadResourceImage, m_controls);
    if (!m_built)
        return;
    KeepPictureProportions();
    m_portList = m_controls.Get<wxComboBox>(IDC_PORT_LIST);
    if (m_portList != nullptr)
        MakeSingleTabStop(*m_portList);
    Bind(wxEVT_INIT_DIALOG, &CPortSelectDlg::OnInitDialog, this);
    Bind(wxEVT_BUTTON, &CPortSelectDlg::OnNext, this, IDC_NEXT);
    Bind(wxEVT_MENU, &CPortSelectDlg::OnSysCommand, this, IDM_ABOUTBOX);
    Bind(wxEVT_CHAR_HOOK, &CPortSelectDlg::OnCharHook, this);
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

    g_portChoice.m_strPort.clear();
    const wxString text = m_portList != nullptr ? m_portList->GetValue() : wxString();
    g_portChoice.m_strPort = PortNameFromUtf8(ToUtf8(text));

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

void CPortSelectDlg::OnCharHook(wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    // The window has no default button, so Enter anywhere but on a push button ends it as OK would.
    if ((key == WXK_RETURN || key == WXK_NUMPAD_ENTER) && !event.HasAnyModifiers()) {
        if (dynamic_cast<wxButton*>(FindFocus()) == nullptr) {
            if (Validate() && TransferDataFromWindow())
                EndModal(wxID_OK);
            return;
        }
    }
    event.Skip();
}
