// The template builder, and the message box text it makes for GTK.
#include "DialogTemplate.h"
#include "TemplateLook.h"
#include "WxTestSupport.h"

#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/dcscreen.h>
#include <wx/settings.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <vector>

using namespace dialog_template;
using namespace wx_test;

namespace {

const Template& SampleTemplate() {
    // clang-format off
    static const Template sample{
        .id = 100,
        .caption = "Połączeń — próba",
        .cx = 235, .cy = 55,
        .controls = {
            {.kind = Kind::Icon, .x = 11, .y = 17, .cx = 20, .cy = 20, .resourceId = 128},
            {.kind = Kind::Text, .style = kNoPrefix, .x = 40, .y = 10, .cx = 129, .cy = 8, .text = "Konfigurator & moduł"},
            {.id = kIdOk, .kind = Kind::DefPushButton, .style = kTabStop, .x = 178, .y = 7, .cx = 50, .cy = 14, .text = "OK"},
            {.id = kIdCancel, .kind = Kind::PushButton, .style = kTabStop | kDisabled, .x = 178, .y = 25, .cx = 50, .cy = 14, .text = "Zakończ"},
            {.id = 1018, .kind = Kind::Text, .x = 41, .y = 21, .cx = 37, .cy = 8, .text = "wersja"},
            {.kind = Kind::Picture, .x = 83, .y = 30, .cx = 40, .cy = 20, .resourceId = 129},
            {.id = 1000, .kind = Kind::ComboBox, .style = kSorted | kVScroll | kTabStop, .x = 130, .y = 40, .cx = 40, .cy = 43, .items = {"com2", "com10", "com1"}},
            {.id = 1009, .kind = Kind::AutoRadioButton, .style = kGroup, .x = 10, .y = 44, .cx = 30, .cy = 10, .text = "tak"},
        },
    };
    // clang-format on
    return sample;
}

wxBitmapBundle Images(int resourceId, std::vector<int>& asked) {
    asked.push_back(resourceId);
    wxImage image(resourceId == 128 ? 32 : 274, resourceId == 128 ? 32 : 161);
    image.SetRGB(wxRect(image.GetSize()), 200, 30, 30);
    return wxBitmapBundle(wxBitmap(image));
}

} // namespace

TEST(DialogTemplate, BuildsTheTableInOrderWithItsIdsStylesTextsAndDialogUnits) {
    std::vector<int> asked;
    auto* dialog = new wxDialog;
    BuiltControls controls;
    ASSERT_TRUE(BuildDialog(
        *dialog, nullptr, SampleTemplate(), [&](int id) { return Images(id, asked); }, controls));

    EXPECT_EQ(WxToUtf8(dialog->GetTitle()), "Połączeń — próba");
    EXPECT_EQ(dialog->GetFont().GetPointSize(), 8);
    EXPECT_EQ(dialog->GetClientSize(), dialog->ConvertDialogToPixels(wxSize(235, 55)));
    EXPECT_EQ(asked, (std::vector<int>{128, 129}));

    // One control per row, in template order, which wx also keeps as the tab order.
    const auto& all = controls.All();
    ASSERT_EQ(all.size(), SampleTemplate().controls.size());
    const wxWindowList& children = dialog->GetChildren();
    size_t index = 0;
    for (wxWindow* child : children)
        EXPECT_EQ(child, all[index++].second);

    for (size_t i = 0; i < all.size(); ++i) {
        const Control& row = SampleTemplate().controls[i];
        wxWindow* window = all[i].second;
        SCOPED_TRACE(i);
        EXPECT_EQ(window->GetPosition(), dialog->ConvertDialogToPixels(wxPoint(row.x, row.y)));
        EXPECT_EQ(window->GetFont().GetPointSize(), 8);
        if (row.kind == Kind::Text || row.kind == Kind::PushButton || row.kind == Kind::DefPushButton) {
            EXPECT_EQ(window->GetSize(), dialog->ConvertDialogToPixels(wxSize(row.cx, row.cy)));
        }
    }

    EXPECT_EQ(controls.Find(kIdOk)->GetId(), wxID_OK);
    EXPECT_EQ(controls.Find(kIdCancel)->GetId(), wxID_CANCEL);
    EXPECT_EQ(dialog->FindWindow(1018), controls.Find(1018));
    EXPECT_EQ(WxToUtf8(controls.Get<wxStaticText>(1018)->GetLabel()), "wersja");
    EXPECT_LT(all[1].second->GetId(), 0) << "statics without an id get a generated one";

    auto* note = dynamic_cast<wxStaticText*>(all[1].second);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(WxToUtf8(note->GetLabelText()), "Konfigurator & moduł") << "no mnemonic processing";

    auto* ok = controls.Get<wxButton>(kIdOk);
    EXPECT_EQ(dialog->GetDefaultItem(), ok);
    EXPECT_FALSE(controls.Find(kIdCancel)->IsEnabled());
    EXPECT_TRUE(ok->CanAcceptFocusFromKeyboard());
    EXPECT_FALSE(controls.Find(1009)->CanAcceptFocusFromKeyboard()) << "not a tab stop";

    auto* ports = controls.Get<wxComboBox>(1000);
    ASSERT_EQ(ports->GetCount(), 3u);
    EXPECT_EQ(ports->GetString(0), "com1");
    EXPECT_EQ(ports->GetString(1), "com10");
    EXPECT_EQ(ports->GetString(2), "com2");
    EXPECT_EQ(ports->GetSelection(), wxNOT_FOUND);
    EXPECT_TRUE(ports->GetValue().empty());

    auto* icon = dynamic_cast<wxStaticBitmap*>(all[0].second);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->GetBitmap().GetSize(), wxSize(32, 32)) << "an icon keeps its own size";
    auto* picture = dynamic_cast<wxStaticBitmap*>(all[5].second);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->GetBitmap().GetSize(), dialog->ConvertDialogToPixels(wxSize(40, 20)))
        << "a picture fills its rectangle";

    dialog->Destroy();
}

TEST(DialogTemplate, StandardIdentifiersMapToWx) {
    EXPECT_EQ(ToWxId(1), wxID_OK);
    EXPECT_EQ(ToWxId(2), wxID_CANCEL);
    EXPECT_EQ(ToWxId(-1), wxID_ANY);
    EXPECT_EQ(ToWxId(1018), 1018);
    EXPECT_EQ(ToWxId(130), 130);
}

TEST(DialogTemplate, WithoutTheTemplateFaceTheSystemSansStandsInAtTheSameSize) {
    Template missing = SampleTemplate();
    missing.fontFace = "No Such Face ZK405";
    missing.pointSize = 9;
    const wxFont font = TemplateFont(missing);
    EXPECT_TRUE(font.IsOk());
    EXPECT_EQ(font.GetPointSize(), 9);
    EXPECT_NE(font.GetFaceName(), "No Such Face ZK405");
}

// A GTK message box gets LF where the summary has CR, and spaces that bring every value after the
// TABs to the same stop, as a Windows message box shows them.
TEST(MessageBoxText, BreaksLinesAtCrAndLinesUpTheValuesAfterTabs) {
    const std::string summary = "\rNazwa:\t\tŁódź\r\rPIN:\t\t0000\r\rProtokół:\t\tXON/XOFF\r\r"
                                "Potwierdzenie:\tpamiętaj ostatni PIN\r";
    const wxString shown = MessageBoxText(Utf8(summary));
    EXPECT_FALSE(shown.Contains("\r"));
    EXPECT_FALSE(shown.Contains("\t"));
    const wxArrayString lines = wxSplit(shown, '\n', '\0');
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(WxToUtf8(lines[0]), "");
    EXPECT_EQ(WxToUtf8(lines[2]), "");

    wxScreenDC dc;
    dc.SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
    const int space = dc.GetTextExtent(" ").x;
    std::vector<int> valueStarts;
    const char* values[] = {"Łódź", "0000", "XON/XOFF", "pamiętaj ostatni PIN"};
    for (size_t i = 0; i < 4; ++i) {
        const wxString& line = lines[1 + 2 * i];
        ASSERT_TRUE(line.EndsWith(Utf8(values[i]))) << WxToUtf8(line);
        valueStarts.push_back(dc.GetTextExtent(line.Left(line.length() - Utf8(values[i]).length())).x);
    }
    for (int start : valueStarts) {
        EXPECT_NEAR(start, valueStarts[0], space) << "values line up";
        EXPECT_GT(start, dc.GetTextExtent("Potwierdzenie:").x) << "past the longest label";
    }
    EXPECT_EQ(WxToUtf8(MessageBoxText(Utf8("Musisz wybrać którąś z opcji do przesłania"))),
              "Musisz wybrać którąś z opcji do przesłania");
}
