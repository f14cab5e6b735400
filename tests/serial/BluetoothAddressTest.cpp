#include "Bluetooth.h"
#include "BluetoothAddress.h"

#include <gtest/gtest.h>

using bluetooth::Address;

TEST(BluetoothAddress, TwelveDigitsWithOrWithoutColonsAreReadAndAnythingElseIsRefused) {
    EXPECT_EQ(Address::Parse("001a7dda7113")->Text(), "00:1A:7D:DA:71:13");
    EXPECT_EQ(Address::Parse("00:1a:7d:da:71:13")->Text(), "00:1A:7D:DA:71:13");
    EXPECT_EQ(Address::Parse("001A7DDA7113"), Address::Parse("00:1a:7d:da:71:13"));
    for (const char* bad : {"", "001a7dda711", "001a7dda71133", "00:1a:7d:da:71", "0:01a:7d:da:71:13",
                            "00-1a-7d-da-71-13", "00:1a:7d:da:71:1g", "00:1a:7d:da:71:13\n"})
        EXPECT_FALSE(Address::Parse(bad)) << bad;
    EXPECT_TRUE(Address::Parse("00:00:00:00:00:00")->IsZero());
    EXPECT_FALSE(Address::Parse("00:00:00:00:00:01")->IsZero());
}

TEST(BluetoothAddress, EachWrittenFormHasItsOwnSeparator) {
    const Address address = *Address::Parse("00:11:22:aa:bb:cc");
    EXPECT_EQ(address.Text(), "00:11:22:AA:BB:CC");
    EXPECT_EQ(address.Compact(), "001122AABBCC");
    EXPECT_EQ(address.ObjectPathName(), "dev_00_11_22_AA_BB_CC");
}

// The names a discovery finds, against the patterns a person types for --match.
struct NamePattern {
    const char* name;
    const char* pattern;
    bool matches;
};

class BluetoothNamePattern : public ::testing::TestWithParam<NamePattern> {};

TEST_P(BluetoothNamePattern, StarAndQuestionMarkStandForTextAndOneCharacterInAnyLetterCase) {
    const NamePattern& c = GetParam();
    EXPECT_EQ(bluetooth::NameMatches(c.name, c.pattern), c.matches) << c.name << " ~ " << c.pattern;
}

INSTANTIATE_TEST_SUITE_P(
    Names, BluetoothNamePattern,
    ::testing::Values(NamePattern{"ZK405 Kasa 1", "ZK405*", true}, NamePattern{"zk405 kasa 1", "ZK405*", true},
                      NamePattern{"Drukarka", "ZK405*", false}, NamePattern{"ZK405", "ZK405", true},
                      NamePattern{"ZK4050", "ZK405", false}, NamePattern{"Kasa 12", "*a ?2", true},
                      NamePattern{"Kasa 2", "*a ?2", false}, NamePattern{"", "*", true}, NamePattern{"", "?", false},
                      NamePattern{"abcabcabd", "*abd", true}, NamePattern{"abcabcabc", "*a*b*d*", false},
                      // ? is a whole Polish letter, never one of its two bytes.
                      NamePattern{"Zły", "Z?y", true}, NamePattern{"Zły", "Z??y", false},
                      NamePattern{"ZŁY", "zły", false}));
