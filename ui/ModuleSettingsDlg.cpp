#include "ModuleSettingsDlg.h"

#include "Cp1250.h"
#include "PortNameText.h"
#include "StopSignal.h"
#include "TemplateLook.h"
#include "UiText.h"
#include "resource.h"

#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/evtloop.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace dialog_template;
using module_commands::kAuthAskEveryTime;
using module_commands::kAuthNotChosen;
using module_commands::kAuthRememberLast;
using module_commands::kFlowNone;
using module_commands::kFlowRtsCts;
using module_commands::kFlowXonXoff;
using module_commands::kNameMaxChars;
using module_commands::kPinMaxChars;

namespace {

constexpr const char* kAuthAlways = "zawsze żądaj PIN";

// The one-second wait between a command and its reply. The windows keep painting meanwhile, but only
// paint and layout events are handled: what the user does waits until the exchange is over, and the
// callers disable every window for the whole exchange.
void WaitKeepingWindowsPainted(uint32_t milliseconds) {
    wxEventLoopBase* loop = wxEventLoopBase::GetActive();
    if (loop == nullptr) {
        module_commands::SleepMilliseconds(milliseconds);
        return;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
        loop->YieldFor(wxEVT_CATEGORY_UI);
        std::this_thread::sleep_for(std::min<Clock::duration>(end - now, std::chrono::milliseconds(10)));
    }
}

int ShowMessage(wxWindow* parent, const std::string& text, const char* caption, long style) {
    // A program asked to stop asks nothing more: a box would hold the exit until someone clicks it.
    if (StopRequested())
        return wxID_CANCEL;
    return ShowMessageBox(parent, Utf8(text), Utf8(caption), style | wxICON_NONE);
}

std::string FromCp1250(const std::string& narrow) {
    return cp1250::Cp1250ToUtf8(narrow);
}

// Characters Windows-1250 has no byte for are sent as "?", which the summary shows before anything
// goes out.
std::string ToCp1250(const wxString& text) {
    return cp1250::Utf8ToCp1250(WxToUtf8(text)).bytes;
}

} // namespace

// clang-format off
// Template 130, one control per row in template order (x, y, width, height in dialog units).
const Template& CModuleSettingsDlg::DialogTemplate() {
    static const Template dialogTemplate{
        .id = IDD_MODULE_SETTINGS,
        .caption = "KALDOR ZK405 - Program konfiguracyjny.",
        .cx = 350, .cy = 242,
        .fontFace = "MS Sans Serif", .pointSize = 8,
        .frame = kMinimizeBox,
        .controls = {
            {.id = IDC_BACK, .kind = Kind::PushButton, .style = kTabStop, .x = 7, .y = 221, .cx = 50, .cy = 14, .text = "Wstecz"},
            {.id = IDC_NAME_VALUE, .kind = Kind::Edit, .style = kBorder | kAutoHScroll | kDisabled | kTabStop, .x = 220, .y = 69, .cx = 113, .cy = 14},
            {.kind = Kind::Text, .x = 77, .y = 10, .cx = 195, .cy = 8, .text = "U S T A W I E N I A   M O D U Ł U   K A L D O R   Z K 4 0 5"},
            {.id = IDC_SET_NAME, .kind = Kind::AutoCheckBox, .style = kTabStop, .x = 12, .y = 66, .cx = 204, .cy = 10, .text = "Wpisz nazwę, pod którą będzie zgłaszał się moduł ZK405 "},
            {.id = IDC_SET_FLOW, .kind = Kind::AutoCheckBox, .style = kTabStop, .x = 12, .y = 102, .cx = 45, .cy = 10, .text = "Protokół:"},
            {.id = IDC_PROTOCOL, .kind = Kind::ComboBox, .style = kVScroll | kDisabled | kTabStop, .x = 220, .y = 102, .cx = 113, .cy = 56, .items = {kFlowXonXoff, kFlowRtsCts, kFlowNone}},
            {.id = IDC_SET_PIN, .kind = Kind::AutoCheckBox, .style = kTabStop, .x = 12, .y = 138, .cx = 77, .cy = 10, .text = "PIN (0-16 znaków):"},
            {.id = IDC_PIN_VALUE, .kind = Kind::Edit, .style = kBorder | kAutoHScroll | kDisabled | kTabStop, .x = 220, .y = 138, .cx = 113, .cy = 14},
            {.id = IDC_SET_AUTH, .kind = Kind::AutoCheckBox, .style = kTabStop, .x = 12, .y = 174, .cx = 65, .cy = 10, .text = "Uwierztelnianie:"},
            {.id = IDC_AUTH_ALWAYS, .kind = Kind::AutoRadioButton, .style = kGroup | kDisabled, .x = 135, .y = 175, .cx = 72, .cy = 10, .text = kAuthAlways},
            {.id = IDC_AUTH_REMEMBER, .kind = Kind::AutoRadioButton, .style = kDisabled, .x = 254, .y = 175, .cx = 79, .cy = 10, .text = "Pamiętaj ostatni PIN"},
            {.id = IDC_PROGRAM, .kind = Kind::PushButton, .style = kTabStop, .x = 293, .y = 221, .cx = 50, .cy = 14, .text = "Programuj"},
            {.kind = Kind::Text, .x = 25, .y = 75, .cx = 184, .cy = 8, .text = "(np. w trakcie połączenia z komputerem) max. 31 znaków:"},
            {.kind = Kind::Text, .style = kNoWrap, .x = 52, .y = 22, .cx = 244, .cy = 8, .text = "Uwaga: poniższe funkcje służą do zmiany paramterów pracy modułu ZK405."},
            {.kind = Kind::Text, .x = 28, .y = 30, .cx = 295, .cy = 8, .text = "Wprowadzane za ich pomocą ustawienia, zapisywane są w oprogramowaniu modułu ZK405."},
            {.kind = Kind::Text, .x = 20, .y = 38, .cx = 309, .cy = 8, .text = "Przed przeprogramowaniem wybranego parametru modułu należy zaznaczyć pole po lewej stronie."},
            {.kind = Kind::Text, .x = 91, .y = 46, .cx = 152, .cy = 8, .text = "W innym wypadku parametr nie ulegnie zmianie."},
            {.id = IDC_AUTH_NOTE, .kind = Kind::Text, .x = 12, .y = 187, .cx = 280, .cy = 8, .text = "Wybierz czy w trakcie nawiązywania połączenia modułu ZK405 z komputerem, kod PIN"},
            {.kind = Kind::Text, .x = 12, .y = 195, .cx = 202, .cy = 8, .text = "ma być wprowadzany za każdym razem, czy tylko za pierwszym."},
        },
    };
    return dialogTemplate;
}
// clang-format on

module_commands::CommandLink CModuleSettingsDlg::DefaultLink() {
    // A stop signal ends the exchange under way; the application then closes the windows.
    return module_commands::CommandLink{&g_serialPort, WaitKeepingWindowsPainted, false, StopRequested};
}

CModuleSettingsDlg::CModuleSettingsDlg(wxWindow* parent, CPortChoice& portChoice,
                                       module_commands::CommandLink link)
    : m_portChoice(portChoice), m_link(std::move(link)) {
    BuildDialog(*this, parent, DialogTemplate(), ImageLoader(), m_controls);
    m_protocolBox = m_controls.Get<wxComboBox>(IDC_PROTOCOL);
    m_noAuthChoice = new wxRadioButton(this, wxID_ANY, wxString(), wxDefaultPosition, wxSize(0, 0));
    m_noAuthChoice->Hide();
    m_noAuthChoice->DisableFocusFromKeyboard();
    // Escape acts like "Wstecz", so that it also gives the port back; so does Enter outside a button.
    SetEscapeId(IDC_BACK);
    HandleEnterAsOk(*this, [this] { Leave(); });
    Bind(wxEVT_INIT_DIALOG, &CModuleSettingsDlg::OnInitDialog, this);
    Bind(wxEVT_CHECKBOX, &CModuleSettingsDlg::OnSetName, this, IDC_SET_NAME);
    Bind(wxEVT_CHECKBOX, &CModuleSettingsDlg::OnSetPin, this, IDC_SET_PIN);
    Bind(wxEVT_CHECKBOX, &CModuleSettingsDlg::OnSetFlow, this, IDC_SET_FLOW);
    Bind(wxEVT_CHECKBOX, &CModuleSettingsDlg::OnSetAuth, this, IDC_SET_AUTH);
    Bind(wxEVT_BUTTON, &CModuleSettingsDlg::OnProgram, this, IDC_PROGRAM);
    Bind(wxEVT_BUTTON, &CModuleSettingsDlg::OnBack, this, IDC_BACK);
    Bind(wxEVT_CLOSE_WINDOW, &CModuleSettingsDlg::OnClose, this);
}

int CModuleSettingsDlg::ShowModal() {
    // The connection is made before the window appears (wxGTK would only initialise a shown window).
    InitDialog();
    if (m_connectFailed) {
        SetReturnCode(wxID_CANCEL);
        return wxID_CANCEL;
    }
    return wxDialog::ShowModal();
}

bool CModuleSettingsDlg::TransferDataToWindow() {
    ExchangeData(false);
    return true;
}

bool CModuleSettingsDlg::TransferDataFromWindow() {
    ExchangeData(true);
    return true;
}

void CModuleSettingsDlg::ExchangeData(bool save) {
    ExchangeCheck(save, IDC_SET_AUTH, m_setAuth);
    ExchangeCheck(save, IDC_SET_NAME, m_setName);
    ExchangeCheck(save, IDC_SET_PIN, m_setPin);
    ExchangeCheck(save, IDC_SET_FLOW, m_setFlow);
    ExchangeText(save, IDC_NAME_VALUE, m_name, kNameMaxChars);
    ExchangeText(save, IDC_PIN_VALUE, m_pin, kPinMaxChars);
    ExchangeAuthChoice(save);
}

void CModuleSettingsDlg::ExchangeCheck(bool save, int id, int32_t& value) {
    auto* box = m_controls.Get<wxCheckBox>(id);
    if (save)
        value = box->GetValue() ? 1 : 0;
    else
        box->SetValue(value == 1);
}

void CModuleSettingsDlg::ExchangeText(bool save, int id, std::string& value, size_t maxChars) {
    auto* edit = m_controls.Get<wxTextCtrl>(id);
    if (save) {
        value = ToCp1250(edit->GetValue());
        return;
    }
    // A longer text (a name the module reported) is shown whole: a limit below its length would
    // empty the field. The limit for sending is applied where the name is sent.
    edit->SetMaxLength(static_cast<unsigned long>(std::max(maxChars, value.size())));
    edit->ChangeValue(Utf8(FromCp1250(value)));
}

void CModuleSettingsDlg::ExchangeAuthChoice(bool save) {
    auto* always = m_controls.Get<wxRadioButton>(IDC_AUTH_ALWAYS);
    auto* remember = m_controls.Get<wxRadioButton>(IDC_AUTH_REMEMBER);
    if (save) {
        m_authChoice = always->GetValue()     ? kAuthAskEveryTime
                       : remember->GetValue() ? kAuthRememberLast
                                              : kAuthNotChosen;
        return;
    }
    if (m_authChoice == kAuthAskEveryTime)
        always->SetValue(true);
    else if (m_authChoice == kAuthRememberLast)
        remember->SetValue(true);
    else
        m_noAuthChoice->SetValue(true);
}

void CModuleSettingsDlg::EnableField(int id, int32_t flag) {
    m_controls.Find(id)->Enable(flag == 1);
}

void CModuleSettingsDlg::OnInitDialog(wxInitDialogEvent&) {
    if (m_initialised)
        return;
    m_initialised = true;
    TransferDataToWindow();

    int32_t result;
    {
        wxBusyCursor wait;
        result = m_link.port->Open(m_portChoice.m_strPort.c_str(), module_commands::kBaudRate);
    }
    if (result != 0) {
        m_connectFailed = true;
        ShowMessage(this, "Nie można połączyć się z portem: " + PortNameToUtf8(m_portChoice.m_strPort),
                    "ZK405 - Program konfiguracyjny", wxOK);
        return;
    }

    std::string name;
    bool found;
    {
        wxBusyCursor wait;
        wxWindowDisabler noInput;
        found = QueryModuleName(name, m_link);
    }
    if (found) {
        m_name = name;
        TransferDataToWindow();
    }
    // The first tab stop in template order, as the Windows dialog manager chooses; GTK, left to
    // itself, would pick the topmost control, the first check box.
    m_controls.Find(IDC_BACK)->SetFocus();
}

void CModuleSettingsDlg::OnSetName(wxCommandEvent&) {
    TransferDataFromWindow();
    EnableField(IDC_NAME_VALUE, m_setName);
}

void CModuleSettingsDlg::OnSetPin(wxCommandEvent&) {
    TransferDataFromWindow();
    EnableField(IDC_PIN_VALUE, m_setPin);
}

void CModuleSettingsDlg::OnSetFlow(wxCommandEvent&) {
    TransferDataFromWindow();
    EnableField(IDC_PROTOCOL, m_setFlow);
}

void CModuleSettingsDlg::OnSetAuth(wxCommandEvent&) {
    TransferDataFromWindow();
    EnableField(IDC_AUTH_ALWAYS, m_setAuth);
    EnableField(IDC_AUTH_REMEMBER, m_setAuth);
}

CModuleSettingsDlg::SavedValues CModuleSettingsDlg::Saved() const {
    return SavedValues{m_setAuth, m_setName, m_setPin, m_setFlow, m_name, m_pin, m_authChoice};
}

MODULE_SETTINGS CModuleSettingsDlg::CurrentSettings() const {
    MODULE_SETTINGS settings;
    settings.setName = m_setName;
    settings.setPin = m_setPin;
    settings.setFlow = m_setFlow;
    settings.setAuth = m_setAuth;
    // A name read from the module may be longer than the module takes; only what fits is sent.
    settings.name = m_name.substr(0, kNameMaxChars);
    settings.pin = m_pin;
    settings.protocolLabel = ToCp1250(m_protocolBox->GetValue());
    settings.authChoice = m_authChoice;
    return settings;
}

std::string CModuleSettingsDlg::BuildSummary(const MODULE_SETTINGS& settings) {
    std::string summary = "\r";
    if (settings.setName == 1)
        summary += "Nazwa:\t\t" + FromCp1250(settings.name) + "\r\r";
    if (settings.setPin == 1)
        summary += "PIN:\t\t" + FromCp1250(settings.pin) + "\r\r";
    if (settings.setFlow == 1)
        summary += "Protokół:\t\t" + FromCp1250(settings.protocolLabel) + "\r\r";
    if (settings.setAuth == 1) {
        summary += "Potwierdzenie:\t";
        if (settings.authChoice == kAuthAskEveryTime)
            summary += kAuthAlways;
        else if (settings.authChoice == kAuthRememberLast)
            summary += "pamiętaj ostatni PIN";
        summary += "\r";
    }
    return summary;
}

void CModuleSettingsDlg::OnProgram(wxCommandEvent&) {
    TransferDataFromWindow();
    if (m_setName != 1 && m_setPin != 1 && m_setFlow != 1 && m_setAuth != 1) {
        ShowMessage(this, "Musisz wybrać którąś z opcji do przesłania", "KALDOR ZK405", wxOK);
        return;
    }
    const MODULE_SETTINGS settings = CurrentSettings();
    if (ShowMessage(this, BuildSummary(settings),
                    "KALDOR ZK405 - Potwierdź dane...:   ", wxOK | wxCANCEL | wxOK_DEFAULT) != wxID_OK)
        return;
    wxWindowDisabler noInput;
    ProgramModule(settings, m_link);
}

void CModuleSettingsDlg::Leave() {
    m_link.port->Close();
    if (IsModal())
        EndModal(wxID_CANCEL);
    else
        Hide();
}

void CModuleSettingsDlg::OnBack(wxCommandEvent&) {
    Leave();
}

void CModuleSettingsDlg::OnClose(wxCloseEvent&) {
    Leave();
}
