#include "Cp1250.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr const char* kPolishUtf8 = "ĄĆĘŁŃÓŚŹŻąćęłńóśźż";
const std::string kPolishCp1250 = "\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF";

bool AllAscii(const std::string& bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

TEST(Cp1250Test, PolishLettersBothWays) {
    const cp1250::Encoded encoded = cp1250::FromUtf8(kPolishUtf8);
    EXPECT_EQ(encoded.bytes, kPolishCp1250);
    EXPECT_EQ(encoded.unrepresentable, 0u);
    EXPECT_EQ(cp1250::Cp1250ToUtf8(kPolishCp1250), kPolishUtf8);
    EXPECT_EQ(cp1250::FromUtf8("Ustawienia modułu: „€ – ok”").bytes,
              "Ustawienia modu\xB3u: \x84\x80 \x96 ok\x94");
}

TEST(Cp1250Test, EveryDefinedByteSurvivesTheRoundTrip) {
    for (int byte = 1; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        const std::string utf8 = cp1250::Cp1250ToUtf8(one);
        const cp1250::Encoded back = cp1250::FromUtf8(utf8);
        if (utf8 == "\xEF\xBF\xBD") { // U+FFFD: a byte the code page leaves undefined
            EXPECT_EQ(back.bytes, "?") << byte;
            EXPECT_EQ(back.unrepresentable, 1u) << byte;
        } else {
            EXPECT_EQ(back.bytes, one) << byte;
            EXPECT_EQ(back.unrepresentable, 0u) << byte;
        }
    }
    for (unsigned char undefined : {0x81, 0x83, 0x88, 0x90, 0x98})
        EXPECT_EQ(cp1250::Cp1250ToUtf8(std::string(1, static_cast<char>(undefined))), "\xEF\xBF\xBD");
}

TEST(Cp1250Test, UnrepresentableCharactersAreCountedAndReplaced) {
    const cp1250::Encoded encoded = cp1250::FromUtf8("a日本b😀ä");
    EXPECT_EQ(encoded.bytes, "a??b?\xE4");
    EXPECT_EQ(encoded.unrepresentable, 3u);
}

TEST(Cp1250Test, MalformedUtf8NeverPassesThrough) {
    // Lone continuation, truncated sequence, overlong slash, encoded surrogate, past U+10FFFF, and
    // a bad byte right before a good letter, which must still come out.
    for (const std::string bad :
         {"\x80", "\xC5", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "\xE2\x82"}) {
        const cp1250::Encoded encoded = cp1250::FromUtf8(bad);
        EXPECT_TRUE(AllAscii(encoded.bytes)) << encoded.bytes;
        EXPECT_GE(encoded.unrepresentable, 1u);
        EXPECT_EQ(encoded.unrepresentable, encoded.bytes.size());
    }
    EXPECT_EQ(cp1250::FromUtf8("\xC5\xC5\x81").bytes, "?\xA3");
}

} // namespace
