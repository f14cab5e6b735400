// CSerialPort against a real tty line: a pseudo-terminal whose master plays the module.
#include "SerialPort.h"
#include "OtherProgram.h"
#include "PortNames.h"
#include "PortProbe.h"
#include "PseudoTerminal.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace serial_result;

namespace {

int OpenDescriptorCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr)
            ++count;
        closedir(dir);
    }
    return count;
}

// A UUCP lock's text: the PID in ten columns and a line feed.
std::string LockText(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    return text;
}

bool WriteFile(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

// Makes the entry at path look a minute old, past any grace for a half-written lock.
bool Age(const std::string& path) {
    const timespec minuteAgo{time(nullptr) - 60, 0};
    const timespec times[2] = {minuteAgo, minuteAgo};
    return utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Runs check in a child process of its own (limits and user changes stay there); its exit status,
// 0 when the check passed, or 100 and more when it died.
int InChild(const std::function<int()>& check) {
    const pid_t pid = fork();
    if (pid == 0)
        _exit(check());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return 99;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// In a child of InChild: an ordinary user's rights, as root's tests need them to act as one.
bool BecomeNobody() {
    constexpr uid_t kNobody = 65534;
    return setgroups(0, nullptr) == 0 && setresgid(kNobody, kNobody, kNobody) == 0 &&
           setresuid(kNobody, kNobody, kNobody) == 0;
}

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty.IsOpen()); }

    int32_t OpenPty(CSerialPort& p) { return p.Open(pty.SlavePath().c_str(), 9600); }

    TempDir dir; // TxRx.log lands here
    PseudoTerminal pty;
    CSerialPort port;
};

TEST_F(SerialPortTest, OpenCloseStateMachine) {
    EXPECT_EQ(port.Open(nullptr, 4800), kWrongState);
    EXPECT_EQ(port.BaudRate(), 4800u) << "the rate is stored before any check";
    EXPECT_EQ(port.Close(), kWrongState);

    ASSERT_EQ(OpenPty(port), kOk);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_NE(port.ReceiveBuffer(), nullptr);

    EXPECT_EQ(port.Open(pty.SlavePath().c_str(), 9600), kAlreadyOpen);
    EXPECT_EQ(port.Open("/no/such/device", 9600), kAlreadyOpen);
    EXPECT_EQ(port.Write(3, "abc"), kOk) << "a refused second open leaves the first connection working";
    EXPECT_EQ(pty.ReadFromPort(3), "abc");

    EXPECT_EQ(port.Close(), kOk);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.ReceiveBuffer(), nullptr) << "the buffer lives exactly while the port is open";
    EXPECT_EQ(port.Close(), kWrongState);

    ASSERT_EQ(OpenPty(port), kOk) << "a closed port opens again";
    EXPECT_EQ(port.Close(), kOk);
}

TEST_F(SerialPortTest, FailedOpensLeaveThePortClosedAndReusableWithoutLeaks) {
    const int descriptors = OpenDescriptorCount();

    EXPECT_EQ(port.Open("/no/such/device", 9600), kOpenFailed);
    EXPECT_EQ(port.LastOpenFailure().reason, OpenReason::kMissing);
    EXPECT_EQ(port.LastOpenFailure().path, "/no/such/device");
    EXPECT_EQ(port.Open("", 9600), kOpenFailed);
    EXPECT_FALSE(port.IsOpen());
    // An error none of the reasons names keeps the system's words for it, not only its number.
    EXPECT_EQ(port.Open(dir.Path().c_str(), 9600), kOpenFailed);
    EXPECT_EQ(port.LastOpenFailure().reason, OpenReason::kOther);
    EXPECT_EQ(DescribeOpenFailure(port.LastOpenFailure()), dir.Path() + " did not open: is a directory");

    // Opens, but is no serial line.
    EXPECT_EQ(port.Open("/dev/null", 9600), kSettingsFailed);
    EXPECT_EQ(port.LastOpenFailure().reason, OpenReason::kNotSerialLine);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.ReceiveBuffer(), nullptr);

    // A rate termios cannot express is refused like settings the driver rejects.
    EXPECT_EQ(port.Open(pty.SlavePath().c_str(), 12345), kSettingsFailed);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(OpenDescriptorCount(), descriptors);

    ASSERT_EQ(OpenPty(port), kOk);
    EXPECT_EQ(port.LastOpenFailure().reason, OpenReason::kNone) << "no reason outlives a good open";
    ASSERT_EQ(port.Close(), kOk);
    EXPECT_EQ(port.Open("/dev/null", 9600), kSettingsFailed) << "also after an earlier open and close";
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(OpenPty(port), kOk);
}

TEST_F(SerialPortTest, OpenIsExclusiveEvenForRoot) {
    ASSERT_EQ(OpenPty(port), kOk);
    CSerialPort second;
    EXPECT_EQ(OpenPty(second), kOpenFailed);
    ASSERT_EQ(port.Close(), kOk);
    EXPECT_EQ(OpenPty(second), kOk) << "closing hands the device back";
    EXPECT_EQ(second.Close(), kOk);

    // Another program's plain open must find the tty as it was before the port held it.
    ASSERT_EQ(OpenPty(port), kOk);
    ASSERT_EQ(port.Close(), kOk);
    const int fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    EXPECT_GE(fd, 0);
    if (fd >= 0)
        close(fd);
}

// Other programs do not flock: each way they may hold the line must refuse the open all the same,
// leave the device as it was, and free it again once they let go.
TEST_F(SerialPortTest, OpenRefusesALineOtherProgramsHoldEvenForRoot) {
    const std::string& device = pty.SlavePath();
    {
        // A terminal program that set the exclusive flag (root's open gets past the flag itself).
        const OtherProgram terminal(device);
        ASSERT_TRUE(terminal.Started());
        const int holder = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(holder, 0);
        ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
        EXPECT_EQ(OpenPty(port), kOpenFailed);
        EXPECT_EQ(port.LastOpenFailure().reason, OpenReason::kExclusiveFlag);
        EXPECT_EQ(port.LastOpenFailure().pid, terminal.Pid()) << "the program that accounts for the flag";
        int exclusive = 0;
        EXPECT_EQ(ioctl(holder, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1) << "the holder's flag is not ours to clear";
        ioctl(holder, TIOCNXCL);
        close(holder);
    }
    {
        const OtherProgram plain(device); // no flag, no lock: an open fuser can see
        ASSERT_TRUE(plain.Started());
        EXPECT_EQ(OpenPty(port), kOpenFailed);
        EXPECT_EQ(port.LastOpenFailure().reason, OpenReason::kHeldBy);
        EXPECT_EQ(port.LastOpenFailure().pid, plain.Pid());
        EXPECT_EQ(port.LastOpenFailure().program, "sleep");
    }
    const std::string lock = UucpLockPath(device);
    const OtherProgram gone;
    if (!WriteUucpLock(device, gone.Pid()))
        GTEST_SKIP() << "the UUCP lock directory is closed to this user";
    {
        const OtherProgram locker("/dev/null");
        ASSERT_TRUE(WriteUucpLock(device, locker.Pid()));
        EXPECT_EQ(OpenPty(port), kOpenFailed) << "minicom's lock";
        EXPECT_EQ(port.LastOpenFailure().reason, OpenReason::kLockedBy);
        EXPECT_EQ(port.LastOpenFailure().pid, locker.Pid());
        EXPECT_EQ(port.LastOpenFailure().program, "sleep");
        EXPECT_EQ(port.LastOpenFailure().path, lock);
        EXPECT_NE(DescribeOpenFailure(port.LastOpenFailure()).find("sleep (PID " + std::to_string(locker.Pid())),
                  std::string::npos);
        EXPECT_EQ(ReadWholeFile(lock), LockText(locker.Pid())) << "and not taken from it";
    }
    ASSERT_TRUE(WriteUucpLock(device, gone.Pid()));
    ASSERT_EQ(OpenPty(port), kOk) << "a lock whose program is gone is stale";
    EXPECT_EQ(ReadWholeFile(lock), LockText(getpid())) << "the lock is ours while the port is open";
    CSerialPort second;
    EXPECT_EQ(OpenPty(second), kOpenFailed);
    ASSERT_EQ(port.Close(), kOk);
    EXPECT_NE(access(lock.c_str(), F_OK), 0) << "and goes with the port";
}

// zk405-cli opens every port on a thread of its own: each open must take a lock of its own and give
// it back, however the threads interleave.
TEST_F(SerialPortTest, PortsOpenedAtOnceFromSeveralThreadsEachHoldTheirOwnLock) {
    constexpr size_t kPorts = 8;
    std::array<PseudoTerminal, kPorts> lines;
    std::array<CSerialPort, kPorts> ports;
    const std::string lock0 = UucpLockPath(lines[0].SlavePath());
    const bool lockable = access(lock0.substr(0, lock0.rfind('/')).c_str(), W_OK) == 0;
    const auto onEachPort = [&](auto&& step) {
        std::array<std::thread, kPorts> threads;
        for (size_t i = 0; i < kPorts; ++i)
            threads[i] = std::thread(step, i);
        for (std::thread& thread : threads)
            thread.join();
    };
    for (int round = 0; round < 10; ++round) {
        std::atomic<size_t> opened{0};
        onEachPort([&](size_t i) { opened += ports[i].Open(lines[i].SlavePath().c_str(), 9600) == kOk; });
        ASSERT_EQ(opened, kPorts) << "round " << round;
        for (size_t i = 0; lockable && i < kPorts; ++i)
            EXPECT_EQ(ReadWholeFile(UucpLockPath(lines[i].SlavePath())), LockText(getpid())) << i;
        onEachPort([&](size_t i) { ports[i].Close(); });
        for (size_t i = 0; i < kPorts; ++i)
            EXPECT_NE(access(UucpLockPath(lines[i].SlavePath()).c_str(), F_OK), 0) << i;
    }

    // Announced together, the opens share one look for other holders: each still finds its own
    // device's holder and no other's, and announced opens that never come hold nobody up for long.
    const OtherProgram terminal(lines[5].SlavePath());
    ASSERT_TRUE(terminal.Started());
    const auto start = std::chrono::steady_clock::now();
    std::array<int32_t, kPorts> results{};
    {
        const CSerialPort::SharedHolderSearch search(kPorts + 3);
        onEachPort([&](size_t i) { results[i] = ports[i].Open(lines[i].SlavePath().c_str(), 9600); });
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    for (size_t i = 0; i < kPorts; ++i) {
        EXPECT_EQ(results[i], i == 5 ? kOpenFailed : kOk) << i;
        ports[i].Close();
    }
    EXPECT_EQ(ports[5].LastOpenFailure().reason, OpenReason::kHeldBy);
    EXPECT_EQ(ports[5].LastOpenFailure().pid, terminal.Pid());
}

// Any local user may put anything under a lock's name in the lock folder: what cannot be a lock
// must not keep the port from its user, and removing it must never touch anything else.
TEST_F(SerialPortTest, LockFolderEntriesThatCannotBeLocksGiveWay) {
    PrivateLockFolder folder;
    const std::string lock = UucpLockPath(pty.SlavePath());
    const std::string precious = dir.File("precious");
    ASSERT_TRUE(WriteFile(precious, "keep"));
    const std::vector<std::pair<const char*, std::function<bool()>>> planted = {
        {"empty file", [&] { return WriteFile(lock, ""); }},
        {"garbage", [&] { return WriteFile(lock, "\x01\xffnot a pid"); }},
        {"negative PID", [&] { return WriteFile(lock, "       -42\n"); }},
        {"huge PID", [&] { return WriteFile(lock, "99999999999999999999\n"); }},
        {"PID no process has", [&] { return WriteFile(lock, "2147483647\n"); }},
        {"FIFO", [&] { return mkfifo(lock.c_str(), 0644) == 0; }},
        {"directory", [&] { return mkdir(lock.c_str(), 0755) == 0; }},
        {"symbolic link", [&] { return symlink(precious.c_str(), lock.c_str()) == 0; }},
    };
    for (const auto& [what, plant] : planted) {
        ASSERT_TRUE(plant()) << what;
        ASSERT_TRUE(Age(lock)) << what;
        EXPECT_EQ(OpenPty(port), kOk) << what << ": " << DescribeOpenFailure(port.LastOpenFailure());
        EXPECT_EQ(ReadWholeFile(lock), LockText(getpid())) << what;
        port.Close();
        EXPECT_FALSE(Exists(lock)) << what;
    }
    EXPECT_EQ(ReadWholeFile(precious), "keep") << "a link's target is never touched";

    // A lock without a PID yet may be one its owner is writing this moment.
    ASSERT_TRUE(WriteFile(lock, ""));
    EXPECT_EQ(OpenPty(port), kOpenFailed);
    EXPECT_EQ(port.LastOpenFailure().reason, OpenReason::kLockedBy);
    ASSERT_TRUE(Age(lock));
    EXPECT_EQ(OpenPty(port), kOk) << "but not for ever";
    port.Close();
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{}) << "no temporary name is left behind";
}

// Our temporary lock names cannot be guessed: names planted where they used to be leave the port
// locked all the same.
TEST_F(SerialPortTest, PlantedTemporaryNamesCannotLeaveThePortUnlocked) {
    PrivateLockFolder folder;
    for (int i = 0; i < 1000; ++i) {
        const std::string name = folder.Path() + "/LTMP." + std::to_string(getpid()) + "." + std::to_string(i);
        ASSERT_EQ(symlink("/nonexistent", name.c_str()), 0);
    }
    ASSERT_EQ(OpenPty(port), kOk) << DescribeOpenFailure(port.LastOpenFailure());
    EXPECT_EQ(ReadWholeFile(UucpLockPath(pty.SlavePath())), LockText(getpid()));
}

// Short of descriptors or of file space the checks cannot all be made: the port is then not used,
// and the refusal says why; never is it used unchecked while another program holds it.
TEST_F(SerialPortTest, ShortOfResourcesThePortIsRefusedNotUsedUnchecked) {
    PrivateLockFolder folder;
    const std::string device = pty.SlavePath();
    {
        const OtherProgram plain(device);
        ASSERT_TRUE(plain.Started());
        EXPECT_EQ(InChild([&] {
                      const rlimit limit{64, 64};
                      if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
                          return 1;
                      std::vector<int> fillers;
                      for (int fd; (fd = open("/dev/null", O_RDONLY)) >= 0;)
                          fillers.push_back(fd);
                      // One descriptor more each time, from none to enough for every check.
                      for (int free = 0; free < 8 && !fillers.empty(); ++free) {
                          if (free > 0) {
                              close(fillers.back());
                              fillers.pop_back();
                          }
                          CSerialPort child;
                          if (child.Open(device.c_str(), 9600) == kOk)
                              return 10 + free;
                          const OpenReason reason = child.LastOpenFailure().reason;
                          if (reason != OpenReason::kResourceLimit && reason != OpenReason::kHeldBy)
                              return 30 + free;
                      }
                      return 0;
                  }),
                  0);
    }
    // The lock folder takes files, but ours cannot be written: no lock, no port. (In this process, as
    // a child would see this one's own descriptor of the line as another holder.)
    rlimit fileSize{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &fileSize), 0);
    const auto previousSignal = signal(SIGXFSZ, SIG_IGN);
    const rlimit noFileSpace{0, fileSize.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &noFileSpace), 0);
    const int32_t opened = OpenPty(port);
    setrlimit(RLIMIT_FSIZE, &fileSize);
    signal(SIGXFSZ, previousSignal);
    EXPECT_EQ(opened, kOpenFailed);
    EXPECT_EQ(port.LastOpenFailure().reason, OpenReason::kNoLock) << DescribeOpenFailure(port.LastOpenFailure());
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{});
}

// A user meets root's stale lock in the sticky lock folder: it cannot be removed, and the refusal
// names it and its dead PID instead of calling the port no serial line.
TEST_F(SerialPortTest, AStaleLockAUserMayNotRemoveIsReportedWithItsPid) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    PrivateLockFolder folder;
    const std::string device = pty.SlavePath();
    const std::string lock = UucpLockPath(device);
    const OtherProgram gone;
    ASSERT_TRUE(WriteUucpLock(device, gone.Pid()));
    ASSERT_EQ(chmod(device.c_str(), 0666), 0);
    EXPECT_EQ(InChild([&] {
                  if (!BecomeNobody())
                      return 1;
                  CSerialPort child;
                  if (child.Open(device.c_str(), 9600) == kOk)
                      return 2;
                  const OpenFailure& why = child.LastOpenFailure();
                  if (why.reason != OpenReason::kStaleLock)
                      return 3;
                  const std::string text = DescribeOpenFailure(why);
                  return why.pid == gone.Pid() && why.path == lock && text.find(lock) != std::string::npos &&
                                 text.find(std::to_string(gone.Pid())) != std::string::npos
                             ? 0
                             : 4;
              }),
              0);
    EXPECT_TRUE(Exists(lock));
    ASSERT_EQ(OpenPty(port), kOk) << "root removes it";
}

// What a program killed while it held the line leaves behind: the tty's exclusive flag, which
// outlives every descriptor, and a lock naming its PID, which has ended.
bool LeaveExclusiveFlagBehind(const std::string& device) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0 && ioctl(fd, TIOCEXCL) == 0 && WriteUucpLock(device, getpid()))
            raise(SIGKILL);
        _exit(1);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// Whether the device refuses a plain open, or shows its flag to root's.
bool ExclusiveFlagSet(const std::string& device) {
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY;
    int exclusive = 0;
    ioctl(fd, TIOCGEXCL, &exclusive);
    close(fd);
    return exclusive != 0;
}

// A flag no living process accounts for (no holder, no live lock) must not block the port for ever:
// root takes the port and gives it back clear; a user is told what happened and what to do.
TEST_F(SerialPortTest, AnExclusiveFlagAKilledProgramLeftIsTakenBackByRootAndExplainedToAUser) {
    PrivateLockFolder folder;
    const std::string device = pty.SlavePath();
    ASSERT_TRUE(LeaveExclusiveFlagBehind(device));
    ASSERT_TRUE(ExclusiveFlagSet(device));
    ASSERT_EQ(folder.Entries().size(), 1u);
    const auto toldAsStale = [&](const OpenFailure& why) {
        const std::string text = DescribeOpenFailure(why);
        return why.reason == OpenReason::kStaleExclusiveFlag && text.find(device) != std::string::npos &&
               text.find("as root") != std::string::npos;
    };
    if (geteuid() != 0) {
        EXPECT_EQ(OpenPty(port), kOpenFailed);
        EXPECT_TRUE(toldAsStale(port.LastOpenFailure())) << DescribeOpenFailure(port.LastOpenFailure());
        GTEST_SKIP() << "taking the port back needs root";
    }
    ASSERT_EQ(chmod(device.c_str(), 0666), 0);
    EXPECT_EQ(InChild([&] {
                  if (!BecomeNobody())
                      return 1;
                  CSerialPort user;
                  if (user.Open(device.c_str(), 9600) == kOk)
                      return 2;
                  // root's lock in the sticky folder is the killed program's too, and named
                  const OpenFailure& why = user.LastOpenFailure();
                  return toldAsStale(why) && why.detail.find("LCK..") != std::string::npos ? 0 : 3;
              }),
              0);

    OpenFailure why;
    EXPECT_TRUE(port_probe::CanOpen(device, why)) << DescribeOpenFailure(why);
    ASSERT_EQ(OpenPty(port), kOk) << DescribeOpenFailure(port.LastOpenFailure());
    ASSERT_EQ(port.Close(), kOk);
    EXPECT_FALSE(ExclusiveFlagSet(device)) << "the port is handed back clear";
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{});
}

TEST_F(SerialPortTest, LineIsRawAt9600With8N1AndHardwareFlowControl) {
    termios cooked{};
    ASSERT_EQ(tcgetattr(pty.MasterFd(), &cooked), 0);
    cooked.c_lflag |= ECHO | ICANON | ISIG;
    cooked.c_iflag |= ICRNL | IXON;
    cooked.c_oflag |= OPOST | ONLCR;
    ASSERT_EQ(tcsetattr(pty.MasterFd(), TCSANOW, &cooked), 0);

    ASSERT_EQ(OpenPty(port), kOk);
    termios line{};
    ASSERT_EQ(tcgetattr(pty.MasterFd(), &line), 0);
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetispeed(&line), static_cast<speed_t>(B9600));
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(line.c_cflag & (CRTSCTS | CLOCAL | CREAD), static_cast<tcflag_t>(CRTSCTS | CLOCAL | CREAD));
    EXPECT_EQ(line.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(line.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
}

TEST_F(SerialPortTest, EveryByteValuePassesUnchangedBothWays) {
    ASSERT_EQ(OpenPty(port), kOk);
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);

    ASSERT_EQ(port.Write(static_cast<uint32_t>(all.size()), all.data()), kOk);
    EXPECT_EQ(pty.ReadFromPort(all.size()), all);

    ASSERT_TRUE(pty.SendToPort(all));
    uint32_t count = 0;
    EXPECT_EQ(port.ReadAvailable(count, CSerialPort::kBufferSize), 1);
    ASSERT_EQ(count, all.size());
    EXPECT_EQ(std::string(port.ReceiveBuffer(), count), all);
}

TEST_F(SerialPortTest, ReplyTextIsOnlyWhatThisReadTook) {
    EXPECT_EQ(port.ReadReplyText(), "0") << "a closed port reads nothing";
    EXPECT_EQ(port.BytesRead(), 0u);
    ASSERT_EQ(OpenPty(port), kOk);

    EXPECT_EQ(port.ReadReplyText(), "0");
    EXPECT_EQ(port.BytesRead(), 0u);

    ASSERT_TRUE(pty.SendToPort("+BNAME=LONG NAME\r\n"));
    EXPECT_EQ(port.ReadReplyText(), "+BNAME=LONG NAME\r\n");
    ASSERT_TRUE(pty.SendToPort("OK"));
    EXPECT_EQ(port.ReadReplyText(), "OK") << "no tail of the earlier, longer reply";

    ASSERT_TRUE(pty.SendToPort(std::string("AB\0CD", 5)));
    EXPECT_EQ(port.ReadReplyText(), "AB") << "a zero byte ends the text";
    EXPECT_EQ(port.BytesRead(), 5u);
    EXPECT_EQ(port.ReadReplyText(), "0");
}

TEST_F(SerialPortTest, MoreThanABufferIsTakenInTwoReads) {
    ASSERT_EQ(OpenPty(port), kOk);
    std::string flood(3000, 'x');
    for (size_t i = 0; i < flood.size(); ++i)
        flood[i] = static_cast<char>('A' + i % 26);
    ASSERT_TRUE(pty.SendToPort(flood));

    const std::string first = port.ReadReplyText();
    EXPECT_EQ(first, flood.substr(0, CSerialPort::kBufferSize));
    EXPECT_EQ(port.ReadReplyText(), flood.substr(CSerialPort::kBufferSize));
    EXPECT_EQ(port.ReadReplyText(), "0");

    uint32_t count = 99;
    ASSERT_TRUE(pty.SendToPort("abcdef"));
    port.ReadAvailable(count, 4);
    EXPECT_EQ(count, 4u) << "never more than asked for";
    port.ReadAvailable(count, 2);

    ASSERT_TRUE(pty.SendToPort(flood));
    port.ReadAvailable(count, 4 * CSerialPort::kBufferSize);
    EXPECT_EQ(count, CSerialPort::kBufferSize) << "never more than the buffer holds";
}

TEST_F(SerialPortTest, WritesNeedAnOpenPortAndData) {
    EXPECT_EQ(port.Write(3, "abc"), kWrongState);
    ASSERT_EQ(OpenPty(port), kOk);
    EXPECT_EQ(port.Write(3, nullptr), kWrongState);
    EXPECT_EQ(port.Write(0, ""), kOk);
    EXPECT_EQ(pty.Drain(), "") << "nothing reaches the line from a refused write";
}

TEST_F(SerialPortTest, WriteTheFarEndNeverTakesGivesUpWithinTheBound) {
    ASSERT_EQ(OpenPty(port), kOk);
    const std::string block(CSerialPort::kBufferSize, 'x');
    using Clock = std::chrono::steady_clock;
    int32_t result = kOk;
    Clock::duration lastWrite{};
    for (int i = 0; i < 1000 && result == kOk; ++i) {
        const auto start = Clock::now();
        result = port.Write(static_cast<uint32_t>(block.size()), block.data());
        lastWrite = Clock::now() - start;
    }
    EXPECT_EQ(result, kWriteFailed);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(lastWrite).count();
    EXPECT_GE(ms, CSerialPort::kWriteBoundMs - 50);
    EXPECT_LT(ms, CSerialPort::kWriteBoundMs + 1000);

    // Once the far end reads again, the line works as before.
    while (!pty.ReadFromPort(0, 0, 100).empty()) {
    }
    EXPECT_EQ(port.Write(2, "OK"), kOk);
    EXPECT_EQ(pty.ReadFromPort(2), "OK");
}

TEST_F(SerialPortTest, AWriteThatGivesUpLosesNoEarlierByteAndCutsNoCommand) {
    ASSERT_EQ(OpenPty(port), kOk);
    std::string sent; // every command whose write reported success
    int32_t result = kOk;
    for (int i = 0; i < 5000 && result == kOk; ++i) {
        const std::string command = "AT+BNAME=NEVER-READ-" + std::to_string(i) + "\r\n";
        result = port.Write(static_cast<uint32_t>(command.size()), command.data());
        if (result == kOk)
            sent += command;
    }
    ASSERT_EQ(result, kWriteFailed) << "the far end never reads";

    std::string received;
    for (std::string part; !(part = pty.ReadFromPort(0, 0, 100)).empty();)
        received += part;
    EXPECT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent) << "the far end gets exactly the commands reported sent, whole";

    const std::string next = "AT+BNAME?\r\n";
    ASSERT_EQ(port.Write(static_cast<uint32_t>(next.size()), next.data()), kOk);
    EXPECT_EQ(pty.ReadFromPort(next.size()), next) << "the next command arrives on its own";
}

TEST_F(SerialPortTest, DestructionClosesThePortAndItsLog) {
    {
        CSerialPort scoped;
        ASSERT_EQ(OpenPty(scoped), kOk);
        ASSERT_EQ(scoped.Write(2, "AT"), kOk);
    }
    EXPECT_EQ(OpenPty(port), kOk) << "the device is free again";
    EXPECT_EQ(port.Close(), kOk);
}

TEST_F(SerialPortTest, ComNamesOpenThroughTheDeviceDirectory) {
    TempDir devices(false);
    ASSERT_EQ(symlink(pty.SlavePath().c_str(), devices.File("ttyUSB0").c_str()), 0);
    const std::string previous = port_names::DeviceDirectory();
    port_names::SetDeviceDirectory(devices.Path());
    EXPECT_EQ(port.Open("com34", 9600), kOpenFailed);
    EXPECT_EQ(port.Open("com33", 9600), kOk);
    port_names::SetDeviceDirectory(previous);
    ASSERT_EQ(port.Write(2, "hi"), kOk);
    EXPECT_EQ(pty.ReadFromPort(2), "hi");
}

} // namespace
