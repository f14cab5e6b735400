#include "StepsPanel.h"

#include "StationTexts.h"
#include "UiText.h"

#include <wx/checkbox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace station_ui {

StepsPanel::StepsPanel(wxWindow* parent, const StationSteps& steps, bool locked)
    : wxPanel(parent), m_locked(locked), m_kept(steps) {
    auto* grid = new wxFlexGridSizer(2, FromDIP(wxSize(8, 4)));
    grid->AddGrowableCol(1);
    const wxSizerFlags field = wxSizerFlags().Expand().Border(wxBOTTOM, 4);
    // Each label made just before its field: Tab and the label's mnemonic reach the field.
    grid->Add(new wxStaticText(this, wxID_ANY, Utf8(text::kOnResult)), wxSizerFlags().CenterVertical());
    m_command = new wxTextCtrl(this, wxID_ANY, Utf8(steps.onResult.command));
    m_command->SetToolTip(Utf8(text::kOnResultHint));
    grid->Add(m_command, field);
    grid->AddSpacer(0);
    m_discover = new wxCheckBox(this, wxID_ANY, Utf8(text::kDiscover));
    m_discover->SetValue(steps.unattended.discover);
    grid->Add(m_discover, field);
    grid->Add(new wxStaticText(this, wxID_ANY, Utf8(text::kMatch)), wxSizerFlags().CenterVertical());
    m_match = new wxTextCtrl(this, wxID_ANY, Utf8(steps.unattended.match));
    m_match->SetToolTip(Utf8(text::kMatchHint));
    grid->Add(m_match, field);
    grid->AddSpacer(0);
    m_provePin = new wxCheckBox(this, wxID_ANY, Utf8(text::kProvePin));
    m_provePin->SetValue(steps.unattended.provePin);
    grid->Add(m_provePin, field);
    grid->AddSpacer(0);
    m_unpairAfter = new wxCheckBox(this, wxID_ANY, Utf8(text::kUnpairAfter));
    m_unpairAfter->SetValue(steps.unattended.unpairAfter);
    grid->Add(m_unpairAfter, field);
    SetSizer(grid);
    Freeze(false);
}

StationSteps StepsPanel::Steps() const {
    StationSteps steps = m_kept;
    steps.onResult.command = WxToUtf8(m_command->GetValue());
    steps.unattended.discover = m_discover->GetValue();
    steps.unattended.match = WxToUtf8(m_match->GetValue());
    steps.unattended.provePin = m_provePin->GetValue();
    steps.unattended.unpairAfter = m_unpairAfter->GetValue();
    return steps;
}

void StepsPanel::Freeze(bool frozen) {
    const bool editable = !m_locked && !frozen;
    for (wxWindow* control : {static_cast<wxWindow*>(m_command), static_cast<wxWindow*>(m_discover),
                              static_cast<wxWindow*>(m_match), static_cast<wxWindow*>(m_provePin),
                              static_cast<wxWindow*>(m_unpairAfter)})
        control->Enable(editable);
}

} // namespace station_ui
