// The settings window against a pseudo-terminal: the test plays the module inside the window's wait,
// so a one-second exchange takes no time and every byte on the line can be checked.
#include "ModuleSettingsDlg.h"
#include "Cp1250.h"
#include "PseudoTerminal.h"
#include "TempDir.h"
#include "WxTestSupport.h"
#include "resource.h"

#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include <algorithm>
#include <chrono>
#include <source_location>
#include <string>
#include <thread>
#include <vector>

using namespace wx_test;
using Dlg = CModuleSettingsDlg;

namespace {

constexpr const char* kSummaryCaption = "KALDOR ZK405 - Potwierdź dane...:   ";

// Presses "Programuj" and answers the summary box, which must show exactly this summary. A failure
// names the test's line.
void ProgramThrough(Dlg& dlg, const std::string& summary, int answer = wxID_OK,
                    std::source_location where = std::source_location::current()) {
    const testing::ScopedTrace trace(where.file_name(), static_cast<int>(where.line()), "Programuj");
    wxTEST_DIALOG(Click(dlg.Controls().Find(IDC_PROGRAM)),
                  ExpectMessage(Shown(summary), kSummaryCaption, wxOK | wxCANCEL, answer));
}

std::string Cp1250(const char* utf8) {
    return cp1250::Utf8ToCp1250(utf8).bytes;
}

// Types one character at a time, as a user does: the field's length limit refuses what does not fit.
void Type(wxTextEntry* field, const char* utf8) {
    for (wxUniChar c : Utf8(utf8))
        field->WriteText(wxString(c));
}

// Answers the window's commands as the module would; what the module sends back is in its code page.
class FakeModule {
public:
    std::string name = Cp1250("KALDOR ZK405");
    bool silent = false;
    std::string line; // every byte the window wrote, in order
    std::vector<uint32_t> waits;
    std::vector<bool> busyCursor; // the wait cursor, at each wait
    PseudoTerminal pty;

    module_commands::CommandLink Link(CSerialPort& port) {
        return {&port, [this](uint32_t milliseconds) { OnWait(milliseconds); }};
    }

private:
    void OnWait(uint32_t milliseconds) {
        waits.push_back(milliseconds);
        busyCursor.push_back(wxIsBusy());
        const std::string command = pty.ReadFromPort(1, 1000);
        line += command;
        if (silent)
            return;
        if (command.rfind("AT+BNAME?", 0) == 0)
            pty.SendToPort("\r\n+BNAME=" + name + "\r\nOK\r\n");
        else
            pty.SendToPort("\r\nOK\r\n");
    }
};

class SettingsWindow : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module.pty.IsOpen());
        choice.m_strPort = module.pty.SlavePath();
    }

    template <class T> static T* Get(Dlg& dlg, int id) {
        T* control = dlg.Controls().Get<T>(id);
        EXPECT_NE(control, nullptr) << id;
        return control;
    }

    TempDir dir; // the port's traffic log lands here
    FakeModule module;
    CSerialPort port;
    CPortChoice choice;
};

} // namespace

TEST_F(SettingsWindow, OpensWithTheModuleNameInTheDisabledNameFieldAndEverythingElseClear) {
    module.name = Cp1250("Drukarka Łódź");
    Dlg dlg(nullptr, choice, module.Link(port));
    const int shownBefore = SettingsWindowsShown();
    const int result = RunModal(dlg, [&] {
        EXPECT_TRUE(dlg.IsShown());
        EXPECT_TRUE(port.IsOpen());
        EXPECT_EQ(port.BaudRate(), 9600u);
        EXPECT_EQ(wxWindow::FindFocus(), dlg.Controls().Find(IDC_BACK)) << "the first tab stop, Wstecz";
        auto* name = Get<wxTextCtrl>(dlg, IDC_NAME_VALUE);
        EXPECT_EQ(WxToUtf8(name->GetValue()), "Drukarka Łódź");
        EXPECT_FALSE(name->IsEnabled());
        EXPECT_EQ(dlg.Saved().name, Cp1250("Drukarka Łódź"));
        for (int id : {IDC_SET_NAME, IDC_SET_PIN, IDC_SET_FLOW, IDC_SET_AUTH})
            EXPECT_FALSE(Get<wxCheckBox>(dlg, id)->GetValue()) << id;
        for (int id : {IDC_PIN_VALUE, IDC_PROTOCOL, IDC_AUTH_ALWAYS, IDC_AUTH_REMEMBER})
            EXPECT_FALSE(dlg.Controls().Find(id)->IsEnabled()) << id;
        EXPECT_FALSE(Get<wxRadioButton>(dlg, IDC_AUTH_ALWAYS)->GetValue());
        EXPECT_FALSE(Get<wxRadioButton>(dlg, IDC_AUTH_REMEMBER)->GetValue());
        EXPECT_EQ(dlg.Saved().authChoice, -1);
        auto* protocol = Get<wxComboBox>(dlg, IDC_PROTOCOL);
        ASSERT_EQ(protocol->GetCount(), 3u);
        EXPECT_EQ(protocol->GetString(0), "XON/XOFF");
        EXPECT_EQ(protocol->GetString(1), "RTS/CTS");
        EXPECT_EQ(protocol->GetString(2), "BRAK");
        EXPECT_EQ(protocol->GetSelection(), wxNOT_FOUND);
        EXPECT_TRUE(protocol->GetValue().empty());
        EXPECT_EQ(WxToUtf8(dlg.GetTitle()), "KALDOR ZK405 - Program konfiguracyjny.");
        EXPECT_EQ(dlg.GetClientSize(), dlg.ConvertDialogToPixels(wxSize(350, 242)));
    });
    EXPECT_EQ(result, kLeftOpen);
    EXPECT_EQ(SettingsWindowsShown(), shownBefore + 1);
    EXPECT_EQ(module.line, "AT+BNAME?\r\n");
    EXPECT_EQ(module.waits, std::vector<uint32_t>{1000});
}

// The window on screen: every control fits its dialog-unit slot (GTK's own minimum sizes included),
// no two controls overlap, and a screenshot is left in the build directory to look at.
TEST_F(SettingsWindow, ControlsFitTheirSlotsWithoutOverlapping) {
    Dlg dlg(nullptr, choice, module.Link(port));
    RunModal(dlg, [&] {
        Settle(300);
        const dialog_template::Template& tpl = Dlg::DialogTemplate();
        const auto& all = dlg.Controls().All();
        ASSERT_EQ(all.size(), tpl.controls.size());
        std::vector<wxRect> drawn;
        std::vector<wxRect> slots;
        for (size_t i = 0; i < all.size(); ++i) {
            using dialog_template::Kind;
            const dialog_template::Control& row = tpl.controls[i];
            wxWindow* window = all[i].second;
            SCOPED_TRACE(row.text);
            SCOPED_TRACE(row.id);
            const wxSize slot = dlg.ConvertDialogToPixels(
                wxSize(row.cx, row.kind == Kind::ComboBox ? std::min(row.cy, 13) : row.cy));
            const wxSize best = window->GetBestSize();
            EXPECT_LE(best.y, slot.y) << "taller than its slot";
            if (row.kind == Kind::Text || row.kind == Kind::AutoCheckBox ||
                row.kind == Kind::AutoRadioButton) {
                EXPECT_LE(best.x, slot.x) << "text clipped";
            }
            slots.emplace_back(wxPoint(row.x, row.y),
                               wxSize(row.cx, row.kind == Kind::ComboBox ? 13 : row.cy));
            drawn.emplace_back(window->GetPosition(), wxSize(std::max(best.x, window->GetSize().x),
                                                             std::max(best.y, window->GetSize().y)));
        }
        // Slots the template itself lets touch (a check box's slot reaching into the line below it)
        // are left out.
        for (size_t a = 0; a < drawn.size(); ++a)
            for (size_t b = a + 1; b < drawn.size(); ++b)
                EXPECT_FALSE(drawn[a].Intersects(drawn[b]) && !slots[a].Intersects(slots[b]))
                    << tpl.controls[a].id << " \"" << tpl.controls[a].text << "\" overlaps "
                    << tpl.controls[b].id << " \"" << tpl.controls[b].text << "\"";
        SaveScreenshot(dlg, ZK405_UI_ARTIFACT_DIR "/settings-window.png");
        for (int id : {IDC_SET_NAME, IDC_SET_FLOW, IDC_SET_PIN, IDC_SET_AUTH, IDC_AUTH_REMEMBER})
            Click(dlg.Controls().Find(id));
        Get<wxComboBox>(dlg, IDC_PROTOCOL)->SetSelection(1);
        Get<wxTextCtrl>(dlg, IDC_PIN_VALUE)->SetValue("1234");
        Settle(300);
        SaveScreenshot(dlg, ZK405_UI_ARTIFACT_DIR "/settings-window-ticked.png");
    });
}

TEST_F(SettingsWindow, PortThatCannotBeOpenedGivesTheMessageAndTheWindowNeverShows) {
    const std::string caption = "ZK405 - Program konfiguracyjny";
    struct Case {
        std::string port;
        bool holdOpen;
    };
    for (const Case& c : {Case{dir.File("com99"), false}, Case{"", false}, Case{choice.m_strPort, true}}) {
        SCOPED_TRACE(c.port);
        if (c.holdOpen) {
            ASSERT_EQ(port.Open(c.port.c_str(), 9600), 0);
        }
        choice.m_strPort = c.port;
        const int shownBefore = SettingsWindowsShown();
        Dlg dlg(nullptr, choice, module.Link(port));
        int result = 0;
        wxTEST_DIALOG(result = dlg.ShowModal(),
                      ExpectMessage("Nie można połączyć się z portem: " + c.port, caption, wxOK, wxID_OK));
        EXPECT_EQ(result, wxID_CANCEL);
        EXPECT_FALSE(dlg.IsShown());
        EXPECT_EQ(SettingsWindowsShown(), shownBefore);
        EXPECT_EQ(module.line, "");
        port.Close();
    }
}

TEST_F(SettingsWindow, SilentModuleIsAskedElevenTimesAndTheWindowOpensWithAnEmptyName) {
    module.silent = true;
    Dlg dlg(nullptr, choice, module.Link(port));
    const int result = RunModal(dlg, [&] {
        EXPECT_TRUE(dlg.IsShown());
        EXPECT_TRUE(Get<wxTextCtrl>(dlg, IDC_NAME_VALUE)->GetValue().empty());
    });
    EXPECT_EQ(result, kLeftOpen);
    std::string expected;
    for (int i = 0; i < 11; ++i)
        expected += "AT+BNAME?\r\n";
    EXPECT_EQ(module.line, expected);
    EXPECT_EQ(module.waits, std::vector<uint32_t>(11, 1000));
}

TEST_F(SettingsWindow, EachCheckBoxEnablesItsFieldsAndClearingKeepsWhatWasTyped) {
    Dlg dlg(nullptr, choice, module.Link(port));
    RunModal(dlg, [&] {
        struct Pair {
            int check;
            int field;
            const char* typed;
        };
        for (const Pair& p :
             {Pair{IDC_SET_NAME, IDC_NAME_VALUE, "Nowa nazwa ąę"}, Pair{IDC_SET_PIN, IDC_PIN_VALUE, "1234"},
              Pair{IDC_SET_FLOW, IDC_PROTOCOL, "XON/XOFF+RTS/CTS"}}) {
            SCOPED_TRACE(p.check);
            wxWindow* field = dlg.Controls().Find(p.field);
            Click(dlg.Controls().Find(p.check));
            EXPECT_TRUE(field->IsEnabled());
            auto* entry = dynamic_cast<wxTextEntry*>(field);
            ASSERT_NE(entry, nullptr);
            entry->SetValue(Utf8(p.typed));
            Click(dlg.Controls().Find(p.check));
            EXPECT_FALSE(field->IsEnabled());
            EXPECT_EQ(WxToUtf8(entry->GetValue()), p.typed);
            Click(dlg.Controls().Find(p.check));
            EXPECT_TRUE(field->IsEnabled());
            EXPECT_EQ(WxToUtf8(entry->GetValue()), p.typed);
        }
        EXPECT_EQ(dlg.Saved().name, Cp1250("Nowa nazwa ąę"));
        EXPECT_EQ(dlg.Saved().pin, "1234");
        EXPECT_EQ(dlg.Saved().setName, 1);
        EXPECT_EQ(dlg.Saved().setPin, 1);
        EXPECT_EQ(dlg.Saved().setFlow, 1);

        auto* always = Get<wxRadioButton>(dlg, IDC_AUTH_ALWAYS);
        auto* remember = Get<wxRadioButton>(dlg, IDC_AUTH_REMEMBER);
        Click(dlg.Controls().Find(IDC_SET_AUTH));
        EXPECT_TRUE(always->IsEnabled());
        EXPECT_TRUE(remember->IsEnabled());
        Click(remember);
        Click(dlg.Controls().Find(IDC_SET_AUTH));
        EXPECT_FALSE(always->IsEnabled());
        EXPECT_FALSE(remember->IsEnabled());
        EXPECT_TRUE(remember->GetValue());
        EXPECT_EQ(dlg.Saved().authChoice, 1);
        EXPECT_EQ(dlg.Saved().setAuth, 0);
    });
    EXPECT_EQ(module.line, "AT+BNAME?\r\n") << "ticking sends nothing";
}

TEST_F(SettingsWindow, ProgramWithNothingTickedAsksForAChoiceAndSendsNothing) {
    Dlg dlg(nullptr, choice, module.Link(port));
    RunModal(dlg, [&] {
        module.line.clear();
        Get<wxTextCtrl>(dlg, IDC_PIN_VALUE)->SetValue("1234"); // typed but not ticked
        wxTEST_DIALOG(
            Click(dlg.Controls().Find(IDC_PROGRAM)),
            ExpectMessage("Musisz wybrać którąś z opcji do przesłania", "KALDOR ZK405", wxOK, wxID_OK));
        EXPECT_TRUE(dlg.IsModal()) << "the window stays open";
    });
    EXPECT_EQ(module.line, "");
}

TEST_F(SettingsWindow, ProgramWithOnlyThePinSendsOnlyThePinCommand) {
    Dlg dlg(nullptr, choice, module.Link(port));
    RunModal(dlg, [&] {
        module.line.clear();
        module.waits.clear();
        Click(dlg.Controls().Find(IDC_SET_PIN));
        Get<wxTextCtrl>(dlg, IDC_PIN_VALUE)->SetValue("1234");
        EXPECT_EQ(Dlg::BuildSummary(dlg.CurrentSettings()), "\rPIN:\t\t\r\r") << "not saved before Programuj";
        ProgramThrough(dlg, "\rPIN:\t\t1234\r\r");
        EXPECT_EQ(Dlg::BuildSummary(dlg.CurrentSettings()), "\rPIN:\t\t1234\r\r");
        EXPECT_EQ(module.line, "AT+BPIN=1234\r\n");
        EXPECT_EQ(module.waits, std::vector<uint32_t>{1000});
        EXPECT_TRUE(dlg.IsModal());
        EXPECT_EQ(WxToUtf8(Get<wxTextCtrl>(dlg, IDC_PIN_VALUE)->GetValue()), "1234");
    });
}

TEST_F(SettingsWindow, AuthenticationWithoutAChoiceSendsNoCommand) {
    Dlg dlg(nullptr, choice, module.Link(port));
    RunModal(dlg, [&] {
        module.line.clear();
        Click(dlg.Controls().Find(IDC_SET_AUTH));
        ProgramThrough(dlg, "\rPotwierdzenie:\t\r");
        EXPECT_EQ(Dlg::BuildSummary(dlg.CurrentSettings()), "\rPotwierdzenie:\t\r");
    });
    EXPECT_EQ(module.line, "");
}

TEST_F(SettingsWindow, AllFourGoOutInOrderWithAPolishNameInItsCodePage) {
    Dlg dlg(nullptr, choice, module.Link(port));
    RunModal(dlg, [&] {
        module.line.clear();
        for (int id : {IDC_SET_AUTH, IDC_SET_FLOW, IDC_SET_PIN, IDC_SET_NAME})
            Click(dlg.Controls().Find(id));
        Get<wxTextCtrl>(dlg, IDC_NAME_VALUE)->SetValue(Utf8("Łódź Żółw"));
        Get<wxTextCtrl>(dlg, IDC_PIN_VALUE)->SetValue("0000");
        Get<wxComboBox>(dlg, IDC_PROTOCOL)->SetSelection(1);
        Click(dlg.Controls().Find(IDC_AUTH_REMEMBER));
        const std::string summary = "\rNazwa:\t\tŁódź Żółw\r\rPIN:\t\t0000\r\rProtokół:\t\tRTS/CTS\r\r"
                                    "Potwierdzenie:\tpamiętaj ostatni PIN\r";
        ProgramThrough(dlg, summary);
        EXPECT_EQ(Dlg::BuildSummary(dlg.CurrentSettings()), summary);
        EXPECT_EQ(module.line,
                  "AT+BNAME=\xA3\xF3\x64\x9F \xAF\xF3\xB3w\r\nAT+BPIN=0000\r\nAT+BFLOW=2\r\nAT+BSEC=2\r\n");
        EXPECT_EQ(module.waits.size(), 5u);
        EXPECT_EQ(module.busyCursor, (std::vector<bool>{true, false, false, false, false}))
            << "the wait cursor shows while connecting, not while programming";
        EXPECT_FALSE(wxIsBusy());

        // The other choice, a typed label and the first radio button.
        module.line.clear();
        Get<wxComboBox>(dlg, IDC_PROTOCOL)->SetValue("XON/XOFF+RTS/CTS");
        Click(dlg.Controls().Find(IDC_AUTH_ALWAYS));
        Click(dlg.Controls().Find(IDC_SET_NAME));
        Click(dlg.Controls().Find(IDC_SET_PIN));
        ProgramThrough(dlg, "\rProtokół:\t\tXON/XOFF+RTS/CTS\r\rPotwierdzenie:\tzawsze żądaj PIN\r");
        EXPECT_EQ(module.line, "AT+BFLOW=3\r\nAT+BSEC=1\r\n");
    });
}

TEST_F(SettingsWindow, CancelInTheSummarySendsNothing) {
    Dlg dlg(nullptr, choice, module.Link(port));
    RunModal(dlg, [&] {
        module.line.clear();
        Click(dlg.Controls().Find(IDC_SET_FLOW));
        ProgramThrough(dlg, "\rProtokół:\t\t\r\r", wxID_CANCEL);
        EXPECT_TRUE(dlg.IsModal());
    });
    EXPECT_EQ(module.line, "");
}

TEST_F(SettingsWindow, EveryWayOutClosesThePortSoTheNextWindowConnectsAgain) {
    struct Way {
        const char* name;
        std::function<void(Dlg&)> leave;
    };
    const std::vector<Way> ways = {
        {"Wstecz", [](Dlg& dlg) { Click(dlg.Controls().Find(IDC_BACK)); }},
        {"Escape", [](Dlg& dlg) { PressKey(dlg, WXK_ESCAPE); }},
        {"close box", [](Dlg& dlg) { dlg.Close(); }},
        {"Enter on a check box",
         [](Dlg& dlg) {
             dlg.Controls().Find(IDC_SET_PIN)->SetFocus();
             Settle(50);
             PressKey(dlg, WXK_RETURN);
         }},
        {"Wstecz again", [](Dlg& dlg) { Click(dlg.Controls().Find(IDC_BACK)); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        module.line.clear();
        Dlg dlg(nullptr, choice, module.Link(port));
        const int result = RunModal(dlg, [&] {
            EXPECT_TRUE(port.IsOpen());
            way.leave(dlg);
        });
        EXPECT_EQ(result, wxID_CANCEL);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(module.line, "AT+BNAME?\r\n") << "connected and asked for the name";
    }
}

TEST_F(SettingsWindow, EnterOnAPushButtonLeavesTheButtonToItsOwnWork) {
    Dlg dlg(nullptr, choice, module.Link(port));
    const int result = RunModal(dlg, [&] {
        dlg.Controls().Find(IDC_PROGRAM)->SetFocus();
        Settle(50);
        if (wxWindow::FindFocus() != dlg.Controls().Find(IDC_PROGRAM))
            GTEST_SKIP() << "no keyboard focus on this display";
        PressKey(dlg, WXK_RETURN);
        EXPECT_TRUE(dlg.IsModal());
        EXPECT_TRUE(port.IsOpen());
        // A real Enter presses "Programuj", which finds nothing ticked.
        dlg.Raise();
        Settle(50);
        wxTEST_DIALOG(
            {
                wxUIActionSimulator keyboard;
                keyboard.Char(WXK_RETURN);
                Settle(300);
            },
            ExpectMessage("Musisz wybrać którąś z opcji do przesłania", "KALDOR ZK405", wxOK, wxID_OK));
        EXPECT_TRUE(dlg.IsModal());
    });
    EXPECT_EQ(result, kLeftOpen);
}

TEST_F(SettingsWindow, LongModuleNameIsShownWholeDoesNotBlockOtherFieldsAndOnlyWhatFitsIsSent) {
    const std::string longName = "Drukarka-w-magazynie-glownym-numer-4-pietro"; // 43 characters
    module.name = longName;
    Dlg dlg(nullptr, choice, module.Link(port));
    RunModal(dlg, [&] {
        module.line.clear();
        EXPECT_EQ(WxToUtf8(Get<wxTextCtrl>(dlg, IDC_NAME_VALUE)->GetValue()), longName);
        Click(dlg.Controls().Find(IDC_SET_PIN));
        Get<wxTextCtrl>(dlg, IDC_PIN_VALUE)->SetValue("4321");
        Click(dlg.Controls().Find(IDC_SET_AUTH));
        Click(dlg.Controls().Find(IDC_AUTH_ALWAYS));
        Click(dlg.Controls().Find(IDC_SET_NAME));
        EXPECT_EQ(dlg.Saved().pin, "4321");
        EXPECT_EQ(dlg.Saved().authChoice, 0);
        EXPECT_EQ(dlg.Saved().name, longName);
        EXPECT_EQ(WxToUtf8(Get<wxTextCtrl>(dlg, IDC_NAME_VALUE)->GetValue()), longName);
        const std::string sent = longName.substr(0, 31);
        ProgramThrough(dlg, "\rNazwa:\t\t" + sent + "\r\rPIN:\t\t4321\r\rPotwierdzenie:\tzawsze żądaj PIN\r");
        EXPECT_EQ(module.line, "AT+BNAME=" + sent + "\r\nAT+BPIN=4321\r\nAT+BSEC=1\r\n");
    });
}

TEST_F(SettingsWindow, TypingStopsAt31And16CharactersAndForeignLettersGoOutAsQuestionMarks) {
    Dlg dlg(nullptr, choice, module.Link(port));
    RunModal(dlg, [&] {
        module.line.clear();
        Click(dlg.Controls().Find(IDC_SET_NAME));
        Click(dlg.Controls().Find(IDC_SET_PIN));
        auto* name = Get<wxTextCtrl>(dlg, IDC_NAME_VALUE);
        auto* pin = Get<wxTextCtrl>(dlg, IDC_PIN_VALUE);
        name->ChangeValue(wxString());
        Type(name, "Ząb 日本 € ÿ 0123456789012345678901234567890"); // 11 + 31 characters
        Type(pin, "12345678901234567890");
        EXPECT_EQ(WxToUtf8(name->GetValue()), "Ząb 日本 € ÿ 01234567890123456789");
        EXPECT_EQ(WxToUtf8(pin->GetValue()), "1234567890123456");
        ProgramThrough(dlg, "\rNazwa:\t\tZąb ?? € ? 01234567890123456789\r\rPIN:\t\t1234567890123456\r\r");
        EXPECT_EQ(module.line, "AT+BNAME=Z\xB9"
                               "b ?? \x80 ? 01234567890123456789\r\nAT+BPIN=1234567890123456\r\n");
    });
}

// The window's own wait: a full second per command, the line exactly as with a sleeping wait, and
// every window usable again afterwards. The module answers from a thread of its own.
TEST_F(SettingsWindow, RealWaitsLastTheirSecondAndGiveTheWindowsBackAfterwards) {
    module_commands::CommandLink link = Dlg::DefaultLink();
    link.port = &port;
    std::string heard;
    std::thread player([&] {
        heard += module.pty.ReadFromPort(11, 5000);
        module.pty.SendToPort("\r\n+BNAME=Zegar\r\nOK\r\n");
        heard += module.pty.ReadFromPort(11, 10000);
        module.pty.SendToPort("\r\nOK\r\n");
    });
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    Dlg dlg(nullptr, choice, link);
    RunModal(dlg, [&] {
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1000));
        EXPECT_EQ(WxToUtf8(Get<wxTextCtrl>(dlg, IDC_NAME_VALUE)->GetValue()), "Zegar");
        Click(dlg.Controls().Find(IDC_SET_PIN));
        Get<wxTextCtrl>(dlg, IDC_PIN_VALUE)->SetValue("1");
        const Clock::time_point programmed = Clock::now();
        ProgramThrough(dlg, "\rPIN:\t\t1\r\r");
        EXPECT_GE(Clock::now() - programmed, std::chrono::milliseconds(1000));
        EXPECT_TRUE(dlg.IsEnabled());
        EXPECT_TRUE(dlg.Controls().Find(IDC_PROGRAM)->IsEnabled());
    });
    player.join();
    EXPECT_EQ(heard, "AT+BNAME?\r\nAT+BPIN=1\r\n");
}

// Keys typed for real (XTest on the test display), through GTK's own key handling.
TEST_F(SettingsWindow, RealEscapeAndEnterKeysLeaveAndFreeThePort) {
    for (int key : {WXK_ESCAPE, WXK_RETURN}) {
        SCOPED_TRACE(key);
        Dlg dlg(nullptr, choice, module.Link(port));
        bool typed = false;
        const int result = RunModal(dlg, [&] {
            dlg.Raise();
            dlg.Controls().Find(IDC_SET_FLOW)->SetFocus();
            Settle(100);
            if (wxWindow::FindFocus() != dlg.Controls().Find(IDC_SET_FLOW))
                GTEST_SKIP() << "no keyboard focus on this display";
            wxUIActionSimulator keyboard;
            keyboard.Char(key);
            typed = true;
            Settle(300);
        });
        if (!typed)
            return;
        EXPECT_EQ(result, wxID_CANCEL);
        EXPECT_FALSE(port.IsOpen());
    }
}
