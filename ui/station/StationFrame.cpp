#include "StationFrame.h"

#include "PolishHints.h"
#include "StationTexts.h"
#include "StopSignal.h"
#include "UiText.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dataview.h>
#include <wx/datetime.h>
#include <wx/display.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>

namespace station_ui {

namespace {

// How often the window looks at the ended jobs and at a stop asked in the terminal.
constexpr int kTickMs = 100;

void Count(provisioning::Tally& tally, provisioning::Verdict verdict) {
    switch (provisioning::WordsOf(verdict).tally) {
    case provisioning::TallyColumn::Programmed:
        ++tally.programmed;
        return;
    case provisioning::TallyColumn::Sent:
        ++tally.sent;
        return;
    case provisioning::TallyColumn::Skipped:
        ++tally.skipped;
        return;
    case provisioning::TallyColumn::Failed:
        ++tally.failed;
        return;
    }
}

std::string Now() {
    return WxToUtf8(wxDateTime::Now().FormatISOTime());
}

} // namespace

StationFrame::StationFrame(const StationSetup& setup)
    : wxFrame(nullptr, wxID_ANY, Utf8(text::kTitle)), m_setup(setup), m_ledgerPath(setup.ledgerPath),
      m_timer(this), m_bridge(*this, *this), m_watch(m_bridge), m_station(m_bridge), m_jobs(m_bridge) {
    BuildControls();
    Bind(wxEVT_CLOSE_WINDOW, &StationFrame::OnClose, this);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { OnTimer(); });
    m_timer.Start(kTickMs);
    std::string error;
    if (!m_watch.Start(m_setup.place, error))
        Notice(text::kStationRefused + error, true);
    if (m_setup.automatic || m_setup.once != 0)
        CallAfter([this] { SetAutomatic(true); });
}

StationFrame::~StationFrame() {
    m_timer.Stop();
}

void StationFrame::BuildControls() {
    auto* panel = new wxPanel(this);
    // Made in the order Tab goes through them: the settings, the ledger, the buttons, the list.
    m_settings = new SettingsPanel(panel, m_setup.input, m_setup.locked);
    m_steps = new StepsPanel(panel, m_setup.steps, m_setup.locked);
    m_counters = new CountersPanel(panel);
    wxSizer* ledgerRow = BuildLedgerRow(panel);
    wxSizer* buttons = BuildButtons(panel);
    m_list = new wxDataViewListCtrl(panel, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                    wxDV_SINGLE | wxDV_ROW_LINES | wxDV_HORIZ_RULES);
    // The store that colours the results; it must be there before the columns are.
    auto* store = new ResultColours;
    m_list->AssociateModel(store);
    store->DecRef();
    for (const char* column : text::kColumns)
        m_list->AppendTextColumn(Utf8(column), wxDATAVIEW_CELL_INERT, wxCOL_WIDTH_AUTOSIZE, wxALIGN_LEFT,
                                 wxDATAVIEW_COL_RESIZABLE);
    NarrowLongColumns();
    m_rows = std::make_unique<StationRows>(*m_list);
    m_list->Bind(wxEVT_DATAVIEW_SELECTION_CHANGED, [this](wxDataViewEvent&) { UpdateProgramButton(); });
    // Enter (or a double click) on a row programs it: the row the keyboard is on, which on Windows
    // need not be the selected one.
    m_list->Bind(wxEVT_DATAVIEW_ITEM_ACTIVATED, [this](wxDataViewEvent& event) {
        if (event.GetItem().IsOk() && !m_list->IsSelected(event.GetItem())) {
            m_list->UnselectAll();
            m_list->Select(event.GetItem());
            UpdateProgramButton();
        }
        ProgramSelected();
    });
    Bind(wxEVT_CHAR_HOOK, &StationFrame::OnCharHook, this);

    const int gap = FromDIP(8);
    auto* top = new wxBoxSizer(wxHORIZONTAL);
    // The settings take what they need; the counters, to be read from afar, take the rest.
    top->Add(m_settings, wxSizerFlags().Expand().Border(wxALL, gap));
    top->Add(m_steps, wxSizerFlags().Expand().Border(wxALL, gap));
    top->Add(m_counters, wxSizerFlags(1).Expand().Border(wxALL, gap));
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(top, wxSizerFlags().Expand());
    column->Add(ledgerRow, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT, gap));
    column->Add(buttons, wxSizerFlags().Expand().Border(wxALL, gap));
    column->Add(m_list, wxSizerFlags(1).Expand().Border(wxLEFT | wxRIGHT | wxBOTTOM, gap));
    panel->SetSizer(column);
    auto* frame = new wxBoxSizer(wxVERTICAL);
    frame->Add(panel, wxSizerFlags(1).Expand());
    SetSizer(frame);
    // Never narrower than what it holds: a counter cut off at the edge is a counter nobody reads.
    const wxSize least = frame->ComputeFittingWindowSize(this);
    // Wide enough for every column up to the result, but never wider than the screen it opens on.
    wxSize size = FromDIP(wxSize(1240, 640));
    size.DecToIfSpecified(wxDisplay(this).GetClientArea().GetSize());
    size.IncTo(least);
    SetMinSize(least);
    SetInitialSize(size);
    UpdateProgramButton();
    m_list->SetFocus();
    // Windows gives the focus to the first control when the window is shown, whatever had it before.
    CallAfter([this] { m_list->SetFocus(); });
}

// wxWidgets' own list (Windows'; GTK's is the toolkit's tree view, which takes the keys itself) moves
// only from a current row, and takes the first as current only when it gets the focus with rows in
// it; here it has the focus from the start, before any module came. An arrow key then starts at the
// first row, as GTK's does. That list takes its keys in a window of its own inside it.
void StationFrame::OnCharHook(wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    const wxWindow* focus = FindFocus();
    const bool inOwnList = focus != nullptr && focus != m_list && focus->GetParent() == m_list;
    if (inOwnList && (key == WXK_DOWN || key == WXK_UP || key == WXK_HOME) && m_list->GetItemCount() > 0 &&
        !m_list->GetCurrentItem().IsOk()) {
        const wxDataViewItem first = m_list->RowToItem(0);
        m_list->SetCurrentItem(first);
        m_list->Select(first);
        UpdateProgramButton();
        return;
    }
    event.Skip();
}

// A port in a watched folder and a pty's description can be as long as a path gets, and sized to
// them the list pushes the result, the one column read from afar, out of sight. They get a fixed
// width the user can widen; the port keeps its end (ttyUSB1, the link's name), which is what tells
// one module from the next, and a screen reader still reads both whole.
void StationFrame::NarrowLongColumns() {
    const int width = FromDIP(150);
    m_list->GetColumn(kColPort)->SetWidth(width);
    m_list->GetColumn(kColPort)->GetRenderer()->EnableEllipsize(wxELLIPSIZE_START);
    m_list->GetColumn(kColDescription)->SetWidth(width);
    m_list->GetColumn(kColDescription)->GetRenderer()->EnableEllipsize(wxELLIPSIZE_END);
    // Sized to its text by wxWidgets' own list (Windows'), the time's column cut off its last digit.
    const int time = std::max(m_list->GetTextExtent("00:00:00").x, m_list->GetTextExtent(Utf8(text::kGone)).x);
    m_list->GetColumn(kColTime)->SetWidth(time + FromDIP(16));
}

wxSizer* StationFrame::BuildLedgerRow(wxWindow* parent) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticText(parent, wxID_ANY, Utf8(text::kLedger)), wxSizerFlags().CenterVertical());
    m_ledger = new wxTextCtrl(parent, wxID_ANY, Utf8(m_ledgerPath.empty() ? text::kNoLedger : m_ledgerPath.c_str()),
                              wxDefaultPosition, wxDefaultSize, wxTE_READONLY);
    row->Add(m_ledger, wxSizerFlags(1).CenterVertical().Border(wxLEFT | wxRIGHT, FromDIP(8)));
    m_chooseLedger = new wxButton(parent, wxID_ANY, Utf8(text::kChooseLedger));
    m_chooseLedger->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ChooseLedger(); });
    // A fixed setup fixes its ledger too.
    m_chooseLedger->Enable(!m_setup.locked || m_ledgerPath.empty());
    row->Add(m_chooseLedger);
    return row;
}

wxSizer* StationFrame::BuildButtons(wxWindow* parent) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    m_program = new wxButton(parent, wxID_ANY, Utf8(text::kProgram));
    m_program->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ProgramSelected(); });
    m_auto = new wxCheckBox(parent, wxID_ANY, Utf8(text::kAutomatic));
    m_auto->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent& event) { SetAutomatic(event.IsChecked()); });
    row->Add(m_program, wxSizerFlags().Border(wxRIGHT, FromDIP(16)));
    row->Add(m_auto, wxSizerFlags().CenterVertical());
    return row;
}

void StationFrame::SetLedgerPath(const std::string& path) {
    m_ledgerPath = path;
    m_ledger->ChangeValue(Utf8(path));
}

void StationFrame::ChooseLedger() {
    wxFileDialog dialog(this, Utf8(text::kChooseLedger), wxString(), wxString(), Utf8(text::kLedgerFiles), wxFD_SAVE);
    if (dialog.ShowModal() == wxID_OK)
        SetLedgerPath(WxToUtf8(dialog.GetPath()));
}

bool StationFrame::ReadyToProgram(provisioning::SettingsInput& input, AroundWork& around, std::string& why) const {
    if (m_ledgerPath.empty()) {
        why = text::kNeedLedger;
        return false;
    }
    if (!m_settings->Check(why))
        return false;
    input = m_settings->Input();
    const StationSteps steps = m_steps->Steps();
    around.onResult = steps.onResult;
    return provisioning::SettleUnattended(steps.unattended, m_setup.place.bluetooth, {}, input, around.pairing, why);
}

void StationFrame::FreezeSettings(bool frozen) {
    m_settings->Freeze(frozen);
    m_steps->Freeze(frozen);
}

void StationFrame::UpdateProgramButton() {
    const std::string port = m_rows->SelectedPort();
    const bool inFlight = !port.empty() && m_rows->InFlight(port);
    m_program->Enable(!m_closing && !port.empty() && !inFlight);
    m_program->SetToolTip(Utf8(inFlight ? text::kBusyRow : port.empty() ? text::kSelectRow : ""));
}

void StationFrame::ProgramSelected() {
    const std::string port = m_rows->SelectedPort();
    if (m_closing || port.empty() || m_rows->InFlight(port))
        return;
    std::string why;
    provisioning::SettingsInput input;
    AroundWork around;
    if (!ReadyToProgram(input, around, why) || !m_jobs.Start(port, m_addresses[port], input, around, m_ledgerPath, why)) {
        Notice(why, true);
        return;
    }
    provisioning::RecordedResult waiting;
    waiting.port.port = port;
    m_rows->Started(waiting, Now()); // shown in flight at once; the job's own start fills the names in
    UpdateProgramButton();
}

void StationFrame::SetAutomatic(bool on) {
    m_auto->SetValue(on);
    if (!on) {
        if (m_station.Running()) {
            m_station.RequestStop();
            m_auto->Disable(); // until the modules in flight are done
        }
        return;
    }
    std::string why;
    provisioning::StationOptions options;
    AroundWork around;
    options.ledgerPath = m_ledgerPath;
    options.watchDir = m_setup.place.watchDir;
    options.bluetooth = m_setup.place.bluetooth;
    options.once = m_setup.once;
    options.bluetoothSource = provisioning::BluetoothSourceFor(m_steps->Steps().unattended);
    const bool ready = !m_closing && ReadyToProgram(options.input, around, why);
    options.onResult = around.onResult;
    options.pairing = around.pairing;
    if (!ready || !m_station.Start(options, why)) {
        m_auto->SetValue(false);
        if (!why.empty())
            Notice(text::kStationRefused + why, true);
        return;
    }
    FreezeSettings(true);
    m_watch.SetProbing(false);
}

void StationFrame::OnTimer() {
    m_jobs.Reap();
    if (StopRequested() && !m_closing)
        Close();
    if (m_closing && !m_station.Running() && !m_jobs.Reap()) {
        m_timer.Stop();
        m_station.Join();
        m_watch.Stop();
        Destroy();
    }
}

void StationFrame::OnClose(wxCloseEvent& event) {
    // The modules in flight are finished and recorded first; the window goes once they are.
    if (!m_closing) {
        m_closing = true;
        m_station.RequestStop();
        m_auto->Disable();
        FreezeSettings(true);
        UpdateProgramButton();
    }
    if (event.CanVeto())
        event.Veto();
}

void StationFrame::PortAppeared(const PortFacts& facts) {
    m_addresses[facts.port] = facts.address;
    m_rows->Appeared(facts, Now());
    UpdateProgramButton();
}

void StationFrame::PortGone(const std::string& port) {
    m_rows->Gone(port);
    UpdateProgramButton();
}

void StationFrame::AttemptStarted(const provisioning::RecordedResult& attempt) {
    m_rows->Started(attempt, Now());
    UpdateProgramButton();
}

void StationFrame::AttemptFinished(const provisioning::RecordedResult& attempt, provisioning::Verdict verdict) {
    m_rows->Finished(attempt, verdict);
    Count(m_tally, verdict);
    m_counters->Show(m_tally);
    UpdateProgramButton();
    const bool failed = provisioning::WordsOf(verdict).tally == provisioning::TallyColumn::Failed;
    if (attempt.ledgerFailed)
        Notice(text::kLedgerBroken + attempt.ledgerError, true);
    else if (failed)
        Notice(attempt.port.port + ": " + LookOf(verdict).word + ". " +
                   provisioning::HintFor(attempt.port, PolishHints()) +
                   (attempt.transcript.empty() ? std::string() : text::kTranscriptAt + attempt.transcript),
               true);
    NoticeAfterResult(attempt, failed);
}

void StationFrame::NoticeAfterResult(const provisioning::RecordedResult& attempt, bool failed) {
    // The command's failure is the line's own: the module's result above it stands.
    if (provisioning::Failed(attempt.onResult))
        Notice(attempt.port.port + text::kOnResultFailed + ResultCommandWords(attempt.onResult) + text::kResultStands,
               true);
    else if (failed && !attempt.transcriptError.empty())
        Notice(attempt.port.port + ": " + text::kNoTranscript + attempt.transcriptError, true);
}

void StationFrame::Notice(const std::string& sentence, bool failure) {
    if (failure)
        m_counters->Failure(sentence);
    else
        m_counters->Notice(sentence);
}

void StationFrame::StationEnded(provisioning::ExitStatus status, const std::string& refusal) {
    m_station.Join();
    if (!refusal.empty())
        Notice(text::kStationRefused + refusal, true);
    if (m_setup.exitStatus != nullptr)
        *m_setup.exitStatus = status;
    m_auto->SetValue(false);
    m_auto->Enable(!m_closing);
    m_watch.SetProbing(true);
    FreezeSettings(m_closing);
    // --once: the program ends with the station, as zk405-cli station --once does.
    if (m_setup.once != 0 && !m_closing)
        Close();
}

void StationFrame::ManualEnded(const std::string&) {
    m_jobs.Reap();
    UpdateProgramButton();
}

} // namespace station_ui
