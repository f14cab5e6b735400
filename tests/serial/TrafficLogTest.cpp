// The traffic log as a user finds it: "TxRx.log" in the current directory and the monitor's datagrams.
#include "MonitorPath.h"
#include "PseudoTerminal.h"
#include "SerialPort.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using namespace serial_result;

namespace {

const std::string kQuery = "AT+BNAME?\r\n";
const std::string kQueryLine = "41 54 2B 42 4E 41 4D 45 3F 0D 0A " + std::string(18, ' ') + "AT+BNAME?..";

class TrafficLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.IsOpen());
        ASSERT_EQ(port.Open(pty.SlavePath().c_str(), 9600), kOk);
        ASSERT_TRUE(port.IsLogging());
    }

    void Send(const std::string& bytes) {
        ASSERT_EQ(port.Write(static_cast<uint32_t>(bytes.size()), bytes.data()), kOk);
    }

    std::string Log() const { return ReadWholeFile(dir.File("TxRx.log")); }

    TempDir dir;
    PseudoTerminal pty;
    CSerialPort port;
};

TEST_F(TrafficLogTest, OneCommandLeftPendingIsDumpedWhenTheLogEnds) {
    Send(kQuery);
    EXPECT_EQ(Log(), "\nWritten:\n") << "an unfinished line waits for more bytes";
    ASSERT_EQ(port.Close(), kOk);
    EXPECT_EQ(Log(), "\nWritten:\n" + kQueryLine + "\n");
    EXPECT_EQ(kQueryLine.size(), 62u);
}

TEST_F(TrafficLogTest, LinesCoverSixteenBytesWhereverCommandsEnd) {
    Send("0123456789ABCDEF");
    const std::string full = "30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46    0123456789ABCDEF\n";
    EXPECT_EQ(Log(), "\nWritten:\n" + full) << "a full line is written at once";

    Send(kQuery);
    Send("OK\r\n\x7f");
    Send("\x80\xff \x01");
    ASSERT_EQ(port.Close(), kOk);
    EXPECT_EQ(Log(), "\nWritten:\n" + full +
                         "41 54 2B 42 4E 41 4D 45 3F 0D 0A 4F 4B 0D 0A 7F    AT+BNAME?..OK...\n"
                         "80 FF 20 01 " +
                         std::string(12 * 3, ' ') + "   .. .\n");
}

TEST_F(TrafficLogTest, ExactlySixteenBytesLeaveNothingForTheEnd) {
    Send("0123456789ABCDEF");
    const std::string before = Log();
    ASSERT_EQ(port.Close(), kOk);
    EXPECT_EQ(Log(), before);
}

TEST_F(TrafficLogTest, ConnectionsThatWriteNothingLeaveAnEmptyFileAndEachOpenStartsAfresh) {
    Send(kQuery);
    ASSERT_EQ(port.Close(), kOk);
    ASSERT_EQ(port.Open(pty.SlavePath().c_str(), 9600), kOk);
    EXPECT_EQ(Log(), "");
    ASSERT_EQ(port.Close(), kOk);
    EXPECT_EQ(Log(), "");

    ASSERT_EQ(port.Open(pty.SlavePath().c_str(), 9600), kOk);
    Send("");
    ASSERT_EQ(port.Close(), kOk);
    EXPECT_EQ(Log(), "\nWritten:\n") << "an empty block still starts the dump";
}

TEST_F(TrafficLogTest, ChangingDirectionFlushesAndStartsANewSection) {
    Send("AT");
    const char reply[] = "OK";
    EXPECT_EQ(port.RecordTraffic(CSerialPort::kDirectionRead, 2, reply), kOk);
    Send("A");
    ASSERT_EQ(port.Close(), kOk);
    const std::string pad14 = std::string(14 * 3 + 3, ' ');
    const std::string pad15 = std::string(15 * 3 + 3, ' ');
    EXPECT_EQ(Log(), "\nWritten:\n41 54 " + pad14 + "AT\n" + "\nRead:\n4F 4B " + pad14 + "OK\n" +
                         "\nWritten:\n41 " + pad15 + "A\n");
}

TEST_F(TrafficLogTest, ASecondCopyRunsWithoutALogAndLeavesTheFirstOneAlone) {
    Send("0123456789ABCDEF");
    const std::string firstLog = Log();

    PseudoTerminal otherLine;
    CSerialPort other;
    EXPECT_EQ(other.OpenLog("TxRx.log"), kLogNotCreated);
    ASSERT_EQ(other.Open(otherLine.SlavePath().c_str(), 9600), kOk);
    EXPECT_FALSE(other.IsLogging());
    EXPECT_EQ(other.Write(2, "OK"), kOk) << "the port works without a log";
    EXPECT_EQ(otherLine.ReadFromPort(2), "OK");
    EXPECT_EQ(other.Close(), kOk);

    EXPECT_EQ(Log(), firstLog) << "the file of the copy that holds it is neither emptied nor written";
}

TEST_F(TrafficLogTest, TheLogIsPrivateToItsUser) {
    ASSERT_EQ(port.Close(), kOk);
    ASSERT_EQ(chmod(dir.File("TxRx.log").c_str(), 0644), 0);
    ASSERT_EQ(port.Open(pty.SlavePath().c_str(), 9600), kOk);
    struct stat st {};
    ASSERT_EQ(stat(dir.File("TxRx.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the dump holds the PIN";
}

// Caps the size of files this process writes, with SIGXFSZ ignored so that an oversize write fails
// like any other; both are restored afterwards.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_previous);
        rlimit capped = m_previous;
        capped.rlim_cur = bytes;
        m_set = setrlimit(RLIMIT_FSIZE, &capped) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_handler);
    }
    bool IsSet() const { return m_set; }

private:
    rlimit m_previous{};
    void (*m_handler)(int) = SIG_DFL;
    bool m_set = false;
};

TEST(TrafficLogFailures, AFailingLogFileIsReportedButTheBytesStillGoOut) {
    TempDir dir;
    PseudoTerminal pty;
    CSerialPort port;
    ASSERT_EQ(port.Open(pty.SlavePath().c_str(), 9600), kOk);
    int32_t written;
    int32_t closed;
    {
        const FileSizeLimit full(0); // the file takes no byte at all
        ASSERT_TRUE(full.IsSet());
        written = port.Write(2, "AT");
        closed = port.Close();
    }
    EXPECT_EQ(written, kLogWriteFailed);
    EXPECT_EQ(pty.ReadFromPort(2), "AT");
    EXPECT_EQ(closed, kOk) << "ending a log whose last line cannot be written still ends it";
    EXPECT_FALSE(port.IsLogging());
}

TEST(TrafficLogFailures, RecordingEndsWhenDumpLinesCannotBeWritten) {
    TempDir dir;
    CSerialPort port;
    ASSERT_EQ(port.OpenLog("TxRx.log"), kOk);
    ASSERT_EQ(port.RecordTraffic(0, 3, "abc"), kOk);
    ASSERT_EQ(ReadWholeFile("TxRx.log"), "\nWritten:\n");

    int32_t recorded;
    int32_t flushed;
    int32_t closed;
    {
        const FileSizeLimit capped(10); // from here on the file takes no more bytes
        ASSERT_TRUE(capped.IsSet());
        const std::string block(100, 'x');
        recorded = port.RecordTraffic(0, static_cast<uint32_t>(block.size()), block.data());
        flushed = port.FlushLine();
        closed = port.CloseLog();
    }
    EXPECT_EQ(recorded, kOk) << "lost dump lines are not the write's failure";
    EXPECT_EQ(flushed, kLogWriteFailed);
    EXPECT_EQ(closed, kOk);
    EXPECT_EQ(ReadWholeFile("TxRx.log"), "\nWritten:\n");
}

// Whatever "TxRx.log" turns out to be when it is no file of this user's own, the port works without
// a log and the thing is neither emptied, written, created through nor changed in its mode.
TEST(TrafficLogFailures, ALogNameThatIsNoFileOfOurOwnIsLeftUntouched) {
    TempDir dir;
    PseudoTerminal pty;
    const std::string precious = "precious";
    const auto expectNoLog = [&](const char* what) {
        CSerialPort port;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(port.Open(pty.SlavePath().c_str(), 9600), kOk) << what;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500))
            << what << ": the open must not wait";
        EXPECT_FALSE(port.IsLogging()) << what;
        EXPECT_EQ(port.Write(static_cast<uint32_t>(kQuery.size()), kQuery.data()), kOk) << what;
        EXPECT_EQ(pty.ReadFromPort(kQuery.size()), kQuery) << what;
        EXPECT_EQ(port.Close(), kOk) << what;
    };
    const auto expectVictimIntact = [&](const std::string& victim, const char* what) {
        EXPECT_EQ(ReadWholeFile(victim), precious) << what;
        struct stat st {};
        ASSERT_EQ(stat(victim.c_str(), &st), 0) << what;
        EXPECT_EQ(st.st_mode & 0777, 0644u) << what;
    };

    TempDir elsewhere(false);
    const std::string victim = elsewhere.File("victim");
    { std::ofstream(victim) << precious; }
    ASSERT_EQ(chmod(victim.c_str(), 0644), 0);

    ASSERT_EQ(symlink(victim.c_str(), "TxRx.log"), 0);
    expectNoLog("a link to another file");
    expectVictimIntact(victim, "a link to another file");
    ASSERT_EQ(unlink("TxRx.log"), 0);

    const std::string planted = elsewhere.File("planted");
    ASSERT_EQ(symlink(planted.c_str(), "TxRx.log"), 0);
    expectNoLog("a dangling link");
    struct stat st {};
    EXPECT_NE(lstat(planted.c_str(), &st), 0) << "nothing is created where the link points";
    ASSERT_EQ(unlink("TxRx.log"), 0);

    ASSERT_EQ(link(victim.c_str(), "TxRx.log"), 0);
    expectNoLog("a second name of another file");
    expectVictimIntact(victim, "a second name of another file");
    ASSERT_EQ(unlink("TxRx.log"), 0);

    ASSERT_EQ(mkfifo("TxRx.log", 0600), 0);
    expectNoLog("a FIFO nobody reads");
    {
        const int reader = open("TxRx.log", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0);
        expectNoLog("a FIFO somebody reads");
        char buffer[64];
        EXPECT_LE(read(reader, buffer, sizeof buffer), 0) << "nothing is written into it";
        close(reader);
    }
    ASSERT_EQ(unlink("TxRx.log"), 0);

    // Another user's file, open to everyone: it must not receive the PIN.
    { std::ofstream("TxRx.log") << precious; }
    ASSERT_EQ(chmod("TxRx.log", 0666), 0);
    if (chown("TxRx.log", 65534, 65534) != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    expectNoLog("another user's file");
    ASSERT_EQ(stat("TxRx.log", &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
    EXPECT_EQ(ReadWholeFile("TxRx.log"), precious);
}

// A stand-in for the monitor program: the datagram socket it listens on.
class MonitorEndpoint {
public:
    explicit MonitorEndpoint(const std::string& path) : m_path(path) {
        m_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    ~MonitorEndpoint() {
        if (m_fd >= 0)
            close(m_fd);
        unlink(m_path.c_str());
    }
    bool IsOpen() const { return m_fd >= 0; }
    std::vector<std::string> Messages() {
        std::vector<std::string> messages;
        char buffer[256];
        pollfd p{m_fd, POLLIN, 0};
        while (poll(&p, 1, 50) > 0) {
            const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
            if (n < 0)
                break;
            messages.emplace_back(buffer, static_cast<size_t>(n));
        }
        return messages;
    }

private:
    std::string m_path;
    int m_fd = -1;
};

class MonitorMirrorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(chmod(runtime.Path().c_str(), 0700), 0);
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        m_previous = old ? old : "";
        setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    }
    void TearDown() override {
        if (m_previous.empty())
            unsetenv("XDG_RUNTIME_DIR");
        else
            setenv("XDG_RUNTIME_DIR", m_previous.c_str(), 1);
    }

    TempDir dir;
    TempDir runtime{false};
    PseudoTerminal pty;

private:
    std::string m_previous;
};

TEST_F(MonitorMirrorTest, EachPieceOfTheDumpIsOneMessage) {
    MonitorEndpoint monitor(monitor_path::SocketPath());
    ASSERT_TRUE(monitor.IsOpen());
    CSerialPort port;
    ASSERT_EQ(port.Open(pty.SlavePath().c_str(), 9600), kOk);
    EXPECT_TRUE(port.HasMonitor());
    ASSERT_EQ(port.Write(static_cast<uint32_t>(kQuery.size()), kQuery.data()), kOk);
    ASSERT_EQ(port.Close(), kOk);

    const std::vector<std::string> expected = {"\n", "Written:", kQueryLine};
    EXPECT_EQ(monitor.Messages(), expected) << "line feeds after the header and dump lines are file-only";
    EXPECT_TRUE(port.HasMonitor()) << "the monitor is kept across connections";
}

TEST_F(MonitorMirrorTest, AMonitorStartedLaterIsFoundAtTheNextConnection) {
    CSerialPort port;
    ASSERT_EQ(port.Open(pty.SlavePath().c_str(), 9600), kOk);
    EXPECT_FALSE(port.HasMonitor());
    ASSERT_EQ(port.Write(2, "AT"), kOk) << "no monitor is no error";
    ASSERT_EQ(port.Close(), kOk);
    EXPECT_EQ(ReadWholeFile(dir.File("TxRx.log")), "\nWritten:\n41 54 " + std::string(45, ' ') + "AT\n");

    MonitorEndpoint monitor(monitor_path::SocketPath());
    ASSERT_EQ(port.Open(pty.SlavePath().c_str(), 9600), kOk);
    EXPECT_TRUE(port.HasMonitor());
}

TEST_F(MonitorMirrorTest, AnEndpointInADirectoryOthersCanReachIsNotTrusted) {
    ASSERT_EQ(chmod(runtime.Path().c_str(), 0755), 0);
    MonitorEndpoint monitor(monitor_path::SocketPath());
    ASSERT_TRUE(monitor.IsOpen());
    CSerialPort port;
    ASSERT_EQ(port.Open(pty.SlavePath().c_str(), 9600), kOk);
    EXPECT_FALSE(port.HasMonitor()) << "the dump carries the PIN";
}

} // namespace
