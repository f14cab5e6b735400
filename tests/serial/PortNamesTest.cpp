#include "Bluetooth.h"
#include "PortNames.h"

#include <gtest/gtest.h>

using namespace port_names;

TEST(PortNames, ComNumbersMapOntoTheFourDeviceFamilies) {
    const struct {
        const char* name;
        const char* path;
    } cases[] = {
        {"com1", "/d/ttyS0"},     {"com32", "/d/ttyS31"},    {"com33", "/d/ttyUSB0"},
        {"com64", "/d/ttyUSB31"}, {"com65", "/d/ttyACM0"},   {"com96", "/d/ttyACM31"},
        {"com97", "/d/rfcomm0"},  {"com128", "/d/rfcomm31"}, {"COM5", "/d/ttyS4"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PosixDevicePath(c.name, "/d"), c.path) << c.name;
}

TEST(PortNames, AnyOtherNameIsOpenedAsTyped) {
    for (const char* name : {"com0", "com129", "com01", "com", "com1x", "xcom1", "/dev/pts/3", "", "ttyS0"})
        EXPECT_EQ(PosixDevicePath(name, "/d"), name) << name;
    EXPECT_EQ(PosixDevicePath(nullptr, "/d"), "");
}

TEST(PortNames, BluetoothAddressesAreTakenOnlyWhenWhole) {
    std::string address = "unchanged";
    EXPECT_TRUE(bluetooth::AddressOfPortName("bt:aa:bb:cc:0d:Ee:f9", address));
    EXPECT_EQ(address, "AA:BB:CC:0D:EE:F9");
    EXPECT_TRUE(bluetooth::AddressOfPortName("BT:00:11:22:33:44:55", address));
    EXPECT_EQ(address, "00:11:22:33:44:55");
    address = "unchanged";
    for (const char* name : {"bt:", "bt:AA:BB:CC:DD:EE", "bt:AA:BB:CC:DD:EE:FF:00", "bt:AA:BB:CC:DD:EE:FG",
                             "bt:AA-BB-CC-DD-EE-FF", "bt:AABBCCDDEEFF", "bt:AA:BB:CC:DD:EE:F", "xbt:AA:BB:CC:DD:EE:FF",
                             "AA:BB:CC:DD:EE:FF", "bt:AA:BB:CC:DD:EE:FF ", "/dev/rfcomm0", "com97", ""}) {
        EXPECT_FALSE(bluetooth::AddressOfPortName(name, address)) << name;
        // Whatever is not an address is opened as typed, never as a link.
        EXPECT_EQ(address, "unchanged") << name;
    }
    EXPECT_FALSE(bluetooth::AddressOfPortName(nullptr, address));
}

TEST(PortNames, WindowsNamesOfComPortsTakeTheDevicePrefix) {
    EXPECT_EQ(Win32DevicePath("com1"), "\\\\.\\com1");
    EXPECT_EQ(Win32DevicePath("com10"), "\\\\.\\com10") << "com10 and above open only with the prefix";
    EXPECT_EQ(Win32DevicePath("COM200"), "\\\\.\\COM200");
    EXPECT_EQ(Win32DevicePath("com0"), "com0");
    EXPECT_EQ(Win32DevicePath("\\\\.\\pipe\\x"), "\\\\.\\pipe\\x");
}

TEST(PortNames, ListNamesRoundTrip) {
    for (int n = kFirstPort; n <= kLastPort; ++n)
        EXPECT_EQ(ComNumber(ComName(n).c_str()), n);
}
