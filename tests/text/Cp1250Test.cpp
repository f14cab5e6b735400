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
    const cp1250::Encoded encoded = cp1250::Utf8ToCp1250(kPolishUtf8);
    EXPECT_EQ(encoded.bytes, kPolishCp1250);
    EXPECT_EQ(encoded.unrepresentable, 0u);
    EXPECT_EQ(cp1250::Cp1250ToUtf8(kPolishCp1250), kPolishUtf8);
    EXPECT_EQ(cp1250::Utf8ToCp1250("Ustawienia modułu: „€ – ok”").bytes,
              "Ustawienia modu\xB3u: \x84\x80 \x96 ok\x94");
}

TEST(Cp1250Test, EveryByteSurvivesTheRoundTrip) {
    for (int byte = 1; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        const cp1250::Encoded back = cp1250::Utf8ToCp1250(cp1250::Cp1250ToUtf8(one));
        EXPECT_EQ(back.bytes, one) << byte;
        EXPECT_EQ(back.unrepresentable, 0u) << byte;
    }
    // The bytes the code page leaves undefined are the C1 controls of the same number, as Windows
    // has them, so a module name holding one is sent back as it was read.
    EXPECT_EQ(cp1250::Cp1250ToUtf8("A\x81\x83\x88\x90\x98"), "A\u0081\u0083\u0088\u0090\u0098");
    EXPECT_EQ(cp1250::Utf8ToCp1250("\u0080\u0082\u009F").bytes, "???") << "the other C1 controls have no byte";
}

TEST(Cp1250Test, UnrepresentableCharactersAreCountedAndReplaced) {
    const cp1250::Encoded encoded = cp1250::Utf8ToCp1250("a日本b😀ä");
    EXPECT_EQ(encoded.bytes, "a??b?\xE4");
    EXPECT_EQ(encoded.unrepresentable, 3u);
}

TEST(Cp1250Test, MalformedUtf8NeverPassesThrough) {
    // Lone continuation, truncated sequence, overlong slash, encoded surrogate, past U+10FFFF, and
    // a bad byte right before a good letter, which must still come out.
    for (const std::string bad :
         {"\x80", "\xC5", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "\xE2\x82"}) {
        const cp1250::Encoded encoded = cp1250::Utf8ToCp1250(bad);
        EXPECT_TRUE(AllAscii(encoded.bytes)) << encoded.bytes;
        EXPECT_GE(encoded.unrepresentable, 1u);
        EXPECT_EQ(encoded.unrepresentable, encoded.bytes.size());
    }
    EXPECT_EQ(cp1250::Utf8ToCp1250("\xC5\xC5\x81").bytes, "?\xA3");
}

} // namespace
