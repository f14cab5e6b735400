#include "CountersPanel.h"

#include "StationTexts.h"
#include "UiText.h"

#include <wx/arrstr.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include <algorithm>

namespace station_ui {

namespace {

// The longest start of text that fits width (at least one character).
size_t FittingLength(const wxWindow& label, const wxString& text, int width) {
    size_t fits = 1, over = text.length() + 1;
    while (over - fits > 1) {
        const size_t middle = (fits + over) / 2;
        (label.GetTextExtent(text.Left(middle)).x <= width ? fits : over) = middle;
    }
    return fits;
}

// wxWidgets wraps only at blanks and gives the whole sentence up at a word wider than a line, which
// the paths here are (the port's, the transcript's): the sentence was then cut off after its first
// line. Such a word is broken after a separator, else where the line ends.
wxString WrapSentence(const wxWindow& label, const wxString& sentence, int width) {
    wxString wrapped, line;
    const auto endLine = [&] {
        if (!line.empty())
            wrapped += line + "\n";
        line.clear();
    };
    for (const wxString& word : wxSplit(sentence, ' ', '\0')) {
        const wxString joined = line.empty() ? word : line + " " + word;
        if (label.GetTextExtent(joined).x <= width) {
            line = joined;
            continue;
        }
        endLine();
        for (wxString rest = word; !rest.empty();) {
            size_t cut = FittingLength(label, rest, width);
            const size_t separator = rest.Left(cut).find_last_of("/\\_-");
            if (cut < rest.length() && separator != wxString::npos && separator > 0)
                cut = separator + 1;
            line = rest.Left(cut);
            rest = rest.Mid(cut);
            if (!rest.empty())
                endLine();
        }
    }
    return wrapped + line;
}

} // namespace

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
    const int width = std::max(FromDIP(200), GetClientSize().GetWidth() - FromDIP(16));
    m_failure->SetLabelText(WrapSentence(*m_failure, Utf8(sentence), width));
    // The row of panels grows to the sentence's lines, and the list below gives up the room.
    GetParent()->Layout();
}

std::string CountersPanel::Figure(int which) const {
    return WxToUtf8(m_figures[which]->GetLabel());
}

std::string CountersPanel::LastFailure() const {
    return m_sentence;
}

} // namespace station_ui
