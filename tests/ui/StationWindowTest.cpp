// The station window as the technician sees it: simulated modules appear as links in a watched folder,
// and the tests read the list's cells, the counters, the last failure's sentence, and which controls
// can be used, while the window's events are handled as a user's would be.
#include "StationBench.h"

#include "Ledger.h"
#include "PolishHints.h"
#include "PortProbe.h"
#include "StationRows.h"
#include "StationTexts.h"

#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dataview.h>
#include <wx/frame.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <csignal>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>

namespace {

using namespace station_test;
using station_ui::Column;
namespace text = station_ui::text;

const Strings kProgrammed = {"AT+BNAME?", "AT+BNAME=Linia 1", "AT+BPIN=98765", "AT+BNAME?"};

std::vector<provisioning::LedgerRecord> Records(const std::string& path) {
    provisioning::LedgerFormat format;
    std::string error;
    EXPECT_TRUE(provisioning::LedgerFormatOf(path, format, error));
    return provisioning::ParseLedger(ReadWholeFile(path), format).records;
}

class StationWindowTest : public StationFixture {};

// With "Automatycznie" ticked a module that appears is programmed once; one that was there is left alone.
TEST_F(StationWindowTest, AutomaticProgramsANewModuleAndLeavesAPresentOneAlone) {
    Modules modules(m_dir, 2);
    modules.PlugIn(0);
    station_ui::StationSetup setup = SetupFor(m_dir, modules);
    setup.automatic = true;
    Window window(setup);
    ASSERT_GE(window.RowOf(modules.Link(0)), 0);
    EXPECT_EQ(window.Cell(modules.Link(0), station_ui::kColResult), text::kWaiting);
    ASSERT_TRUE(RunUntil([&] { return !window->Settings().IsEnabled() || !window->AutoBox().IsEnabled() ||
                                      window->AutoBox().GetValue(); }));
    // The station watches once its ledger is there; inotify is set up a moment after.
    ASSERT_TRUE(RunUntil([&] { return std::filesystem::exists(setup.ledgerPath); }));
    wx_test::Settle(150);
    modules.PlugIn(1);

    EXPECT_EQ(window.ResultOf(modules.Link(1)), "ZAPROGRAMOWANY");
    EXPECT_EQ(window.Cell(modules.Link(1), station_ui::kColNameBefore), "ZK405");
    EXPECT_EQ(window.Cell(modules.Link(1), station_ui::kColNameAfter), "Linia 1");
    EXPECT_EQ(window.Cell(modules.Link(1), station_ui::kColName), "potwierdzone");
    EXPECT_EQ(window.Cell(modules.Link(1), station_ui::kColPin), "potwierdzone");
    EXPECT_EQ(window.Cell(modules.Link(1), station_ui::kColFlow), "");
    EXPECT_EQ(window->Counters().Figure(0), "1");
    EXPECT_EQ(window->Counters().Figure(1), "0");
    EXPECT_EQ(window.Cell(modules.Link(0), station_ui::kColResult), text::kWaiting);
    ASSERT_TRUE(window.CloseAndWait());
    EXPECT_EQ(modules.Received(1), kProgrammed);
    EXPECT_TRUE(modules.Received(0).empty());
}

// "Programuj" on the selected row: the row says, setting by setting, what the module answered.
TEST_F(StationWindowTest, ProgramOnARowShowsThePinRefusedAndTheNameConfirmed) {
    Modules modules(m_dir, 1, {"--refuse", "AT+BPIN"});
    modules.PlugIn(0);
    Window window(SetupFor(m_dir, modules));
    window.Select(modules.Link(0));
    ASSERT_TRUE(window->ProgramButton().IsEnabled());
    wx_test::Click(&window->ProgramButton());

    EXPECT_EQ(window.ResultOf(modules.Link(0)), "BŁĄD (niepotwierdzony)");
    EXPECT_EQ(window.Cell(modules.Link(0), station_ui::kColName), "potwierdzone");
    EXPECT_EQ(window.Cell(modules.Link(0), station_ui::kColPin), "odrzucone");
    EXPECT_EQ(window->Counters().Figure(1), "1");
    const std::string hint = station_ui::PolishHints()[static_cast<size_t>(provisioning::HintKey::RefusedPin)];
    const std::string failure = window->Counters().LastFailure();
    ASSERT_TRUE(window.CloseAndWait());
    const auto records = Records(m_dir.File("ledger.jsonl"));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].n, 1);
    // The line ends with where the failed attempt's transcript is.
    EXPECT_EQ(failure, modules.Link(0) + ": BŁĄD (niepotwierdzony). " + hint +
                                                    text::kTranscriptAt + m_dir.File(records[1].transcript));
}

// However long the watched folder's path, what is read from afar stays in sight at the size the window
// opens with: the result's column, and the failure's sentence to its end. The port's cell still holds
// the whole path.
TEST_F(StationWindowTest, TheResultStaysInSightBesideAPortWithALongPath) {
    Modules modules(m_dir, 1, {"--refuse", "AT+BPIN"}, "hala-B/stanowisko-3/moduly-bluetooth-do-drukarek-kasowych");
    modules.PlugIn(0);
    Window window(SetupFor(m_dir, modules));
    window.Select(modules.Link(0));
    wx_test::Click(&window->ProgramButton());
    ASSERT_EQ(window.ResultOf(modules.Link(0)), "BŁĄD (niepotwierdzony)");
    wx_test::Settle(200);
    wxDataViewListCtrl& list = window->List();
    int right = 0;
    for (unsigned column = 0; column < list.GetColumnCount(); ++column)
        right += list.GetColumn(column)->GetWidth();
    EXPECT_LE(right, list.GetClientSize().GetWidth());
    EXPECT_EQ(window.Cell(modules.Link(0), station_ui::kColPort), modules.Link(0));
    // The failure's sentence, wrapped over as many lines as its path takes, is shown to its last line
    // (where the transcript is), not cut off at the height of the settings beside it.
    const auto letters = [](std::string text) {
        std::erase_if(text, [](char c) { return c == ' ' || c == '\n'; });
        return text;
    };
    const wxWindow& counters = window->Counters();
    const wxStaticText* sentence = nullptr;
    for (const wxWindow* child : counters.GetChildren())
        if (letters(WxToUtf8(child->GetLabel())).rfind(letters(modules.Link(0)), 0) == 0)
            sentence = dynamic_cast<const wxStaticText*>(child);
    ASSERT_NE(sentence, nullptr);
    const wxSize size = sentence->GetSize(), best = sentence->GetBestSize();
    EXPECT_GT(size.GetHeight(), 3 * sentence->GetCharHeight()) << "not wrapped over lines";
    EXPECT_GE(size.GetHeight(), best.GetHeight());
    EXPECT_GE(size.GetWidth(), best.GetWidth());
    EXPECT_LE(sentence->GetRect().GetBottom(), counters.GetClientSize().GetHeight());
    EXPECT_EQ(letters(WxToUtf8(sentence->GetLabel())), letters(window->Counters().LastFailure()));
    ASSERT_TRUE(window.CloseAndWait());
}

// Enter on a row programs it; the button is off for a row in flight, so one module gets one job.
TEST_F(StationWindowTest, EnterOnARowProgramsItAndItsButtonWaitsForTheJob) {
    Modules modules(m_dir, 1, {"--reply-delay-ms", "150"});
    modules.PlugIn(0);
    Window window(SetupFor(m_dir, modules));
    window.Select(modules.Link(0));
    const int row = window.RowOf(modules.Link(0));
    wxDataViewEvent activated(wxEVT_DATAVIEW_ITEM_ACTIVATED, &window->List(), window->List().RowToItem(row));
    window->List().ProcessWindowEvent(activated);
    EXPECT_EQ(window.Cell(modules.Link(0), station_ui::kColResult), text::kInFlight);
    EXPECT_FALSE(window->ProgramButton().IsEnabled());
    window->ProgramSelected(); // a second press while it runs does nothing
    EXPECT_EQ(window.ResultOf(modules.Link(0)), "ZAPROGRAMOWANY");
    EXPECT_TRUE(window->ProgramButton().IsEnabled());
    ASSERT_TRUE(window.CloseAndWait());
    EXPECT_EQ(modules.Received(0), kProgrammed);
}

// --locked: the settings cannot be changed, and the PIN is shown as set, never as itself.
TEST_F(StationWindowTest, LockedLeavesNothingEditable) {
    Modules modules(m_dir, 1);
    modules.PlugIn(0);
    station_ui::StationSetup setup = SetupFor(m_dir, modules);
    setup.locked = true;
    Window window(setup);
    ASSERT_GE(window.RowOf(modules.Link(0)), 0);
    size_t fields = 0;
    for (wxWindow* child : window->Settings().GetChildren())
        if (dynamic_cast<wxTextCtrl*>(child) != nullptr || dynamic_cast<wxChoice*>(child) != nullptr) {
            ++fields;
            EXPECT_FALSE(child->IsEnabled()) << WxToUtf8(child->GetName());
        }
    EXPECT_EQ(fields, 4u);
    station_ui::StepsPanel& steps = window->Steps();
    for (wxWindow* control : {static_cast<wxWindow*>(&steps.CommandField()), static_cast<wxWindow*>(&steps.DiscoverBox()),
                              static_cast<wxWindow*>(&steps.MatchField()), static_cast<wxWindow*>(&steps.ProvePinBox()),
                              static_cast<wxWindow*>(&steps.UnpairAfterBox())})
        EXPECT_FALSE(control->IsEnabled()) << WxToUtf8(control->GetLabel());
    size_t stepFields = 0;
    for (wxWindow* child : steps.GetChildren())
        if (dynamic_cast<wxTextCtrl*>(child) != nullptr || dynamic_cast<wxCheckBox*>(child) != nullptr)
            stepFields += child->IsEnabled() ? 100 : 1;
    EXPECT_EQ(stepFields, 5u) << "every field of the steps is read-only";
    bool pinShown = false;
    for (wxWindow* child : window->Settings().GetChildren())
        pinShown = pinShown || WxToUtf8(child->GetLabel()) == text::kPinSet;
    EXPECT_TRUE(pinShown);
    for (int column = 0; column < station_ui::kColumnCount; ++column)
        EXPECT_EQ(window.Cell(modules.Link(0), static_cast<Column>(column)).find("98765"), std::string::npos);
    EXPECT_EQ(window->Settings().Input().pin, "98765");
}

// Closing while a module is being programmed finishes it, records it, and gives its port back.
TEST_F(StationWindowTest, ClosingMidModuleRecordsItAndLeavesNoLock) {
    Modules modules(m_dir, 1, {"--reply-delay-ms", "300"});
    station_ui::StationSetup setup = SetupFor(m_dir, modules);
    setup.automatic = true;
    Window window(setup);
    ASSERT_TRUE(RunUntil([&] { return std::filesystem::exists(setup.ledgerPath); }));
    wx_test::Settle(150);
    modules.PlugIn(0);
    ASSERT_TRUE(RunUntil([&] { return window.Cell(modules.Link(0), station_ui::kColResult) == text::kInFlight; }));
    window->Close();
    EXPECT_FALSE(window->ProgramButton().IsEnabled());
    ASSERT_TRUE(window.CloseAndWait());
    const auto records = Records(setup.ledgerPath);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].result, provisioning::kResultProgrammed);
    serial_result::OpenFailure failure;
    EXPECT_TRUE(port_probe::CanOpen(modules.Link(0), failure)) << serial_result::DescribeOpenFailure(failure);
}

// Without a ledger nothing is programmed, and the window says why instead of starting.
TEST_F(StationWindowTest, NoLedgerRefusesToProgramAndSaysWhy) {
    Modules modules(m_dir, 1);
    modules.PlugIn(0);
    station_ui::StationSetup setup = SetupFor(m_dir, modules);
    setup.ledgerPath.clear();
    Window window(setup);
    window.Select(modules.Link(0));
    window->ProgramSelected();
    window->SetAutomatic(true);
    EXPECT_FALSE(window->AutoBox().GetValue());
    EXPECT_EQ(window->Counters().LastFailure(), std::string(text::kStationRefused) + text::kNeedLedger);
    EXPECT_EQ(window.Cell(modules.Link(0), station_ui::kColResult), text::kWaiting);
    EXPECT_TRUE(modules.Received(0).empty());
}

// A ledger that cannot be opened: the row ends with the ledger's reason, and nothing is sent.
TEST_F(StationWindowTest, ALedgerThatCannotBeOpenedEndsTheRowWithItsReason) {
    Modules modules(m_dir, 1);
    modules.PlugIn(0);
    station_ui::StationSetup setup = SetupFor(m_dir, modules);
    setup.ledgerPath = m_dir.File("no such folder/ledger.jsonl");
    Window window(setup);
    window.Select(modules.Link(0));
    window->ProgramSelected();
    EXPECT_NE(window.ResultOf(modules.Link(0), 3000).find("BŁĄD"), std::string::npos);
    EXPECT_EQ(window->Counters().Figure(1), "1");
    EXPECT_EQ(window->Counters().LastFailure().rfind(text::kLedgerBroken, 0), 0u) << window->Counters().LastFailure();
    EXPECT_TRUE(window->ProgramButton().IsEnabled());
    EXPECT_TRUE(modules.Received(0).empty());
}

// A preset saved from the window reads back as the same settings, and only its owner may read its PIN.
TEST_F(StationWindowTest, SavedPresetReadsBackAndKeepsItsPinPrivate) {
    Modules modules(m_dir, 1);
    station_ui::StationSetup setup = SetupFor(m_dir, modules);
    setup.input.pairPin = "1234"; // the pairing PIN a preset had is kept when it is saved again
    Window window(setup);
    const std::string path = m_dir.File("saved.preset");
    std::string error;
    ASSERT_TRUE(window->Settings().SavePreset(path, error)) << error;
    provisioning::SettingsInput read;
    ASSERT_TRUE(provisioning::ReadPreset(path, read, error)) << error;
    EXPECT_EQ(read.name, "Linia {n}");
    EXPECT_EQ(read.pin, "98765");
    EXPECT_EQ(read.pairPin, "1234");
    const auto perms = std::filesystem::status(path).permissions();
    EXPECT_EQ(perms & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
              std::filesystem::perms::none);
}

void CollectLabels(wxWindow& window, std::vector<wxWindow*>& order) {
    for (wxWindow* child : window.GetChildren()) {
        order.push_back(child);
        CollectLabels(*child, order);
    }
}

// Keyboard alone: each mnemonic letter is the window's only one, Tab reaches the list after the
// buttons, and the list has the focus at the start, so that Enter on a row programs it.
TEST_F(StationWindowTest, KeyboardReachesEverythingWithOneMnemonicEach) {
    Modules modules(m_dir, 1);
    Window window(SetupFor(m_dir, modules));
    wx_test::Settle(100);
    std::vector<wxWindow*> order;
    CollectLabels(*window, order);
    std::set<wxChar> letters;
    for (wxWindow* control : order) {
        const wxString label = control->GetLabel();
        const int amp = label.Find('&');
        if (amp == wxNOT_FOUND || static_cast<size_t>(amp) + 1 >= label.length())
            continue;
        EXPECT_TRUE(letters.insert(wxTolower(label[static_cast<size_t>(amp) + 1])).second) << WxToUtf8(label);
    }
    EXPECT_GE(letters.size(), 9u);
    const auto at = [&](wxWindow* control) { return std::find(order.begin(), order.end(), control) - order.begin(); };
    EXPECT_LT(at(&window->ProgramButton()), at(&window->List()));
    EXPECT_LT(at(&window->AutoBox()), at(&window->List()));
    EXPECT_LT(at(&window->Settings()), at(&window->ProgramButton()));
    EXPECT_TRUE(window->List().HasFocus() || window->List().GetMainWindow()->HasFocus());
}

// The program itself: --once N ends it after N modules with the station's status, as zk405-cli's.
TEST_F(StationWindowTest, OnceEndsTheProgramWithTheStationsStatus) {
    Modules modules(m_dir, 1, {"--refuse", "AT+BPIN"});
    const std::string preset = m_dir.File("line.preset");
    std::ofstream(preset) << "name=Linia {n}\npin=98765\n";
    ChildProcess station({ZK405_STATION_PROGRAM, "--preset", preset, "--ledger", m_dir.File("ledger.jsonl"),
                          "--watch-dir", modules.Watched(), "--locked", "--once", "1"});
    ASSERT_TRUE(RunUntil([&] { return std::filesystem::exists(m_dir.File("ledger.jsonl")); }));
    wx_test::Settle(300);
    modules.PlugIn(0);
    EXPECT_EQ(station.Wait(10000), provisioning::kExitNotConfirmed);
    EXPECT_EQ(Records(m_dir.File("ledger.jsonl")).size(), 2u);
}

// SIGTERM in the terminal that started it ends the window as closing it does.
TEST_F(StationWindowTest, TerminationSignalClosesTheWindow) {
    Modules modules(m_dir, 1);
    modules.PlugIn(0);
    ChildProcess station({ZK405_STATION_PROGRAM, "--ledger", m_dir.File("ledger.jsonl"), "--watch-dir",
                          modules.Watched(), "--auto"});
    ASSERT_TRUE(RunUntil([&] { return std::filesystem::exists(m_dir.File("ledger.jsonl")); }));
    ASSERT_TRUE(station.Signal(SIGTERM));
    EXPECT_EQ(station.Wait(5000), 0);
    EXPECT_TRUE(modules.Received(0).empty());
}

// The Polish table has a sentence wherever the English one has, naming what the English one names.
TEST(StationTexts, PolishHintsCoverEveryEnglishOne) {
    const provisioning::HintWords& english = provisioning::EnglishHints();
    const provisioning::HintWords& polish = station_ui::PolishHints();
    for (size_t key = 0; key < provisioning::kHintKeys; ++key) {
        EXPECT_EQ(std::string(english[key]).empty(), std::string(polish[key]).empty()) << key;
        for (const char* placeholder : {"{device}", "{program}", "{pid}", "{path}", "{address}"}) {
            if (std::string(polish[key]).find(placeholder) != std::string::npos) {
                EXPECT_NE(std::string(english[key]).find(placeholder), std::string::npos) << key << placeholder;
            }
        }
    }
}

// The window's own watch and the station look for ports each on its own, so a port's appearance may be
// told after the station has taken the module, or even finished it (seen on Windows, which is looked
// at twice a second). That is the same module: its row keeps what the attempt showed. Only a port that
// went and came back is a new module.
TEST(StationRows, AnAppearanceToldLateKeepsTheAttemptAndOneAfterGoingIsANewModule) {
    wxFrame frame(nullptr, wxID_ANY, "rows");
    auto* list = new wxDataViewListCtrl(&frame, wxID_ANY);
    auto* store = new station_ui::ResultColours;
    list->AssociateModel(store);
    store->DecRef();
    for (const char* column : text::kColumns)
        list->AppendTextColumn(column);
    station_ui::StationRows rows(*list);
    const auto attempt = [](const std::string& port) {
        provisioning::RecordedResult attempt;
        attempt.port.port = port;
        attempt.port.nameBefore = "ZK405";
        attempt.port.steps = {{provisioning::StepKind::Pin, "AT+BPIN=1\r\n", "OK\r\n",
                               provisioning::Outcome::Confirmed, 0.1}};
        attempt.nameAfter = "Linia 1";
        return attempt;
    };
    const auto cell = [&](const std::string& port, Column column) { return rows.Cell(rows.RowOf(port), column); };

    rows.Appeared({"com5", "other: Serial device", {}, {}}, "10:00:00");
    rows.Started(attempt("com5"), "10:00:01");
    rows.Finished(attempt("com5"), provisioning::Verdict::Programmed);
    rows.Appeared({"com5", "other: Serial device", {}, {}}, "10:00:02");
    EXPECT_EQ(cell("com5", station_ui::kColResult), "ZAPROGRAMOWANY");
    EXPECT_EQ(cell("com5", station_ui::kColPin), "potwierdzone");
    EXPECT_EQ(cell("com5", station_ui::kColTime), "10:00:01");

    // Taken before the window heard of it at all: the description still comes to its row.
    rows.Started(attempt("com6"), "10:00:03");
    rows.Appeared({"com6", "other: Serial device", {}, {}}, "10:00:04");
    EXPECT_EQ(cell("com6", station_ui::kColResult), text::kInFlight);
    rows.Finished(attempt("com6"), provisioning::Verdict::Programmed);
    EXPECT_EQ(cell("com6", station_ui::kColDescription), "other: Serial device");
    EXPECT_EQ(cell("com6", station_ui::kColResult), "ZAPROGRAMOWANY");
    EXPECT_EQ(list->GetItemCount(), 2u);

    rows.Gone("com5");
    rows.Appeared({"com5", "other: Serial device", {}, {}}, "10:01:00");
    EXPECT_EQ(cell("com5", station_ui::kColResult), text::kWaiting);
    EXPECT_EQ(cell("com5", station_ui::kColPin), "");
    EXPECT_EQ(cell("com5", station_ui::kColTime), "10:01:00");
}

// Each result has a word of its own: a colour is never all that tells two results apart.
TEST(StationTexts, EveryVerdictHasItsOwnWord) {
    using provisioning::Verdict;
    std::set<std::string> words;
    for (Verdict verdict : {Verdict::Programmed, Verdict::Sent, Verdict::Skipped, Verdict::NotOpened,
                            Verdict::LineStuck, Verdict::Failed, Verdict::LinkLost, Verdict::Silent,
                            Verdict::NotConfirmed, Verdict::Interrupted})
        EXPECT_TRUE(words.insert(station_ui::LookOf(verdict).word).second) << station_ui::LookOf(verdict).word;
}

} // namespace
