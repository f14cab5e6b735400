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
    // A cut sequence is no control, but shown as it is it would make the output invalid UTF-8.
    EXPECT_EQ(EscapeControls("\xC2"), "\\xC2");
    std::string all;
    for (int byte = 0; byte < 0x80; ++byte)
        all += static_cast<char>(byte);
    for (int c1 = 0x80; c1 < 0xA0; ++c1)
        all += std::string("\xC2") + static_cast<char>(c1);
    const std::string shown = EscapeControls(all);
    for (const char c : shown)
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << static_cast<int>(c);
}

// Text from USB strings and Bluetooth aliases is whatever the device sends: what reaches a terminal is
// always well-formed UTF-8, and a cut never ends inside a character.
TEST(EscapedTextTest, DeviceTextComesOutAsWellFormedUtf8) {
    const struct {
        const char* in;
        const char* shown;
    } cases[] = {
        {"\xC0\x9B" "2J", "\\xC0\\x9B2J"},       // an overlong CSI
        {"\xE0\x80\x9B", "\\xE0\\x80\\x9B"},    // another overlong form
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},    // a surrogate
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"}, // beyond U+10FFFF
        {"a\x85" "b\xFF", "a\\x85b\\xFF"},       // stray bytes
        {"\xC2\x85", "\\u0085"},                // NEL, a C1 control
        {"\xE2\x82\xAC \xF0\x9F\x96\xA8", "\xE2\x82\xAC \xF0\x9F\x96\xA8"}, // kept
    };
    for (const auto& c : cases)
        EXPECT_EQ(EscapeControls(c.in), c.shown) << c.in;

    const std::string polish = "Zażółć"; // Z a ż ó ł ć: 1 1 2 2 2 2 bytes
    EXPECT_EQ(CutUtf8(polish, 3), "Za");
    EXPECT_EQ(CutUtf8(polish, 4), "Zaż");
    EXPECT_EQ(CutUtf8(polish, 100), polish);
    EXPECT_EQ(CutUtf8("\xF0\x9F\x96\xA8", 3), "");
    EXPECT_EQ(DisplayWidth(polish), 6u);
}

TEST(EscapedTextTest, MalformedEscapesAreRefused) {
    std::string out = "kept";
    for (const char* bad : {"\\", "ab\\", "\\q", "\\x", "\\x4", "\\xG0"})
        EXPECT_FALSE(UnescapeBytes(bad, out)) << bad;
    EXPECT_EQ(out, "kept");
}

} // namespace
