// The list of modules: one row per port seen, its cells as the user reads them, and the result in
// a word and a colour. The cells are made by plain functions from what provisioning/ reports; the
// list itself is a wxDataViewListCtrl, GTK's own tree view, which a screen reader can read.
#pragma once

#include "RecordedJob.h"
#include "StationTexts.h"

#include <wx/dataview.h>

#include <array>
#include <map>
#include <set>
#include <string>

namespace station_ui {

// What the window learns of a port when it appears (as `zk405-cli list --all` tells it).
struct PortFacts {
    std::string port;
    std::string description; // the kind and the description, or the Bluetooth address
    std::string cannotOpen;  // why it cannot be opened now; empty when it can
    std::string address;     // a Bluetooth module's, when its source knows it
};

using RowCells = std::array<std::string, kColumnCount>;

// Each setting's column with the Polish word for its outcome; the name's column says the read-back's
// outcome when the name was confirmed but read back otherwise. Steps not sent leave their column empty.
void FillOutcomes(const provisioning::PortResult& port, RowCells& cells);
// The cells a finished attempt gives (the time and the description are the row's own).
void FillFinished(const provisioning::RecordedResult& attempt, provisioning::Verdict verdict, RowCells& cells);

class StationRows {
public:
    explicit StationRows(wxDataViewListCtrl& list);

    void Appeared(const PortFacts& facts, const std::string& time);
    // A port that goes keeps its row when something was done with it; an untouched one leaves the list.
    void Gone(const std::string& port);
    void Started(const provisioning::RecordedResult& attempt, const std::string& time);
    void Finished(const provisioning::RecordedResult& attempt, provisioning::Verdict verdict);

    bool InFlight(const std::string& port) const { return m_inFlight.count(port) != 0; }
    // The selected row's port, empty when none is selected.
    std::string SelectedPort() const;
    int RowOf(const std::string& port) const;
    std::string Cell(int row, Column column) const;

private:
    int EnsureRow(const std::string& port, const std::string& time);
    void SetCells(int row, const RowCells& cells, bool all);

    wxDataViewListCtrl& m_list;
    std::set<std::string> m_inFlight;
    std::set<std::string> m_worked;    // ports with an attempt, kept when they go
    std::set<std::string> m_attempted; // ports with an attempt since they last went
};

// The list's store, which colours the result cell by the row's verdict.
class ResultColours : public wxDataViewListStore {
public:
    void SetColour(const std::string& port, const wxColour& colour) { m_colours[port] = colour; }
    bool GetAttrByRow(unsigned row, unsigned column, wxDataViewItemAttr& attr) const override;

private:
    std::map<std::string, wxColour> m_colours;
};

} // namespace station_ui
