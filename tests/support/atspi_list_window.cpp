// A window with the list control the station window shows its modules in (wxDataViewListCtrl), two
// rows in it and a button that adds a third: the accessibility harness is proven on that very widget.
#include <wx/app.h>
#include <wx/button.h>
#include <wx/dataview.h>
#include <wx/frame.h>
#include <wx/sizer.h>

#include <utility>

namespace {

constexpr std::pair<const char*, const char*> kRows[] = {
    {"com97", "Drukarka biurowa"},
    {"com98", "Biuro Łódź"},
};

void AppendRow(wxDataViewListCtrl& list, const char* port, const char* module) {
    wxVector<wxVariant> row;
    row.push_back(wxString::FromUTF8(port));
    row.push_back(wxString::FromUTF8(module));
    list.AppendItem(row);
}

class ListWindowApp : public wxApp {
public:
    bool OnInit() override {
        auto* frame = new wxFrame(nullptr, wxID_ANY, wxString::FromUTF8("Lista portów"));
        auto* list = new wxDataViewListCtrl(frame, wxID_ANY);
        list->AppendTextColumn("Port");
        list->AppendTextColumn(wxString::FromUTF8("Moduł"));
        for (const auto& [port, module] : kRows)
            AppendRow(*list, port, module);
        // A row added while the window is up, as the station adds a module it meets.
        auto* add = new wxButton(frame, wxID_ADD, "Dodaj");
        add->Bind(wxEVT_BUTTON, [list](wxCommandEvent&) { AppendRow(*list, "com99", "Nowy"); });
        auto* sizer = new wxBoxSizer(wxVERTICAL);
        sizer->Add(list, 1, wxEXPAND);
        sizer->Add(add, 0, wxALIGN_RIGHT | wxALL, 4);
        frame->SetSizer(sizer);
        frame->SetSize(400, 240);
        frame->Show();
        return true;
    }
};

} // namespace

wxIMPLEMENT_APP(ListWindowApp);
