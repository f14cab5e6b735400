#include "CountersPanel.h"

#include "StationTexts.h"
#include "UiText.h"

#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/utils.h>

namespace station_ui {

CountersPanel::CountersPanel(wxWindow* parent) : wxPanel(parent) {
    const char* labels[] = {text::kProgrammed, text::kFailed, text::kSkipped};
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    // Scaled from the system's font, so that high-DPI screens get the same reach.
    wxFont big = GetFont();
    big.SetPointSize(big.GetPointSize() * 3);
    big.MakeBold();
    for (int i = 0; i < 3; ++i) {
        auto* column = new wxBoxSizer(wxVERTICAL);
        column->Add(new wxStaticText(this, wxID_ANY, Utf8(labels[i])), wxSizerFlags().Center());
        m_figures[i] = new wxStaticText(this, wxID_ANY, "0");
        m_figures[i]->SetFont(big);
        column->Add(m_figures[i], wxSizerFlags().Center());
        row->Add(column, wxSizerFlags(1).Expand().Border(wxALL, FromDIP(8)));
    }
    m_failure = new wxStaticText(this, wxID_ANY, Utf8(text::kNoFailure));
    wxFont bold = GetFont();
    bold.MakeBold();
    m_failure->SetFont(bold);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(row, wxSizerFlags().Expand());
    column->Add(m_failure, wxSizerFlags().Expand().Border(wxALL, FromDIP(8)));
    SetSizer(column);
}

void CountersPanel::Show(const provisioning::Tally& tally) {
    // A station verifies what it programs: settings sent unverified count with the programmed ones.
    const size_t figures[] = {tally.programmed + tally.sent, tally.failed, tally.skipped};
    for (int i = 0; i < 3; ++i)
        m_figures[i]->SetLabel(wxString::Format("%zu", figures[i]));
    Layout();
}

void CountersPanel::Failure(const std::string& sentence) {
    Notice(sentence);
    wxBell();
}

void CountersPanel::Notice(const std::string& sentence) {
    m_sentence = sentence;
    m_failure->SetLabelText(Utf8(sentence));
    m_failure->Wrap(std::max(FromDIP(200), GetClientSize().GetWidth() - FromDIP(16)));
    Layout();
}

std::string CountersPanel::Figure(int which) const {
    return WxToUtf8(m_figures[which]->GetLabel());
}

std::string CountersPanel::LastFailure() const {
    return m_sentence;
}

} // namespace station_ui
