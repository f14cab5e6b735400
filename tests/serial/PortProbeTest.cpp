#include "PortProbe.h"
#include "DeviceDirectory.h"
#include "SerialPort.h"
#include "SerialSystem.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

using Names = std::vector<std::string>;

TEST(PortProbe, ListsThePortsThatOpenInNumberOrder) {
    // ttyS9 is com10: the probe walks the numbers, the window's list sorts the names.
    DeviceDirectory devices({"ttyS0", "ttyS1", "ttyS9"});
    ASSERT_TRUE(devices.Ready());
    EXPECT_EQ(port_probe::ListOpenablePorts(), (Names{"com1", "com2", "com10"}));
}

TEST(PortProbe, ReachesEveryDeviceFamilyUpToCom128) {
    DeviceDirectory devices({"ttyUSB0", "ttyACM31", "rfcomm31"});
    ASSERT_TRUE(devices.Ready());
    EXPECT_EQ(port_probe::ListOpenablePorts(), (Names{"com33", "com96", "com128"}));
}

TEST(PortProbe, LeavesOutPortsHeldElsewhereAndHandsEveryPortBack) {
    DeviceDirectory devices({"ttyS0", "ttyS1", "ttyS2"});
    ASSERT_TRUE(devices.Ready());

    TempDir workDir;    // the channel's traffic log goes here
    CSerialPort holder; // another program's open, as far as the device is concerned
    ASSERT_EQ(holder.Open("com2", 9600), 0);
    const serial_os::Handle raw = serial_os::OpenDevice("com3");
    ASSERT_NE(raw, serial_os::kNoHandle);
    EXPECT_EQ(port_probe::ListOpenablePorts(), (Names{"com1"}));

    serial_os::CloseDevice(raw);
    holder.Close();
    EXPECT_EQ(port_probe::ListOpenablePorts(), (Names{"com1", "com2", "com3"}));

    // Probing twice in a row and then opening proves the probe closed what it opened.
    CSerialPort user;
    EXPECT_EQ(user.Open("com1", 9600), 0);
    user.Close();
}

TEST(PortProbe, SkipsDevicesThatAreGoneOrMissing) {
    DeviceDirectory devices({"ttyS0"});
    ASSERT_TRUE(devices.Ready());
    // A link left behind by a device that went away, as /dev/rfcomm links do.
    ASSERT_EQ(symlink("/nonexistent/pts/99", (devices.Path() + "/ttyS4").c_str()), 0);
    EXPECT_EQ(port_probe::ListOpenablePorts(), (Names{"com1"}));
}

TEST(PortProbe, EmptyDeviceDirectoryGivesAnEmptyList) {
    DeviceDirectory devices({});
    EXPECT_TRUE(port_probe::ListOpenablePorts().empty());
}
