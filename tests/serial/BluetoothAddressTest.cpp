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
