// What Windows' Ports-class entries say about their ports, from entries as SetupAPI gives them for real
// devices, and the texts made of it.
#include "PortInfo.h"
#include "PortRecord.h"

#include <gtest/gtest.h>

using port_info::Direction;
using port_info::PortInfo;
using port_info::PortKind;
using port_info::PortRecord;

namespace {

PortInfo Applied(const PortRecord& record) {
    PortInfo info;
    info.name = record.portName;
    port_info::ApplyPortRecord(record, info);
    info.description = port_info::DescriptionOf(info);
    return info;
}

const PortRecord kOutgoing = {
    "Standard Serial over Bluetooth link (COM5)",
    {"BTHENUM\\{00001101-0000-1000-8000-00805f9b34fb}_VID&00010002_PID&0000",
     "BTHENUM\\{00001101-0000-1000-8000-00805f9b34fb}_VID&00010002"},
    "BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_VID&00010002_PID&0000\\7&2F1C3D4E&0&001A7DDA7113_C00000000",
    "COM5"};
const PortRecord kIncoming = {
    "Standard Serial over Bluetooth link (COM4)",
    {"BTHENUM\\{00001101-0000-1000-8000-00805f9b34fb}_LOCALMFG&0002"},
    "BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&2F1C3D4E&0&000000000000_00000004",
    "COM4"};

} // namespace

TEST(PortRecords, BluetoothPortsTellOutgoingFromIncoming) {
    const PortInfo outgoing = Applied(kOutgoing);
    EXPECT_EQ(outgoing.kind, PortKind::kBluetooth);
    EXPECT_EQ(outgoing.direction, Direction::kOutgoing);
    EXPECT_EQ(outgoing.address, "00:1A:7D:DA:71:13");
    EXPECT_TRUE(outgoing.present);
    EXPECT_EQ(outgoing.systemLabel, "Standard Serial over Bluetooth link");
    EXPECT_EQ(outgoing.description, "Bluetooth, outgoing to 00:1A:7D:DA:71:13");

    // The all-zero address belongs to the port that waits for calls: it has no remote device.
    const PortInfo incoming = Applied(kIncoming);
    EXPECT_EQ(incoming.kind, PortKind::kBluetooth);
    EXPECT_EQ(incoming.direction, Direction::kIncoming);
    EXPECT_FALSE(incoming.address);
    EXPECT_NE(incoming.description.find("incoming"), std::string::npos);
    EXPECT_NE(incoming.description.find("cannot reach a module"), std::string::npos);
    EXPECT_STREQ(port_info::DirectionName(incoming.direction), "incoming");
    EXPECT_STREQ(port_info::DirectionName(outgoing.direction), "outgoing");
    EXPECT_EQ(port_info::DirectionName(Direction::kUnknown), nullptr);

    // An instance id that hides the address leaves it unknown rather than guessed.
    PortRecord odd = kOutgoing;
    odd.instanceId = "BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}\\7&2F1C3D4E&0&00_C00000000";
    const PortInfo unknown = Applied(odd);
    EXPECT_EQ(unknown.direction, Direction::kUnknown);
    EXPECT_FALSE(unknown.address);
    EXPECT_EQ(unknown.description, "Standard Serial over Bluetooth link (remote address unknown)");
}

TEST(PortRecords, UsbAdaptersGiveTheirIdsAndSerialNumbers) {
    const PortInfo ftdi = Applied({"USB Serial Port (COM7)",
                                   {"FTDIBUS\\COMPORT&VID_0403&PID_6001"},
                                   "FTDIBUS\\VID_0403+PID_6001+A10KZ1XYA\\0000",
                                   "COM7"});
    EXPECT_EQ(ftdi.kind, PortKind::kUsb);
    EXPECT_EQ(ftdi.usb.vendorId, "0403");
    EXPECT_EQ(ftdi.usb.productId, "6001");
    EXPECT_EQ(ftdi.usb.serialNumber, "A10KZ1XY");
    EXPECT_EQ(ftdi.description, "USB Serial Port (serial A10KZ1XY)");
    EXPECT_FALSE(ftdi.address);
    EXPECT_EQ(ftdi.direction, Direction::kUnknown);

    const PortInfo acm = Applied({"Arduino Uno (COM12)",
                                  {"USB\\VID_2341&PID_0043&REV_0001", "USB\\VID_2341&PID_0043"},
                                  "USB\\VID_2341&PID_0043\\75735323",
                                  "COM12"});
    EXPECT_EQ(acm.usb.vendorId, "2341");
    EXPECT_EQ(acm.usb.serialNumber, "75735323");
    EXPECT_EQ(acm.description, "Arduino Uno (serial 75735323)");

    // Windows makes up an instance part for devices without a serial number: it is not one.
    const PortInfo generated = Applied({"USB-SERIAL CH340 (COM3)",
                                        {"USB\\VID_1A86&PID_7523&REV_0264"},
                                        "USB\\VID_1A86&PID_7523\\5&1A2B3C4D&0&2",
                                        "COM3"});
    EXPECT_TRUE(generated.usb.serialNumber.empty());
    EXPECT_EQ(generated.usb.productId, "7523");
    EXPECT_EQ(generated.description, "USB-SERIAL CH340");
}

TEST(PortRecords, BoardPortsAndUnknownDevicesKeepTheirFriendlyNames) {
    const PortInfo board = Applied({"Communications Port (COM1)", {"ACPI\\VEN_PNP&DEV_0501", "*PNP0501"},
                                    "ACPI\\PNP0501\\0", "COM1"});
    EXPECT_EQ(board.kind, PortKind::kOnboard);
    EXPECT_EQ(board.description, "Communications Port");

    const PortInfo virtualPort = Applied({"com0com - serial port emulator (COM20)", {"com0com\\port"},
                                          "COM0COM\\PORT\\CNCA0", "COM20"});
    EXPECT_EQ(virtualPort.kind, PortKind::kOther);
    EXPECT_EQ(virtualPort.description, "com0com - serial port emulator");

    // A friendly name naming another port is kept whole.
    EXPECT_EQ(Applied({"Modem (COM9)", {}, "ROOT\\MODEM\\0000", "COM10"}).description, "Modem (COM9)");
}

TEST(PortRecords, RecordsBelongToTheirPortWhateverTheCase) {
    EXPECT_TRUE(port_info::RecordIsFor(kOutgoing, "com5"));
    EXPECT_TRUE(port_info::RecordIsFor(kOutgoing, "COM5"));
    EXPECT_FALSE(port_info::RecordIsFor(kOutgoing, "com55"));
    EXPECT_FALSE(port_info::RecordIsFor(PortRecord{}, ""));
}

TEST(PortInfoText, KindsHaveTheirWordsAndBluetoothPortsTheirRemoteDevice) {
    EXPECT_STREQ(port_info::KindName(PortKind::kOnboard), "onboard");
    EXPECT_STREQ(port_info::KindName(PortKind::kUsb), "usb");
    EXPECT_STREQ(port_info::KindName(PortKind::kBluetooth), "bluetooth");
    EXPECT_STREQ(port_info::KindName(PortKind::kPty), "pty");
    EXPECT_STREQ(port_info::KindName(PortKind::kOther), "other");

    PortInfo info;
    info.kind = PortKind::kBluetooth;
    info.address = "00:1A:7D:DA:71:13";
    info.remoteName = "ZK405";
    info.present = true;
    EXPECT_EQ(port_info::DescriptionOf(info), "Bluetooth, outgoing to ZK405 (00:1A:7D:DA:71:13)");
    info.remoteName = "";
    EXPECT_EQ(port_info::DescriptionOf(info), "Bluetooth, outgoing to 00:1A:7D:DA:71:13");
    info.channel = 2;
    EXPECT_EQ(port_info::DescriptionOf(info), "Bluetooth, outgoing to 00:1A:7D:DA:71:13, channel 2");
}
