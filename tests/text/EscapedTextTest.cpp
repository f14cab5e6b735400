#include "EscapedText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(EscapedTextTest, EscapesEverythingButPrintableAscii) {
    EXPECT_EQ(EscapeBytes(std::string("AT+B=\\\r\n\t\0\x7F\xA3 ~", 14)),
              "AT+B=\\\\\\r\\n\\t\\x00\\x7F\\xA3 ~");
}

TEST(EscapedTextTest, EveryByteComesBack) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte)
        all += static_cast<char>(byte);
    const std::string text = EscapeBytes(all);
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
    std::string back;
    ASSERT_TRUE(UnescapeBytes(text, back));
    EXPECT_EQ(back, all);
}

// What reaches a terminal from a module: its escape sequences (C0 ESC, C1 CSI) must not act there,
// while Polish letters (also bytes above 0x7F in UTF-8) stay readable.
TEST(EscapedTextTest, ControlsOnlyAreEscapedForATerminal) {
    EXPECT_EQ(EscapeControls("Łódź \x1B]0;title\x07 \xC2\x9B" "2J \xC2\xA0 a\\b\r\n\x7F"),
              "Łódź \\x1B]0;title\\x07 \\u009B2J \xC2\xA0 a\\\\b\\r\\n\\x7F");
    EXPECT_EQ(EscapeControls("\xC2"), "\xC2"); // a cut sequence is no control
    std::string all;
    for (int byte = 0; byte < 0x80; ++byte)
        all += static_cast<char>(byte);
    for (int c1 = 0x80; c1 < 0xA0; ++c1)
        all += std::string("\xC2") + static_cast<char>(c1);
    const std::string shown = EscapeControls(all);
    for (const char c : shown)
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << static_cast<int>(c);
}

TEST(EscapedTextTest, MalformedEscapesAreRefused) {
    std::string out = "kept";
    for (const char* bad : {"\\", "ab\\", "\\q", "\\x", "\\x4", "\\xG0"})
        EXPECT_FALSE(UnescapeBytes(bad, out)) << bad;
    EXPECT_EQ(out, "kept");
}

} // namespace
