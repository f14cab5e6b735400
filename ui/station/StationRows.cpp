#include "StationRows.h"

#include "Cp1250.h"
#include "UiText.h"

#include <cstdio>

namespace station_ui {

namespace {

using provisioning::StepKind;

int ColumnOf(StepKind kind) {
    switch (kind) {
    case StepKind::Name:
    case StepKind::NameReadBack:
        return kColName;
    case StepKind::Pin:
        return kColPin;
    case StepKind::Flow:
        return kColFlow;
    case StepKind::Auth:
        return kColAuth;
    case StepKind::NameRead:
    case StepKind::NameBefore:
        break;
    }
    return -1;
}

ResultColours* ColoursOf(wxDataViewListCtrl& list) {
    return dynamic_cast<ResultColours*>(list.GetStore());
}

} // namespace

void FillOutcomes(const provisioning::PortResult& port, RowCells& cells) {
    for (const provisioning::StepResult& step : port.steps) {
        const int column = ColumnOf(step.step);
        if (column < 0)
            continue;
        // A name confirmed and then read back as another is not the name the module has.
        if (step.step == StepKind::NameReadBack && provisioning::OutcomeIsGood(step.outcome))
            continue;
        cells[static_cast<size_t>(column)] = OutcomeLabel(step.outcome);
    }
}

void FillFinished(const provisioning::RecordedResult& attempt, provisioning::Verdict verdict, RowCells& cells) {
    const provisioning::PortResult& port = attempt.port;
    cells[kColPort] = port.port;
    cells[kColNameBefore] = cp1250::Cp1250ToUtf8(port.nameBefore);
    cells[kColNameAfter] = port.status == provisioning::kExitOk ? attempt.nameAfter : std::string();
    FillOutcomes(port, cells);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", port.seconds);
    cells[kColSeconds] = seconds;
    cells[kColResult] = LookOf(verdict).word;
}

bool ResultColours::GetAttrByRow(unsigned row, unsigned column, wxDataViewItemAttr& attr) const {
    if (column != kColResult)
        return false;
    wxVariant port;
    GetValueByRow(port, row, kColPort);
    const auto found = m_colours.find(WxToUtf8(port.GetString()));
    if (found == m_colours.end())
        return false;
    attr.SetColour(found->second);
    attr.SetBold(true);
    return true;
}

StationRows::StationRows(wxDataViewListCtrl& list) : m_list(list) {}

int StationRows::RowOf(const std::string& port) const {
    for (int row = 0; row < static_cast<int>(m_list.GetItemCount()); ++row)
        if (Cell(row, kColPort) == port)
            return row;
    return -1;
}

std::string StationRows::Cell(int row, Column column) const {
    return WxToUtf8(m_list.GetTextValue(static_cast<unsigned>(row), column));
}

std::string StationRows::SelectedPort() const {
    const int row = m_list.GetSelectedRow();
    return row == wxNOT_FOUND ? std::string() : Cell(row, kColPort);
}

int StationRows::EnsureRow(const std::string& port, const std::string& time) {
    int row = RowOf(port);
    if (row >= 0)
        return row;
    wxVector<wxVariant> values;
    for (int column = 0; column < kColumnCount; ++column)
        values.push_back(wxVariant(wxString()));
    values[kColTime] = Utf8(time);
    values[kColPort] = Utf8(port);
    m_list.AppendItem(values);
    return static_cast<int>(m_list.GetItemCount()) - 1;
}

void StationRows::SetCells(int row, const RowCells& cells, bool all) {
    for (int column = 0; column < kColumnCount; ++column)
        if (all || !cells[static_cast<size_t>(column)].empty())
            m_list.SetTextValue(Utf8(cells[static_cast<size_t>(column)]), static_cast<unsigned>(row), column);
    // GTK repaints a changed value but tells its accessible row only of a changed row: without this a
    // screen reader keeps reading the row as it first read it.
    m_list.GetStore()->RowChanged(static_cast<unsigned>(row));
}

void StationRows::Appeared(const PortFacts& facts, const std::string& time) {
    const int row = EnsureRow(facts.port, time);
    // The window's own watch looks on its own (on Windows twice a second), so it may tell of a port
    // after the station has taken it and even finished: that is the same module, whose attempt the
    // row shows, and only its description was still to come.
    if (m_attempted.count(facts.port) != 0) {
        if (!facts.description.empty()) {
            m_list.SetTextValue(Utf8(facts.description), static_cast<unsigned>(row), kColDescription);
            m_list.GetStore()->RowChanged(static_cast<unsigned>(row));
        }
        return;
    }
    RowCells cells;
    cells[kColTime] = time;
    cells[kColPort] = facts.port;
    cells[kColDescription] = facts.description;
    cells[kColResult] = facts.cannotOpen.empty() ? text::kWaiting : text::kCannotOpen + facts.cannotOpen;
    // A module plugged in again (it went first) is a new module: what the last one got is no longer
    // its row's.
    SetCells(row, cells, true);
    if (ResultColours* colours = ColoursOf(m_list))
        colours->SetColour(facts.port, wxColour());
}

void StationRows::Gone(const std::string& port) {
    const int row = RowOf(port);
    if (row < 0)
        return;
    if (!InFlight(port))
        m_attempted.erase(port);
    if (m_worked.count(port) == 0 && !InFlight(port)) {
        m_list.DeleteItem(static_cast<unsigned>(row));
        return;
    }
    if (!InFlight(port)) {
        m_list.SetTextValue(Utf8(text::kGone), static_cast<unsigned>(row), kColTime);
        m_list.GetStore()->RowChanged(static_cast<unsigned>(row));
    }
}

void StationRows::Started(const provisioning::RecordedResult& attempt, const std::string& time) {
    const std::string& port = attempt.port.port;
    const int row = EnsureRow(port, time);
    m_inFlight.insert(port);
    m_worked.insert(port);
    m_attempted.insert(port);
    RowCells cells;
    cells[kColTime] = time;
    cells[kColPort] = port;
    cells[kColDescription] = Cell(row, kColDescription);
    cells[kColNameBefore] = cp1250::Cp1250ToUtf8(attempt.port.nameBefore);
    cells[kColNameAfter] = attempt.nameAfter;
    cells[kColResult] = text::kInFlight;
    SetCells(row, cells, true);
    if (ResultColours* colours = ColoursOf(m_list))
        colours->SetColour(port, wxColour());
}

void StationRows::Finished(const provisioning::RecordedResult& attempt, provisioning::Verdict verdict) {
    const std::string& port = attempt.port.port;
    m_inFlight.erase(port);
    m_worked.insert(port);
    const int row = EnsureRow(port, WxToUtf8(wxDateTime::Now().FormatISOTime()));
    RowCells cells;
    FillFinished(attempt, verdict, cells);
    SetCells(row, cells, false);
    if (ResultColours* colours = ColoursOf(m_list))
        colours->SetColour(port, LookOf(verdict).colour);
    m_list.GetStore()->RowValueChanged(static_cast<unsigned>(row), kColResult);
}

} // namespace station_ui
