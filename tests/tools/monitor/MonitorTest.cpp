// The monitor against the real traffic log: a port on a pseudo-terminal writes, the endpoint (in
// this process, or the zk405-monitor program) receives one message per piece of the dump.
#include "ChildProcess.h"
#include "MonitorEndpoint.h"
#include "MonitorFormat.h"
#include "MonitorPath.h"
#include "PseudoTerminal.h"
#include "SerialPort.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

// 20 bytes: one full dump line and four left pending until the log ends.
const std::string kCommands = "AT+BNAME?\r\nAT+BPIN=\xA3\r\n";
const std::string kFullLine = "41 54 2B 42 4E 41 4D 45 3F 0D 0A 41 54 2B 42 50    AT+BNAME?..AT+BP";
const std::string kLastLine = "49 4E 3D A3 " + std::string(12 * 3, ' ') + "   IN=.";

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A runtime directory that does not exist yet: the monitor makes it, private.
        setenv("XDG_RUNTIME_DIR", m_dir.File("run").c_str(), 1);
        ASSERT_TRUE(m_pty.IsOpen());
    }

    // Opens, writes the two commands in two writes, closes: the traffic of one connection.
    void RunConnection() {
        CSerialPort port;
        ASSERT_EQ(port.Open(m_pty.SlavePath().c_str(), 9600), 0);
        ASSERT_EQ(port.Write(11, kCommands.data()), 0);
        ASSERT_EQ(port.Write(9, kCommands.data() + 11), 0);
        ASSERT_EQ(port.Close(), 0);
    }

    std::vector<std::string> ReceiveAll(CMonitorEndpoint& endpoint) {
        std::vector<std::string> messages;
        std::string message;
        while (endpoint.Receive(message, 100) == CMonitorEndpoint::Receipt::kMessage)
            messages.push_back(message);
        return messages;
    }

    TempDir m_dir;
    PseudoTerminal m_pty;
};

TEST_F(MonitorTest, ReceivesOneMessagePerPieceOfTheDump) {
    CMonitorEndpoint endpoint;
    std::string error;
    ASSERT_TRUE(endpoint.Create(error)) << error;
    EXPECT_EQ(endpoint.Name(), monitor_path::SocketPath());
    RunConnection();
    EXPECT_EQ(ReceiveAll(endpoint), (std::vector<std::string>{"\n", "Written:", kFullLine, kLastLine}));

    // Printed plainly, the messages are the log file itself.
    std::string printed;
    for (const std::string& message : {std::string("\n"), std::string("Written:"), kFullLine, kLastLine})
        printed += FormatMessage(message, false);
    EXPECT_EQ(printed, ReadWholeFile(m_dir.File("TxRx.log")));
}

// Several ports at once: each message carries its port's tag, and the monitor shows it per line.
TEST_F(MonitorTest, TaggedPortsAreToldApartAndAnUntaggedPortSendsTheLogsBytes) {
    CMonitorEndpoint endpoint;
    std::string error;
    ASSERT_TRUE(endpoint.Create(error)) << error;
    PseudoTerminal other;
    CSerialPort first;
    CSerialPort second;
    first.SetLogFileName("TxRx-a.log");
    second.SetLogFileName("TxRx-b.log");
    first.SetMonitorTag("com5");
    second.SetMonitorTag("/dev/pts/9\x02\n"); // the frame's bytes cannot come from a name
    ASSERT_EQ(first.Open(m_pty.SlavePath().c_str(), 9600), 0);
    ASSERT_EQ(second.Open(other.SlavePath().c_str(), 9600), 0);
    ASSERT_EQ(first.Write(4, "AT\r\n"), 0);
    ASSERT_EQ(second.Write(4, "AT\r\n"), 0);
    first.Close();
    second.Close();
    const std::string line = "41 54 0D 0A " + std::string(36, ' ') + "   AT..";
    const auto tagged = [](const std::string& tag, const std::string& piece) { return "\x01" + tag + "\x02" + piece; };
    EXPECT_EQ(ReceiveAll(endpoint), (std::vector<std::string>{
                                        tagged("com5", "\n"), tagged("com5", "Written:"), tagged("/dev/pts/9", "\n"),
                                        tagged("/dev/pts/9", "Written:"), tagged("com5", line),
                                        tagged("/dev/pts/9", line)}));
    EXPECT_EQ(FormatMessage(tagged("com5", "Written:"), false), "[com5] Written:\n");
    EXPECT_EQ(FormatMessage(tagged("com5", line), false), "[com5] " + line + "\n");
    EXPECT_EQ(FormatMessage(tagged("com5", "\n"), false), "\n");
    EXPECT_EQ(FormatMessage(tagged("com5", "\n"), true), "7 \\x01com5\\x02\\n\n");
    EXPECT_EQ(FormatMessage(tagged("\x1B[2J", "x"), false), "[\\x1B[2J] x\n");

    // A tag cleared again leaves the mirror exactly the log's pieces.
    first.SetMonitorTag("");
    ASSERT_EQ(first.Open(m_pty.SlavePath().c_str(), 9600), 0);
    ASSERT_EQ(first.Write(20, kCommands.data()), 0);
    first.Close();
    EXPECT_EQ(ReceiveAll(endpoint), (std::vector<std::string>{"\n", "Written:", kFullLine, kLastLine}));
}

TEST_F(MonitorTest, RawFormatShowsLengthAndEscapedBytes) {
    EXPECT_EQ(FormatMessage("\n", true), "1 \\n\n");
    EXPECT_EQ(FormatMessage("Written:", true), "8 Written:\n");
    EXPECT_EQ(FormatMessage("", true), "0 \n");
    EXPECT_EQ(FormatMessage("", false), "\n");
}

TEST_F(MonitorTest, EndpointRemovesItsSocketAndReplacesADeadOnesButNotALiveOne) {
    std::string error;
    {
        CMonitorEndpoint first;
        ASSERT_TRUE(first.Create(error)) << error;
        struct stat st {};
        ASSERT_EQ(stat(monitor_path::Directory().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        CMonitorEndpoint second;
        EXPECT_FALSE(second.Create(error));
        EXPECT_NE(error.find("another monitor"), std::string::npos) << error;
    }
    EXPECT_FALSE(WaitForPath(monitor_path::SocketPath(), 0));

    // A socket file left by a monitor that was killed.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, monitor_path::SocketPath().c_str());
    const int stale = socket(AF_UNIX, SOCK_DGRAM, 0);
    ASSERT_EQ(bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    close(stale);
    CMonitorEndpoint revived;
    ASSERT_TRUE(revived.Create(error)) << error;
    RunConnection();
    EXPECT_EQ(ReceiveAll(revived).size(), 4u);
}

TEST_F(MonitorTest, RefusesAnOpenDirectoryAndLeavesOtherFilesAlone) {
    std::string error;
    CMonitorEndpoint endpoint;
    ASSERT_EQ(mkdir(monitor_path::Directory().c_str(), 0755), 0);
    chmod(monitor_path::Directory().c_str(), 0755);
    EXPECT_FALSE(endpoint.Create(error));

    chmod(monitor_path::Directory().c_str(), 0700);
    std::ofstream(monitor_path::SocketPath()) << "notes";
    EXPECT_FALSE(endpoint.Create(error));
    EXPECT_EQ(ReadWholeFile(monitor_path::SocketPath()), "notes");
}

TEST_F(MonitorTest, ProgramPrintsTheLogAsItComesAndStopsCleanly) {
    ChildProcess monitor({ZK405_MONITOR_PROGRAM, "--count", "4"});
    ASSERT_TRUE(monitor.Started());
    ASSERT_TRUE(WaitForPath(monitor_path::SocketPath()));
    RunConnection();
    EXPECT_EQ(monitor.ReadToEnd(), ReadWholeFile(m_dir.File("TxRx.log")));
    EXPECT_EQ(monitor.Wait(), 0);
    EXPECT_FALSE(WaitForPath(monitor_path::SocketPath(), 0));

    ChildProcess raw({ZK405_MONITOR_PROGRAM, "--raw"});
    ASSERT_TRUE(WaitForPath(monitor_path::SocketPath()));
    RunConnection();
    EXPECT_EQ(raw.ReadLine(), "1 \\n");
    EXPECT_EQ(raw.ReadLine(), "8 Written:");
    EXPECT_EQ(raw.ReadLine(), "67 " + kFullLine);
    EXPECT_EQ(raw.ReadLine(), "55 49 4E 3D A3 " + std::string(36, ' ') + "   IN=.");
    ASSERT_TRUE(raw.Signal(SIGTERM));
    EXPECT_EQ(raw.Wait(), 0);
    EXPECT_FALSE(WaitForPath(monitor_path::SocketPath(), 0));
}

} // namespace
