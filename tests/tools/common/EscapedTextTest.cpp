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

TEST(EscapedTextTest, MalformedEscapesAreRefused) {
    std::string out = "kept";
    for (const char* bad : {"\\", "ab\\", "\\q", "\\x", "\\x4", "\\xG0"})
        EXPECT_FALSE(UnescapeBytes(bad, out)) << bad;
    EXPECT_EQ(out, "kept");
}

} // namespace
