// Ports described from a sysfs tree laid out as the kernel lays it out (class links into the device
// tree, device and subsystem links, attribute files ending in a newline), made afresh by each test.
#include "SysfsPorts.h"
#include "DeviceDirectory.h"
#include "EscapedText.h"
#include "FakeSysfs.h"
#include "PortInfo.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using port_info::Direction;
using port_info::PortInfo;
using port_info::PortKind;

PortInfo Read(const Sysfs& sysfs, const std::string& tty) {
    PortInfo info;
    sysfs_ports::ReadTtyFacts(tty, sysfs.Root(), info);
    info.description = port_info::DescriptionOf(info);
    return info;
}

} // namespace

TEST(SysfsPorts, UsbAdaptersAreNamedByTheirUsbDevice) {
    Sysfs sysfs;
    sysfs.UsbSerialAdapter();
    sysfs.AcmDevice();

    const PortInfo ftdi = Read(sysfs, "ttyUSB0");
    EXPECT_EQ(ftdi.kind, PortKind::kUsb);
    EXPECT_TRUE(ftdi.present);
    EXPECT_EQ(ftdi.usb.vendorId, "0403");
    EXPECT_EQ(ftdi.usb.productId, "6001");
    EXPECT_EQ(ftdi.usb.serialNumber, "A10KZ1XY");
    EXPECT_EQ(ftdi.description, "FTDI FT232R USB UART (serial A10KZ1XY)");
    EXPECT_FALSE(ftdi.address);

    // No product string: the maker alone, still with the serial number.
    const PortInfo acm = Read(sysfs, "ttyACM0");
    EXPECT_EQ(acm.kind, PortKind::kUsb);
    EXPECT_EQ(acm.usb.vendorId, "2341");
    EXPECT_EQ(acm.description, "Arduino (www.arduino.cc) (serial 75735323)");
}

TEST(SysfsPorts, UsbDevicesWithoutStringsOrIdsStayUsbPorts) {
    Sysfs sysfs;
    sysfs.UsbSerialAdapter();
    const std::string usb = std::string(kUsbHost) + "/1-2/";
    for (const char* attribute : {"manufacturer", "product", "serial"})
        sysfs.Remove(usb + attribute);
    EXPECT_EQ(Read(sysfs, "ttyUSB0").description, "USB serial device 0403:6001");

    // Without idVendor the USB device is not found at all; the driver's name still tells the kind.
    sysfs.Remove(usb + "idVendor");
    const PortInfo bare = Read(sysfs, "ttyUSB0");
    EXPECT_EQ(bare.kind, PortKind::kUsb);
    EXPECT_TRUE(bare.present);
    EXPECT_EQ(bare.description, "USB serial device");
}

TEST(SysfsPorts, UsbStringsCannotWriteToTheTerminal) {
    Sysfs sysfs;
    sysfs.UsbSerialAdapter();
    sysfs.Remove(std::string(kUsbHost) + "/1-2/product");
    sysfs.File(std::string(kUsbHost) + "/1-2/product", "UART\x1b]0;owned\x07\x1b[2J");
    const PortInfo info = Read(sysfs, "ttyUSB0");
    // Kept whole for JSON and the ledger; what the text output shows of it cannot act on a terminal.
    EXPECT_EQ(info.usb.product, "UART\x1b]0;owned\x07\x1b[2J");
    EXPECT_EQ(EscapeControls(info.description), "FTDI UART\\x1B]0;owned\\x07\\x1B[2J (serial A10KZ1XY)");
}

TEST(SysfsPorts, RfcommPortsCarryTheRemoteAddressAndChannel) {
    Sysfs sysfs;
    sysfs.Rfcomm("rfcomm0", "00:1a:7d:da:71:13", "1");
    sysfs.Rfcomm("rfcomm1", "", "");            // attributes not readable
    sysfs.Rfcomm("rfcomm2", "00:00:00:00:00:00", "0"); // nothing bound
    sysfs.Rfcomm("rfcomm3", "not an address", "31");

    const PortInfo bound = Read(sysfs, "rfcomm0");
    EXPECT_EQ(bound.kind, PortKind::kBluetooth);
    EXPECT_EQ(bound.direction, Direction::kOutgoing);
    EXPECT_EQ(bound.address, "00:1A:7D:DA:71:13");
    EXPECT_EQ(bound.channel, 1);
    EXPECT_TRUE(bound.present);
    EXPECT_EQ(bound.description, "Bluetooth, outgoing to 00:1A:7D:DA:71:13, channel 1");

    for (const char* tty : {"rfcomm1", "rfcomm2", "rfcomm3"}) {
        const PortInfo unknown = Read(sysfs, tty);
        EXPECT_EQ(unknown.kind, PortKind::kBluetooth) << tty;
        EXPECT_FALSE(unknown.address) << tty;
        EXPECT_EQ(unknown.channel, 0) << tty;
        EXPECT_EQ(unknown.description, "Bluetooth serial port (remote address unknown)") << tty;
    }
}

TEST(SysfsPorts, OnlyUartsWithHardwareBehindThemAreOnboardPorts) {
    Sysfs sysfs;
    sysfs.OnboardUart();
    sysfs.PlaceholderUart("ttyS4");
    sysfs.Dir("devices/virtual/tty/ttyS5"); // registered, no device link at all
    sysfs.Link("class/tty/ttyS5", "../../devices/virtual/tty/ttyS5");

    const PortInfo uart = Read(sysfs, "ttyS0");
    EXPECT_EQ(uart.kind, PortKind::kOnboard);
    EXPECT_TRUE(uart.present);
    EXPECT_EQ(uart.description, "On-board serial port");

    for (const char* tty : {"ttyS4", "ttyS5", "ttyS6"}) {
        const PortInfo none = Read(sysfs, tty);
        EXPECT_FALSE(none.present) << tty;
        EXPECT_EQ(none.kind, PortKind::kOther) << tty;
        EXPECT_EQ(none.description, "Serial device") << tty;
    }
}

TEST(SysfsPorts, NamesThatLeaveTheTtyClassAreNotFollowed) {
    Sysfs sysfs;
    sysfs.UsbSerialAdapter();
    for (const char* tty : {"../tty/ttyUSB0", "..", "", "a/b"}) {
        const PortInfo info = Read(sysfs, tty);
        EXPECT_FALSE(info.present) << tty;
        EXPECT_TRUE(info.usb.vendorId.empty()) << tty;
    }
    // A device link that points out of the sysfs tree is not followed either.
    sysfs.Dir("devices/virtual/tty/ttyUSB9");
    sysfs.Link("devices/virtual/tty/ttyUSB9/device", "/");
    sysfs.Link("class/tty/ttyUSB9", "../../devices/virtual/tty/ttyUSB9");
    EXPECT_FALSE(Read(sysfs, "ttyUSB9").present);
}

TEST(SysfsPorts, DescribePortFollowsTheNameToTheDeviceAndAsksForTheRemoteName) {
    Sysfs sysfs;
    sysfs.UsbSerialAdapter();
    sysfs.Rfcomm("rfcomm0", "00:1a:7d:da:71:13", "3");
    const SysfsRootFor root(sysfs.Root());
    DeviceDirectory devices({"ttyS0"}); // a pseudo-terminal behind com1
    ASSERT_TRUE(devices.Ready());
    // Device files of the kinds sysfs describes; /dev/serial/by-id style links lead to them.
    std::ofstream(devices.Path() + "/ttyUSB0").put('\n');
    std::ofstream(devices.Path() + "/rfcomm0").put('\n');
    fs::create_symlink(devices.Path() + "/ttyUSB0", devices.Path() + "/usb-FTDI_FT232R_USB_UART_A10KZ1XY-if00-port0");

    std::vector<std::string> asked;
    const port_info::RemoteNameLookup lookup = [&](const std::string& address) -> std::optional<std::string> {
        asked.push_back(address);
        return "ZK405 Hala 2";
    };
    const PortInfo bluetooth = port_info::DescribePort("com97", lookup);
    EXPECT_EQ(bluetooth.device, devices.Path() + "/rfcomm0");
    EXPECT_EQ(bluetooth.remoteName, "ZK405 Hala 2");
    EXPECT_EQ(bluetooth.description, "Bluetooth, outgoing to ZK405 Hala 2 (00:1A:7D:DA:71:13), channel 3");
    EXPECT_EQ(asked, (std::vector<std::string>{"00:1A:7D:DA:71:13"}));
    // A device names itself over the air: its name is kept as it came, for text output to escape
    // (zk405-cli's list test) and JSON and the ledger to carry whole.
    const PortInfo hostile = port_info::DescribePort(
        "com97", [](const std::string&) { return std::optional<std::string>("ZK\x1b[2J\t405\n"); });
    EXPECT_EQ(hostile.remoteName, "ZK\x1b[2J\t405\n");
    EXPECT_EQ(hostile.description, "Bluetooth, outgoing to ZK\x1b[2J\t405\n (00:1A:7D:DA:71:13), channel 3");

    const PortInfo byId =
        port_info::DescribePort(devices.Path() + "/usb-FTDI_FT232R_USB_UART_A10KZ1XY-if00-port0", lookup);
    EXPECT_EQ(byId.kind, PortKind::kUsb);
    EXPECT_EQ(byId.description, "FTDI FT232R USB UART (serial A10KZ1XY)");
    EXPECT_EQ(asked.size(), 1u) << "only Bluetooth ports have a remote name";

    const PortInfo pty = port_info::DescribePort("com1");
    EXPECT_EQ(pty.kind, PortKind::kPty);
    EXPECT_TRUE(pty.present);
    EXPECT_EQ(pty.description, "Pseudo-terminal " + devices.Terminal(0).SlavePath());

    // A device file without a kernel device, and no device file at all.
    const PortInfo gone = port_info::DescribePort("com98");
    EXPECT_FALSE(gone.present);
    EXPECT_EQ(gone.kind, PortKind::kBluetooth);
    EXPECT_EQ(gone.description, "Bluetooth serial port (remote address unknown)");
    EXPECT_FALSE(port_info::DescribePort("com34").present);
}

// USB strings are up to 126 UTF-16 units: the longest, three bytes a character in UTF-8, comes whole;
// an attribute longer than any is cut between two characters, never inside one.
TEST(SysfsPorts, LongUsbStringsAreWholeOrCutBetweenCharacters) {
    std::string longest;
    for (int i = 0; i < 126; ++i)
        longest += "\xE2\x82\xAC"; // the euro sign
    Sysfs sysfs;
    sysfs.UsbSerialAdapter(longest);
    EXPECT_EQ(Read(sysfs, "ttyUSB0").usb.product, longest);

    Sysfs longer;
    longer.UsbSerialAdapter("x" + longest + longest);
    // 512 bytes would end inside a character.
    EXPECT_EQ(Read(longer, "ttyUSB0").usb.product, "x" + (longest + longest).substr(0, 510));
}
