// The channel and the command set on a real Win32 COM device. The test harness
// (scripts/windows/run-with-module.sh) points the COM port at a pseudo-terminal where the simulated
// module answers, and names the port, the module's name and the module's transcript in the
// environment; without a harness these tests are skipped.
#include "AllFourTicked.h"
#include "ModuleCommands.h"
#include "SerialPort.h"
#include "WorkDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <windows.h>

using namespace serial_result;
using namespace std::chrono_literals;

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

#define REQUIRE_FAR_END(port)                                                                                \
    const std::string port = Environment("ZK405_TEST_COM");                                                  \
    if (port.empty())                                                                                        \
    GTEST_SKIP() << "no module on a COM port (run through scripts/windows/run-with-module.sh)"

// Reads until the reply ends with the module's "OK" line or nothing more comes for a while.
std::string AwaitReply(CSerialPort& port) {
    std::string reply;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < deadline && reply.find("OK\r\n") == std::string::npos) {
        const std::string piece = port.ReadReplyText();
        if (piece == "0")
            std::this_thread::sleep_for(20ms);
        else
            reply += piece;
    }
    return reply;
}

// The module under Wine answers well within this; the real one is given a second.
void ShortWait(uint32_t) {
    Sleep(300);
}

uint32_t Length(const std::string& text) {
    return static_cast<uint32_t>(text.size());
}

} // namespace

TEST(ComPortExchange, NameQueryIsAnsweredAndLogged) {
    REQUIRE_FAR_END(com);
    WorkDir dir;
    CSerialPort port;

    ASSERT_EQ(port.Open(com.c_str(), 9600), kOk);
    EXPECT_TRUE(port.IsLogging());
    EXPECT_EQ(port.ReadReplyText(), "0"); // nothing queued: no read is made, so nothing blocks
    EXPECT_EQ(port.Open(com.c_str(), 9600), kAlreadyOpen);

    const std::string command = "AT+BNAME?\r\n";
    ASSERT_EQ(port.Write(Length(command), command.data()), kOk);
    EXPECT_EQ(AwaitReply(port), "+BNAME=" + Environment("ZK405_TEST_MODULE_NAME") + "\r\nOK\r\n");

    ASSERT_EQ(port.Close(), kOk);
    EXPECT_EQ(ReadWholeFile("TxRx.log"),
              "\nWritten:\n41 54 2B 42 4E 41 4D 45 3F 0D 0A " + std::string(18, ' ') + "AT+BNAME?..\n");

    // Closed and opened again: the port is free for the next connection.
    ASSERT_EQ(port.Open(com.c_str(), 9600), kOk);
    EXPECT_EQ(port.Close(), kOk);
}

TEST(ComPortExchange, ProgrammingSendsTheTickedItemsInOrder) {
    REQUIRE_FAR_END(com);
    const std::string transcript = Environment("ZK405_TEST_TRANSCRIPT");
    WorkDir dir;
    CSerialPort port;
    ASSERT_EQ(port.Open(com.c_str(), 9600), kOk);
    const module_commands::CommandLink link{&port, ShortWait};

    std::string name;
    ASSERT_TRUE(QueryModuleName(name, link));
    EXPECT_EQ(name, Environment("ZK405_TEST_MODULE_NAME"));

    ProgramModule(AllFourTicked("Drukarka 7", "4321", "RTS/CTS", 1), link);
    ASSERT_EQ(port.Close(), kOk);

    // After programming the module answers to its new name.
    ASSERT_EQ(port.Open(com.c_str(), 9600), kOk);
    ASSERT_TRUE(QueryModuleName(name, link));
    EXPECT_EQ(name, "Drukarka 7");
    ASSERT_EQ(port.Close(), kOk);

    if (transcript.empty())
        return;
    const std::string received = ReadWholeFile(transcript);
    // One line per command: "<milliseconds> <command without its CR LF>".
    const char* const expected[] = {"AT+BNAME?",  "AT+BNAME=Drukarka 7", "AT+BPIN=4321",
                                    "AT+BFLOW=2", "AT+BSEC=2",           "AT+BNAME?"};
    std::size_t from = 0;
    for (const char* command : expected) {
        const std::size_t at = received.find(std::string(" ") + command + "\n", from);
        ASSERT_NE(at, std::string::npos) << command << " missing or out of order in:\n" << received;
        from = at + 1;
    }
}

TEST(ComPortOpen, MissingPortFailsAndLeavesTheChannelClosed) {
    WorkDir dir;
    CSerialPort port;
    EXPECT_EQ(port.Open("com127", 9600), kOpenFailed);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.IsLogging());
    EXPECT_EQ(port.Open("", 9600), kOpenFailed);
    EXPECT_EQ(port.Write(1, "A"), kWrongState);
    EXPECT_EQ(port.Close(), kWrongState);
}
