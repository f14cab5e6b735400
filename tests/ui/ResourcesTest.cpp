#include "ResourceImages.h"
#include "ResourceStrings.h"
#include "TempDir.h"
#include "resource.h"

#include <wx/image.h>

#include <gtest/gtest.h>

namespace {

// Counts pixels that are clearly red: the arrow is what makes the picture tell the user where to press.
int RedPixels(const wxImage& image) {
    int count = 0;
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            if (image.GetRed(x, y) > 180 && image.GetGreen(x, y) < 80 && image.GetBlue(x, y) < 80)
                ++count;
    return count;
}

} // namespace

TEST(Resources, IconHasBothSizesWithATransparentOutside) {
    const wxIconBundle icons = LoadAppIcons();
    ASSERT_EQ(icons.GetIconCount(), 2u);
    for (int edge : {32, 16}) {
        const wxIcon icon = icons.GetIcon(wxSize(edge, edge), wxIconBundle::FALLBACK_NONE);
        ASSERT_TRUE(icon.IsOk()) << edge;
        const wxImage image = wxBitmap(icon).ConvertToImage();
        ASSERT_TRUE(image.HasAlpha() || image.HasMask()) << edge;
        // The top-left corner is outside the module's housing.
        EXPECT_TRUE(image.HasAlpha() ? image.GetAlpha(0, 0) == 0 : image.IsTransparent(0, 0)) << edge;
        EXPECT_FALSE(image.IsTransparent(edge / 2, edge / 2)) << edge;
    }
}

TEST(Resources, ModulePictureIsTheTemplatesSizeWithTheRedArrow) {
    const wxBitmap picture = LoadModulePicture();
    ASSERT_TRUE(picture.IsOk());
    EXPECT_EQ(picture.GetSize(), wxSize(274, 161));
    const wxImage image = picture.ConvertToImage();
    EXPECT_GT(RedPixels(image), 300);
    // The housing is dark: the picture's centre is the module, not the backdrop.
    EXPECT_LT(image.GetRed(137, 100) + image.GetGreen(137, 100) + image.GetBlue(137, 100), 200);
}

TEST(Resources, TemplateImagesByIdentifier) {
    EXPECT_EQ(LoadResourceImage(IDR_MAINFRAME).GetDefaultSize(), wxSize(32, 32));
    EXPECT_EQ(LoadResourceImage(IDB_MODULE).GetDefaultSize(), wxSize(274, 161));
    EXPECT_FALSE(LoadResourceImage(130).IsOk());
}

TEST(ResourceStrings, AboutItemTextMatchesTheWindowsStringTable) {
    EXPECT_EQ(LoadResourceString(IDS_ABOUTBOX), "&About ZK405...");
    EXPECT_TRUE(LoadResourceString(IDS_ABOUTBOX + 1000).empty());
    // The Windows build reads the same text from ZK405.rc: the two must not drift apart.
    const std::string script = ReadWholeFile(ZK405_RESOURCE_SCRIPT);
    EXPECT_NE(script.find("IDS_ABOUTBOX \"&About ZK405...\""), std::string::npos);
}
