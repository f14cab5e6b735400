#include "PortNames.h"
#include "Bluetooth.h"

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

TEST(PortNames, DeviceFilesGiveBackTheirComNames) {
    const struct {
        const char* file;
        const char* name;
    } cases[] = {
        {"ttyS0", "com1"},      {"ttyS31", "com32"},   {"ttyUSB0", "com33"}, {"ttyUSB3", "com36"},
        {"ttyACM0", "com65"},   {"ttyACM31", "com96"}, {"rfcomm0", "com97"}, {"rfcomm2", "com99"},
        {"rfcomm31", "com128"}, {"ttyS10", "com11"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ComNameOfDeviceFile(c.file), c.name) << c.file;
        EXPECT_EQ(ComNameOfDevicePath(std::string("/d/") + c.file, "/d"), c.name) << c.file;
    }
    for (const std::string& name : AllComNames())
        EXPECT_EQ(ComNameOfDevicePath(PosixDevicePath(name.c_str(), "/dev"), "/dev"), name);
}

TEST(PortNames, NoOtherDeviceHasAComName) {
    // Past a family's 32 devices, a number written otherwise than PosixDevicePath writes it, the
    // prefixes alone or in another case, serial devices outside the table.
    for (const char* file :
         {"ttyS32",  "ttyUSB32", "rfcomm99", "ttyS100", "ttyS01", "ttyS00", "rfcomm02", "ttyS",
          "rfcomm",  "ttyS-1",   "ttyS+1",   "ttyS 1",  "ttyS1 ", "ttys0",  "TTYS0",    "RFCOMM0",
          "ttyAMA0", "tty1",     "tty",      "pts/3",   "ttyS0/", "",       "com1"})
        EXPECT_EQ(ComNameOfDeviceFile(file), "") << file;
    // Only a file right in the device directory, its path written as PosixDevicePath writes it.
    for (const char* path : {"/dev/ttyS0", "/d/sub/ttyS0", "/d//ttyS0", "/dx/ttyS0", "/d/", "/d", "d/ttyS0",
                             "ttyS0", "/d/ttyS32", "/d/ttyS0/"})
        EXPECT_EQ(ComNameOfDevicePath(path, "/d"), "") << path;
}

TEST(PortNames, DeviceFilesInAMovedDeviceDirectoryGiveTheirComNames) {
    // Only the names count here, so the moved directory need hold no device (the Windows build runs
    // this test too, without pseudo-terminals).
    const std::string previous = port_names::DeviceDirectory();
    SetDeviceDirectory("/tmp/zk405-devices");
    EXPECT_EQ(ComNameOfDevicePath("/tmp/zk405-devices/rfcomm2", port_names::DeviceDirectory()), "com99");
    EXPECT_EQ(ComNameOfDevicePath(PosixDevicePath("com36", port_names::DeviceDirectory()),
                                  port_names::DeviceDirectory()),
              "com36");
    EXPECT_EQ(ComNameOfDevicePath("/dev/rfcomm2", port_names::DeviceDirectory()), "")
        << "/dev is not the directory now";
    SetDeviceDirectory(previous);
}

TEST(PortNames, BluetoothAddressesAreTakenOnlyWhenWhole) {
    std::string address = "unchanged";
    EXPECT_TRUE(bluetooth::AddressOfPortName("bt:aa:bb:cc:0d:Ee:f9", address));
    EXPECT_EQ(address, "AA:BB:CC:0D:EE:F9");
    EXPECT_TRUE(bluetooth::AddressOfPortName("BT:00:11:22:33:44:55", address));
    EXPECT_EQ(address, "00:11:22:33:44:55");
    address = "unchanged";
    for (const char* name :
         {"bt:", "bt:AA:BB:CC:DD:EE", "bt:AA:BB:CC:DD:EE:FF:00", "bt:AA:BB:CC:DD:EE:FG",
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
    // The walk of every name: each once, in order.
    const std::vector<std::string>& all = AllComNames();
    ASSERT_EQ(all.size(), 128u);
    EXPECT_EQ(all.front(), "com1");
    EXPECT_EQ(all.back(), "com128");
    for (size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(ComNumber(all[i].c_str()), static_cast<int>(i) + 1) << all[i];
}
