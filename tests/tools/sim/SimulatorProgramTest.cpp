// zk405-sim as the tool meets it: a program whose first output line is the port to open. The waits
// here are short real ones, enough for a module that answers at once.
#include "AllFourTicked.h"
#include "ChildProcess.h"
#include "ModuleCommands.h"
#include "TempDir.h"
#include "Transcript.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr uint32_t kShortWaitMs = 150;

// Sends the command over the socket and gathers the reply until its final "OK" line or 2 s.
std::string ExchangeOverSocket(int fd, const std::string& command) {
    if (send(fd, command.data(), command.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(command.size()))
        return "";
    std::string reply;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (reply.find("OK\r\n") == std::string::npos && std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        char buffer[256];
        if (poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        reply.append(buffer, static_cast<size_t>(n));
    }
    return reply;
}

class SimulatorProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
        m_link.port = &m_port;
        m_link.wait = [](uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(kShortWaitMs)); };
    }

    std::vector<std::string> Args(std::vector<std::string> options) const {
        options.insert(options.begin(), ZK405_SIM_PROGRAM);
        return options;
    }

    TempDir m_dir;
    CSerialPort m_port;
    module_commands::CommandLink m_link;
};

TEST_F(SimulatorProgramTest, ServesThePortThroughALinkAcrossReopensAndCleansUp) {
    const std::string linkPath = m_dir.File("zk405");
    ChildProcess sim(Args({"--link", linkPath, "--name", "Łódź 1"}));
    const std::string slave = sim.ReadLine();
    ASSERT_EQ(slave.rfind("/dev/", 0), 0u) << slave;
    char target[256] = {};
    ASSERT_GT(readlink(linkPath.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(slave, target);

    for (int connection = 0; connection < 2; ++connection) {
        ASSERT_EQ(m_port.Open(linkPath.c_str(), 9600), 0);
        std::string name;
        EXPECT_TRUE(QueryModuleName(name, m_link));
        EXPECT_EQ(name, "\xA3\xF3\x64\x9F 1");
        ASSERT_EQ(m_port.Close(), 0);
    }

    ASSERT_TRUE(sim.Signal(SIGINT));
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(WaitForPath(linkPath, 0));
}

TEST_F(SimulatorProgramTest, RefusesToStartOverAFileOrWithBadOptions) {
    const std::string notALink = m_dir.File("notes");
    std::ofstream(notALink) << "keep";
    ChildProcess blocked(Args({"--link", notALink}));
    EXPECT_EQ(blocked.Wait(), 2);
    EXPECT_EQ(blocked.ReadToEnd(), "");
    EXPECT_EQ(ReadWholeFile(notALink), "keep");

    // The reason given is the refusal's own, not whatever an earlier call left in errno.
    const auto saidOnStderr = [](const std::vector<std::string>& options) {
        std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", ZK405_SIM_PROGRAM};
        argv.insert(argv.end(), options.begin(), options.end());
        ChildProcess sim(argv);
        EXPECT_EQ(sim.Wait(), 2);
        return sim.ReadToEnd();
    };
    EXPECT_EQ(saidOnStderr({"--link", notALink}),
              "zk405-sim: " + notALink + " exists and is no symbolic link; left alone: File exists\n");
    const std::string longPath = m_dir.File(std::string(120, 's'));
    EXPECT_EQ(saidOnStderr({"--unix", longPath}),
              "zk405-sim: the socket path is too long: " + longPath + ": File name too long\n");

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--late-ms", "soon"}, std::vector<std::string>{"--flood"},
          std::vector<std::string>{"--whisper"}}) {
        ChildProcess refused(Args(bad));
        EXPECT_EQ(refused.Wait(), 1);
    }
}

TEST_F(SimulatorProgramTest, ServesASocketItIsGivenOrConnectsToAndStopsWhenTheFarEndClosesIt) {
    // An inherited socket (--fd): the far end of a Bluetooth link as bluetoothd hands it over.
    int pair[2];
    // Only the module's end is handed on: the test's end staying open in it would hide the close.
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    ASSERT_EQ(fcntl(pair[1], F_SETFD, 0), 0);
    ChildProcess inherited(Args({"--fd", std::to_string(pair[1]), "--name", "Kasa", "--transcript", m_dir.File("fd")}));
    close(pair[1]);
    EXPECT_EQ(ExchangeOverSocket(pair[0], "AT+BNAME=Nowa\r\n"), "OK\r\n");
    EXPECT_EQ(ExchangeOverSocket(pair[0], "AT+BNAME?\r\n"), "+BNAME=Nowa\r\nOK\r\n");
    close(pair[0]);
    EXPECT_EQ(inherited.Wait(), 0);
    EXPECT_EQ(inherited.ReadToEnd(), ""); // no port to name
    EXPECT_EQ(Commands(ReadTranscript(m_dir.File("fd"))), (std::vector<std::string>{"AT+BNAME=Nowa", "AT+BNAME?"}));

    // A Unix socket it connects to (--unix).
    const std::string path = m_dir.File("module.sock");
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    ChildProcess connecting(Args({"--unix", path}));
    const int connection = accept(listener, nullptr, nullptr);
    ASSERT_GE(connection, 0);
    EXPECT_EQ(ExchangeOverSocket(connection, "AT+BNAME?\r\n"), "+BNAME=ZK405\r\nOK\r\n");
    close(connection);
    close(listener);
    EXPECT_EQ(connecting.Wait(), 0);

    // One module per socket, and only a socket that is there.
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--fd", "0", "--count", "2"}, std::vector<std::string>{"--fd", "0", "--unix", path},
          std::vector<std::string>{"--fd", "987"}}) {
        ChildProcess refused(Args(bad));
        EXPECT_EQ(refused.Wait(), 1) << bad[0] << " " << bad[1] << " " << bad[2];
    }
    ChildProcess nobodyListens(Args({"--unix", m_dir.File("nothing.sock")}));
    EXPECT_EQ(nobodyListens.Wait(), 2);
}

TEST_F(SimulatorProgramTest, TranscriptRecordsEveryCommandAndTheModuleRemembersThem) {
    const std::string transcript = m_dir.File("transcript.txt");
    ChildProcess sim(Args({"--transcript", transcript}));
    const std::string slave = sim.ReadLine();
    ASSERT_EQ(m_port.Open(slave.c_str(), 9600), 0);

    const MODULE_SETTINGS settings = AllFourTicked("Nowa\\\xA3", "9876", "xon/xoff", 0);
    ProgramModule(settings, m_link);
    std::string name;
    EXPECT_TRUE(QueryModuleName(name, m_link));
    EXPECT_EQ(name, settings.name);

    const std::vector<TranscriptLine> lines = ReadTranscript(transcript);
    EXPECT_EQ(Commands(lines), (std::vector<std::string>{"AT+BNAME=Nowa\\\xA3", "AT+BPIN=9876",
                                                         "AT+BFLOW=", "AT+BSEC=1", "AT+BNAME?"}));
    // The spacing itself is the slow tests' matter: on a loaded machine the module's wake-ups vary.
    for (size_t i = 1; i < lines.size(); ++i)
        EXPECT_GT(lines[i].ms, lines[i - 1].ms);
    EXPECT_GE(lines.front().ms, 0);
}

TEST_F(SimulatorProgramTest, KeepsServingWhenTheTranscriptReachesAFileSizeLimit) {
    const std::string transcript = m_dir.File("transcript.txt");
    ChildProcess sim({"/usr/bin/prlimit", "--fsize=64", ZK405_SIM_PROGRAM, "--transcript", transcript});
    const std::string slave = sim.ReadLine();
    ASSERT_EQ(m_port.Open(slave.c_str(), 9600), 0);

    MODULE_SETTINGS settings;
    settings.setName = settings.setPin = 1;
    settings.name = "Nazwa po limicie pliku";
    settings.pin = "98765";
    ProgramModule(settings, m_link);
    std::string name;
    EXPECT_TRUE(QueryModuleName(name, m_link)) << "the module still answers";
    EXPECT_EQ(name, settings.name);
    EXPECT_LE(ReadWholeFile(transcript).size(), 64u);

    ASSERT_TRUE(sim.Signal(SIGINT));
    EXPECT_EQ(sim.Wait(), 0) << "not ended by SIGXFSZ (153)";
}

TEST_F(SimulatorProgramTest, QuirksReachTheTool) {
    {
        // More than one read can take: the name comes with the second attempt.
        ChildProcess sim(Args({"--echo", "--flood", "3000", "--name", "Kaldor"}));
        ASSERT_EQ(m_port.Open(sim.ReadLine().c_str(), 9600), 0);
        std::string name;
        EXPECT_TRUE(QueryModuleName(name, m_link));
        EXPECT_EQ(name, "Kaldor");
        ASSERT_EQ(m_port.Close(), 0);
    }
    {
        ChildProcess sim(Args({"--no-cr", "--name", "Kaldor"}));
        ASSERT_EQ(m_port.Open(sim.ReadLine().c_str(), 9600), 0);
        std::string name = "before";
        EXPECT_TRUE(QueryModuleName(name, m_link));
        EXPECT_EQ(name, "");
        ASSERT_EQ(m_port.Close(), 0);
    }
    {
        ChildProcess sim(Args({"--refuse", "AT+BFLOW"}));
        ASSERT_EQ(m_port.Open(sim.ReadLine().c_str(), 9600), 0);
        m_link.replyDriven = true;
        EXPECT_EQ(SendCommand("AT+BFLOW=1\r\n", m_link), "ERROR\r\n");
        EXPECT_EQ(SendCommand("AT+BPIN=1\r\n", m_link), "OK\r\n");
        ASSERT_EQ(m_port.Close(), 0);
    }
}

TEST_F(SimulatorProgramTest, SeveralModulesEachWithANumberedLinkAndTranscriptAnswerAfterTheDelay) {
    const std::string link = m_dir.File("module");
    const std::string transcript = m_dir.File("transcript");
    ChildProcess sim(Args({"--count", "3", "--link", link, "--transcript", transcript, "--reply-delay-ms", "80"}));
    std::vector<std::string> ports;
    for (int i = 0; i < 3; ++i)
        ports.push_back(sim.ReadLine());
    for (int i = 0; i < 3; ++i) {
        char target[256] = {};
        ASSERT_GT(readlink((link + std::to_string(i)).c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(ports[i], target);
    }
    m_link.replyDriven = true;
    for (int i : {2, 0}) {
        ASSERT_EQ(m_port.Open(ports[i].c_str(), 9600), 0);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(SendCommand("AT+BPIN=" + std::to_string(i) + "\r\n", m_link), "OK\r\n");
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
        ASSERT_EQ(m_port.Close(), 0);
    }
    EXPECT_EQ(Commands(ReadTranscript(transcript + "0")), std::vector<std::string>{"AT+BPIN=0"});
    EXPECT_TRUE(ReadTranscript(transcript + "1").empty());
    EXPECT_EQ(Commands(ReadTranscript(transcript + "2")), std::vector<std::string>{"AT+BPIN=2"});
    for (const char* bad : {"0", "65", "x"}) {
        ChildProcess refused(Args({"--count", bad}));
        EXPECT_EQ(refused.Wait(), 1) << bad;
    }
}

} // namespace
