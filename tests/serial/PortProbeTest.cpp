#include "PortProbe.h"
#include "DeviceDirectory.h"
#include "OtherProgram.h"
#include "SerialPort.h"
#include "SerialSystem.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/wait.h>
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
    serial_result::OpenFailure why;
    std::unique_ptr<serial_os::Device> raw = serial_os::OpenDevice("com3", why);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(port_probe::ListOpenablePorts(), (Names{"com1"}));

    raw.reset();
    holder.Close();
    EXPECT_EQ(port_probe::ListOpenablePorts(), (Names{"com1", "com2", "com3"}));

    // Probing twice in a row and then opening proves the probe closed what it opened.
    CSerialPort user;
    EXPECT_EQ(user.Open("com1", 9600), 0);
    user.Close();
}

TEST(PortProbe, LeavesOutPortsOtherProgramsHoldAndTouchesNoneOfThem) {
    DeviceDirectory devices({"ttyS0", "ttyS1", "ttyS2", "ttyS3"});
    ASSERT_TRUE(devices.Ready());
    TempDir workDir;

    // A terminal program that set the exclusive flag.
    auto terminal = std::make_unique<OtherProgram>(devices.Terminal(1).SlavePath());
    ASSERT_TRUE(terminal->Started());
    const int exclusive =
        open(devices.Terminal(1).SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(exclusive, 0);
    ASSERT_EQ(ioctl(exclusive, TIOCEXCL), 0);
    auto plain = std::make_unique<OtherProgram>(devices.Terminal(2).SlavePath());
    ASSERT_TRUE(plain->Started());
    auto locker = std::make_unique<OtherProgram>("/dev/null");
    const bool locked = WriteUucpLock(devices.Terminal(3).SlavePath(), locker->Pid());

    EXPECT_EQ(port_probe::ListOpenablePorts(), locked ? Names{"com1"} : (Names{"com1", "com4"}));
    int flag = 0;
    EXPECT_EQ(ioctl(exclusive, TIOCGEXCL, &flag), 0);
    EXPECT_EQ(flag, 1) << "probing must not clear another program's exclusive flag";
    if (locked) {
        EXPECT_EQ(access(UucpLockPath(devices.Terminal(3).SlavePath()).c_str(), F_OK), 0);
    }

    ioctl(exclusive, TIOCNXCL);
    close(exclusive);
    terminal.reset();
    plain.reset();
    locker.reset(); // its lock is stale now
    EXPECT_EQ(port_probe::ListOpenablePorts(), (Names{"com1", "com2", "com3", "com4"}));
    EXPECT_NE(access(UucpLockPath(devices.Terminal(3).SlavePath()).c_str(), F_OK), 0);
}

TEST(PortProbe, SkipsDevicesThatAreGoneOrMissing) {
    DeviceDirectory devices({"ttyS0"});
    ASSERT_TRUE(devices.Ready());
    // A link left behind by a device that went away, as /dev/rfcomm links do.
    ASSERT_EQ(symlink("/nonexistent/pts/99", (devices.Path() + "/ttyS4").c_str()), 0);
    EXPECT_EQ(port_probe::ListOpenablePorts(), (Names{"com1"}));
}

TEST(PortProbe, EmptyDeviceDirectoryGivesAnEmptyListAtOnce) {
    DeviceDirectory devices({});
    using Clock = std::chrono::steady_clock;
    Clock::duration fastest = std::chrono::hours(1);
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        EXPECT_TRUE(port_probe::ListOpenablePorts().empty());
        fastest = std::min(fastest, Clock::now() - start);
    }
    EXPECT_LE(fastest, std::chrono::milliseconds(20)) << "the window waits for the probe";
}

// Another copy of the program lists the ports while this one opens a free port, again and again:
// the list must never make the open fail, and the list still leaves out the port while it is open.
TEST(PortProbe, AnotherCopysListNeverMakesAnOpenOfAFreePortFail) {
    DeviceDirectory devices({"ttyS0"});
    ASSERT_TRUE(devices.Ready());
    TempDir workDir;
    const pid_t lister = fork();
    ASSERT_GE(lister, 0);
    if (lister == 0) {
        close_range(3, ~0U, 0); // the copy holds none of this test's descriptors of the lines
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < end)
            port_probe::ListOpenablePorts();
        _exit(0);
    }
    int failed = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
        CSerialPort port;
        if (port.Open("com1", 9600) != 0) {
            ++failed;
            ADD_FAILURE() << "open " << i << ": " << serial_result::DescribeOpenFailure(port.LastOpenFailure());
        } else if (port.LastOpenFailure().reason != serial_result::OpenReason::kNone) {
            // A copy seen a moment before it let go is no reason left behind by the open.
            ++failed;
            ADD_FAILURE() << "open " << i << " kept: " << serial_result::DescribeOpenFailure(port.LastOpenFailure());
        }
        port.Close();
        if (failed > 3)
            break;
    }
    int status = 0;
    waitpid(lister, &status, 0);
    EXPECT_EQ(failed, 0);
}
