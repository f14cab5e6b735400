#include "PortSelectDlg.h"
#include "AboutDlg.h"
#include "DeviceDirectory.h"
#include "PortChoice.h"
#include "SerialPort.h"
#include "TempDir.h"
#include "UiText.h"
#include "WxTestSupport.h"
#include "resource.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

using namespace wx_test;

namespace {

constexpr const char* kConnectCaption = "ZK405 - Program konfiguracyjny";

std::string CannotConnect(const std::string& port) {
    return "Nie można połączyć się z portem: " + port;
}

std::vector<std::string> ListItems(const wxComboBox& combo) {
    std::vector<std::string> items;
    for (unsigned i = 0; i < combo.GetCount(); ++i)
        items.push_back(WxToUtf8(combo.GetString(i)));
    return items;
}

class PortSelectWindow : public testing::Test {
protected:
    void SetUp() override { g_portChoice.m_strPort = "untouched"; }
    TempDir m_workDir; // a settings window's traffic log lands here
};

} // namespace

TEST_F(PortSelectWindow, ListsOpenablePortsSortedAsTextWithNothingChosen) {
    DeviceDirectory devices({"ttyS0", "ttyS1", "ttyS9"});
    ASSERT_TRUE(devices.Ready());
    CPortSelectDlg dlg;
    ASSERT_TRUE(dlg.IsBuilt());
    RunModal(dlg, [&] {
        wxComboBox* list = dlg.PortList();
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(ListItems(*list), (std::vector<std::string>{"com1", "com10", "com2"}));
        EXPECT_EQ(list->GetSelection(), wxNOT_FOUND);
        EXPECT_TRUE(list->GetValue().empty());
        EXPECT_EQ(wxWindow::FindFocus(), list);
    });
}

TEST_F(PortSelectWindow, LeavesOutAPortHeldByAnotherOpen) {
    DeviceDirectory devices({"ttyS0", "ttyS1", "ttyS9"});
    ASSERT_TRUE(devices.Ready());
    CSerialPort other;
    ASSERT_EQ(other.Open("com10", 9600), 0);
    CPortSelectDlg dlg;
    RunModal(dlg, [&] { EXPECT_EQ(ListItems(*dlg.PortList()), (std::vector<std::string>{"com1", "com2"})); });
    other.Close();
}

TEST_F(PortSelectWindow, TypedNameReachesTheSettingsWindowAndTheWindowComesBack) {
    DeviceDirectory devices({"ttyS0"});
    ASSERT_TRUE(devices.Ready());
    // Not in the list, not a device, and not ASCII: the settings window gets it as the file system
    // spells it, UTF-8.
    const std::string typed = m_workDir.File("zły port");
    CPortSelectDlg dlg;
    RunModal(dlg, [&] {
        dlg.PortList()->SetValue(Utf8(typed));
        // The wait cursor shows while the settings window connects.
        wxTEST_DIALOG(Click(dlg.FindWindow(IDC_NEXT)),
                      ExpectMessage(CannotConnect(typed), kConnectCaption, wxOK, wxID_OK, true));
        EXPECT_TRUE(dlg.IsModal()); // the settings window closed again, this one is still up
        EXPECT_EQ(WxToUtf8(dlg.PortList()->GetValue()), typed);
    });
    EXPECT_EQ(g_portChoice.m_strPort, typed);
    EXPECT_FALSE(g_serialPort.IsOpen());
    // The wait cursor goes once the program is idle.
    wxTheApp->ProcessPendingEvents();
    EXPECT_FALSE(wxIsBusy());
}

TEST_F(PortSelectWindow, PickedEntryReachesTheSettingsWindow) {
    DeviceDirectory devices({"ttyS0", "ttyS9"});
    ASSERT_TRUE(devices.Ready());
    CPortSelectDlg dlg;
    CSerialPort holder; // taken after the list is filled, so the settings window reports at once
    RunModal(dlg, [&] {
        ASSERT_EQ(holder.Open("com10", 9600), 0);
        dlg.PortList()->SetSelection(dlg.PortList()->FindString("com10"));
        wxTEST_DIALOG(Click(dlg.FindWindow(IDC_NEXT)),
                      ExpectMessage(CannotConnect("com10"), kConnectCaption, wxOK, wxID_OK));
    });
    EXPECT_EQ(g_portChoice.m_strPort, "com10");
}

TEST_F(PortSelectWindow, EmptyTextGoesOnAsAnEmptyPortName) {
    CPortSelectDlg dlg;
    RunModal(dlg, [&] {
        wxTEST_DIALOG(Click(dlg.FindWindow(IDC_NEXT)),
                      ExpectMessage(CannotConnect(""), kConnectCaption, wxOK, wxID_OK));
    });
    EXPECT_EQ(g_portChoice.m_strPort, "");
}

TEST_F(PortSelectWindow, EnterOutsideAButtonEndsAsOkEscapeAndZakonczAsCancel) {
    {
        CPortSelectDlg dlg;
        EXPECT_EQ(RunModal(dlg, [&] { PressKey(*dlg.PortList(), WXK_RETURN); }), wxID_OK);
    }
    {
        CPortSelectDlg dlg;
        EXPECT_EQ(RunModal(dlg, [&] { PressKey(*dlg.PortList(), WXK_NUMPAD_ENTER); }), wxID_OK);
    }
    {
        CPortSelectDlg dlg;
        EXPECT_EQ(RunModal(dlg, [&] { PressKey(*dlg.PortList(), WXK_ESCAPE); }), wxID_CANCEL);
    }
    {
        CPortSelectDlg dlg;
        EXPECT_EQ(RunModal(dlg, [&] { Click(dlg.FindWindow(wxID_CANCEL)); }), wxID_CANCEL);
    }
    {
        // Enter on a push button is that button's: "Zakończ" with the focus ends as cancelled.
        CPortSelectDlg dlg;
        wxWindow* cancel = dlg.FindWindow(wxID_CANCEL);
        ASSERT_NE(cancel, nullptr);
        const int result = RunModal(dlg, [&] {
            cancel->SetFocus();
            if (wxWindow::FindFocus() != cancel)
                return; // the focus cannot be moved without an active window; nothing to learn
            PressKey(*cancel, WXK_RETURN);
            EXPECT_TRUE(dlg.IsModal());
        });
        EXPECT_EQ(result, kLeftOpen);
    }
}

namespace {

// Checks the About box that the About item opens, then dismisses it.
class ExpectAboutBox : public wxExpectModalBase<CAboutDlg, ExpectAboutBox> {
protected:
    int OnInvoked(CAboutDlg* about) const override {
        EXPECT_TRUE(about->IsBuilt());
        EXPECT_EQ(WxToUtf8(about->GetTitle()), "About ZK405");
        auto* ok = about->Controls().Get<wxButton>(1);
        EXPECT_TRUE(ok != nullptr && ok->GetId() == wxID_OK && about->GetDefaultItem() == ok);
        bool iconShown = false;
        bool versionShown = false;
        for (const auto& [id, window] : about->Controls().All()) {
            if (auto* picture = dynamic_cast<wxStaticBitmap*>(window))
                iconShown = picture->GetBitmap().IsOk() && picture->GetBitmap().GetSize() == wxSize(32, 32);
            if (auto* text = dynamic_cast<wxStaticText*>(window))
                versionShown = versionShown || text->GetLabel() == "wersja 1.01";
        }
        EXPECT_TRUE(iconShown);
        EXPECT_TRUE(versionShown);
        return wxID_OK;
    }
};

} // namespace

TEST_F(PortSelectWindow, AboutItemOpensTheAboutBox) {
    CPortSelectDlg dlg;
    wxCommandEvent aboutItem(wxEVT_MENU, IDM_ABOUTBOX);
    aboutItem.SetEventObject(&dlg);
    wxTEST_DIALOG(dlg.ProcessWindowEvent(aboutItem), ExpectAboutBox());
}

TEST_F(PortSelectWindow, ShowsTheIconAndTheModulePicture) {
    CPortSelectDlg dlg;
    RunModal(dlg, [&] {
        EXPECT_TRUE(dlg.GetIcons().GetIcon(wxSize(32, 32), wxIconBundle::FALLBACK_NONE).IsOk());
        EXPECT_TRUE(dlg.GetIcons().GetIcon(wxSize(16, 16), wxIconBundle::FALLBACK_NONE).IsOk());
    });
    const wxStaticBitmap* picture = nullptr;
    for (const auto& [id, window] : dlg.Controls().All())
        if (auto* bitmap = dynamic_cast<wxStaticBitmap*>(window))
            picture = bitmap;
    ASSERT_NE(picture, nullptr);
    EXPECT_TRUE(picture->GetBitmap().IsOk());
}

TEST_F(PortSelectWindow, EveryTextLineShowsWholeWhateverTheFont) {
    CPortSelectDlg dlg;
    CAboutDlg about;
    for (const dialog_template::BuiltControls* controls : {&dlg.Controls(), &about.Controls()}) {
        for (const auto& [id, window] : controls->All()) {
            auto* text = dynamic_cast<wxStaticText*>(window);
            if (text == nullptr)
                continue;
            const int needed = text->GetTextExtent(text->GetLabelText()).x;
            EXPECT_GE(text->GetSize().x, needed) << WxToUtf8(text->GetLabelText());
            EXPECT_LE(text->GetRect().GetRight(), text->GetParent()->GetClientSize().x)
                << WxToUtf8(text->GetLabelText());
        }
    }
}
