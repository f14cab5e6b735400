#include "SettingsPanel.h"

#include "StationTexts.h"
#include "UiText.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <filesystem>
#include <fstream>

namespace station_ui {

namespace {

using provisioning::SettingsInput;

// The choices' first entry leaves the setting as the module has it.
constexpr const char* kAuthChoices[] = {text::kUnchanged, text::kAuthAlways, text::kAuthRemember};

int FlowIndex(const std::optional<std::string>& flow) {
    if (!flow)
        return 0;
    int index = 1;
    for (const char* label : module_commands::kFlowLabels) {
        if (wxString(label).IsSameAs(Utf8(*flow), false))
            return index;
        ++index;
    }
    if (wxString(provisioning::kFlowNoneWord).IsSameAs(Utf8(*flow), false))
        return index - 1; // the last label is no flow control
    return 0;
}

int AuthIndex(const std::optional<std::string>& auth) {
    int index = 1;
    for (const provisioning::AuthWord& word : provisioning::kAuthWords) {
        if (auth && wxString(word.word).IsSameAs(Utf8(*auth), false))
            return index;
        ++index;
    }
    return 0;
}

wxSizerFlags Field() {
    return wxSizerFlags().Expand().Border(wxBOTTOM, 4);
}

} // namespace

std::string PresetText(const SettingsInput& input) {
    std::string text = "# ZK405\n";
    if (input.name)
        text += "name=" + *input.name + "\n";
    if (input.pin)
        text += "pin=" + *input.pin + "\n";
    if (input.flow)
        text += "flow=" + *input.flow + "\n";
    if (input.auth)
        text += "auth=" + *input.auth + "\n";
    if (input.pairPin)
        text += "pair-pin=" + *input.pairPin + "\n";
    return text;
}

SettingsPanel::SettingsPanel(wxWindow* parent, const SettingsInput& input, bool locked)
    : wxPanel(parent), m_locked(locked) {
    auto* grid = new wxFlexGridSizer(2, FromDIP(wxSize(8, 4)));
    grid->AddGrowableCol(1);
    const auto label = [&](const char* text) {
        grid->Add(new wxStaticText(this, wxID_ANY, Utf8(text)), wxSizerFlags().CenterVertical());
    };
    label(text::kName);
    m_name = new wxTextCtrl(this, wxID_ANY);
    m_name->SetToolTip(Utf8(text::kNameHint));
    grid->Add(m_name, Field());
    label(text::kPin);
    m_pin = new wxTextCtrl(this, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize, wxTE_PASSWORD);
    grid->Add(m_pin, Field());
    grid->AddSpacer(0);
    m_pinState = new wxStaticText(this, wxID_ANY, wxString());
    grid->Add(m_pinState, Field());
    grid->AddSpacer(0);
    m_pairPinState = new wxStaticText(this, wxID_ANY, wxString());
    grid->Add(m_pairPinState, Field());
    label(text::kFlow);
    m_flow = new wxChoice(this, wxID_ANY);
    m_flow->Append(Utf8(text::kUnchanged));
    for (const char* flow : module_commands::kFlowLabels)
        m_flow->Append(Utf8(flow));
    grid->Add(m_flow, Field());
    label(text::kAuth);
    m_auth = new wxChoice(this, wxID_ANY);
    for (const char* auth : kAuthChoices)
        m_auth->Append(Utf8(auth));
    grid->Add(m_auth, Field());

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    m_load = new wxButton(this, wxID_ANY, Utf8(text::kLoadPreset));
    m_save = new wxButton(this, wxID_ANY, Utf8(text::kSavePreset));
    buttons->Add(m_load, wxSizerFlags().Border(wxRIGHT, FromDIP(8)));
    buttons->Add(m_save);
    m_load->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnLoad(); });
    m_save->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnSave(); });
    m_pin->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { ShowPinState(); });

    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(grid, wxSizerFlags().Expand());
    column->Add(buttons, wxSizerFlags().Border(wxTOP, FromDIP(4)));
    if (locked)
        column->Add(new wxStaticText(this, wxID_ANY, Utf8(text::kLocked)), wxSizerFlags().Border(wxTOP, FromDIP(8)));
    SetSizer(column);
    SetInput(input);
    Freeze(false);
}

SettingsInput SettingsPanel::Input() const {
    SettingsInput input = m_kept;
    const std::string name = WxToUtf8(m_name->GetValue());
    input.name = name.empty() && !m_kept.allowEmpty ? std::nullopt : std::optional<std::string>(name);
    if (!m_pin->GetValue().empty())
        input.pin = WxToUtf8(m_pin->GetValue());
    const int flow = m_flow->GetSelection();
    input.flow = flow <= 0 ? std::nullopt : std::optional<std::string>(module_commands::kFlowLabels[flow - 1]);
    const int auth = m_auth->GetSelection();
    input.auth = auth <= 0 ? std::nullopt : std::optional<std::string>(provisioning::kAuthWords[auth - 1].word);
    return input;
}

void SettingsPanel::SetInput(const SettingsInput& input) {
    m_kept = input;
    m_name->ChangeValue(Utf8(input.name.value_or(std::string())));
    m_pin->ChangeValue(wxString());
    m_flow->SetSelection(FlowIndex(input.flow));
    m_auth->SetSelection(AuthIndex(input.auth));
    ShowPinState();
}

bool SettingsPanel::Check(std::string& error) const {
    MODULE_SETTINGS sample;
    return provisioning::BuildSettings(Input(), "com1", 1, sample, error);
}

void SettingsPanel::Freeze(bool frozen) {
    const bool editable = !m_locked && !frozen;
    for (wxWindow* control : {static_cast<wxWindow*>(m_name), static_cast<wxWindow*>(m_pin),
                              static_cast<wxWindow*>(m_flow), static_cast<wxWindow*>(m_auth),
                              static_cast<wxWindow*>(m_load)})
        control->Enable(editable);
    m_save->Enable(!frozen || m_locked);
}

void SettingsPanel::ShowPinState() {
    const bool set = m_kept.pin.has_value() || !m_pin->GetValue().empty();
    m_pinState->SetLabel(Utf8(set ? text::kPinSet : text::kPinNotSet));
    m_pairPinState->SetLabel(Utf8(m_kept.pairPin ? text::kPairPinSet : text::kPairPinNotSet));
}

bool SettingsPanel::LoadPreset(const std::string& path, std::string& error) {
    SettingsInput loaded;
    if (!provisioning::ReadPreset(path, loaded, error))
        return false;
    SetInput(loaded);
    return true;
}

bool SettingsPanel::SavePreset(const std::string& path, std::string& error) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    // A preset may hold the PIN: it is its owner's to read, as a PIN file is.
    std::error_code ignored;
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 ignored);
    out << PresetText(Input());
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

void SettingsPanel::OnLoad() {
    wxFileDialog dialog(this, Utf8(text::kLoadPreset), wxString(), wxString(), Utf8(text::kPresetFiles),
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    std::string error;
    if (dialog.ShowModal() == wxID_OK && !LoadPreset(WxToUtf8(dialog.GetPath()), error))
        wxMessageBox(Utf8(error), Utf8(text::kError), wxOK | wxICON_ERROR, this);
}

void SettingsPanel::OnSave() {
    wxFileDialog dialog(this, Utf8(text::kSavePreset), wxString(), wxString(), Utf8(text::kPresetFiles),
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    std::string error;
    if (dialog.ShowModal() == wxID_OK && !SavePreset(WxToUtf8(dialog.GetPath()), error))
        wxMessageBox(Utf8(error), Utf8(text::kError), wxOK | wxICON_ERROR, this);
}

} // namespace station_ui
