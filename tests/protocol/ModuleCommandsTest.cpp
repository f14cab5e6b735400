// The module conversation against a scripted module on a pseudo-terminal. The wait between command
// and reply is replaced by one that takes the command off the line and queues the next scripted
// answer, so every exchange is exact and no real second passes.
#include "ModuleCommands.h"
#include "AllFourTicked.h"
#include "Cp1250.h"
#include "PseudoTerminal.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

namespace {

using module_commands::CommandLink;

class ModuleCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        // No monitor of the user's own gets this traffic.
        setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
        ASSERT_TRUE(m_pty.IsOpen());
        ASSERT_EQ(m_port.Open(m_pty.SlavePath().c_str(), 9600), 0);
        m_link.port = &m_port;
        m_link.wait = [this](uint32_t milliseconds) { PlayModule(milliseconds); };
    }

    // Answers for the coming exchanges in order; an empty answer, or none left, is silence.
    void Script(std::vector<std::string> answers) { m_answers.assign(answers.begin(), answers.end()); }

    std::string AllWritten() const {
        std::string all;
        for (const std::string& command : m_commands)
            all += command;
        return all;
    }

    TempDir m_dir;
    PseudoTerminal m_pty;
    CSerialPort m_port;
    CommandLink m_link;
    std::vector<std::string> m_commands; // as taken off the line, one per wait
    std::vector<uint32_t> m_waits;

private:
    void PlayModule(uint32_t milliseconds) {
        m_waits.push_back(milliseconds);
        std::string command;
        // A closed port writes nothing; there is no command to wait for.
        while (m_port.IsOpen() &&
               (command.size() < 2 || command.compare(command.size() - 2, 2, "\r\n") != 0)) {
            const std::string part = m_pty.ReadFromPort(1, 2000, 0);
            if (part.empty())
                break;
            command += part;
        }
        m_commands.push_back(command);
        if (m_answers.empty())
            return;
        const std::string answer = m_answers.front();
        m_answers.pop_front();
        if (!answer.empty()) {
            ASSERT_TRUE(m_pty.SendToPort(answer));
        }
    }

    std::deque<std::string> m_answers;
};

TEST_F(ModuleCommandsTest, SendCommandWritesOnceWaitsASecondAndReturnsWhatArrived) {
    Script({"OK\r\n", ""});
    EXPECT_EQ(SendCommand("AT\r\n", m_link), "OK\r\n");
    EXPECT_EQ(SendCommand("AT\r\n", m_link), "0");
    EXPECT_EQ(m_commands, (std::vector<std::string>{"AT\r\n", "AT\r\n"}));
    EXPECT_EQ(m_waits, (std::vector<uint32_t>{1000, 1000}));
}

TEST_F(ModuleCommandsTest, ClosedPortStillWaitsAndReadsNothing) {
    ASSERT_EQ(m_port.Close(), 0);
    std::string name = "kept";
    EXPECT_FALSE(QueryModuleName(name, m_link));
    EXPECT_EQ(name, "kept");
    EXPECT_EQ(m_waits.size(), 11u);
    EXPECT_EQ(AllWritten(), "");
}

struct NameReplyCase {
    const char* what;
    std::vector<std::string> answers;
    std::string name;
    size_t queries;
};

// GoogleTest shows a parameter by its name, not by its bytes.
void PrintTo(const NameReplyCase& c, std::ostream* out) {
    *out << c.what;
}

class NameQueryTest : public ModuleCommandsTest, public ::testing::WithParamInterface<NameReplyCase> {};

TEST_P(NameQueryTest, FindsTheNameAfterTheFirstEquals) {
    const NameReplyCase& c = GetParam();
    Script(c.answers);
    std::string name = "before";
    EXPECT_TRUE(QueryModuleName(name, m_link));
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(m_commands, std::vector<std::string>(c.queries, "AT+BNAME?\r\n"));
}

const std::string kLongFiller(2048, '#'); // fills one read entirely

INSTANTIATE_TEST_SUITE_P(
    Replies, NameQueryTest,
    ::testing::Values(
        NameReplyCase{"plain", {"+BNAME=Kaldor ZK405\r\nOK\r\n"}, "Kaldor ZK405", 1},
        NameReplyCase{"several_equals", {"+BNAME=a=b\r\nX=Y\r\n"}, "a=b", 1},
        NameReplyCase{"echo_first", {"AT+BNAME?\r\n+BNAME=Kaldor\r\nOK\r\n"}, "Kaldor", 1},
        NameReplyCase{"no_cr_gives_empty_name", {"+BNAME=Kaldor\nOK\n"}, "", 1},
        NameReplyCase{"cr_right_after_equals", {"+BNAME=\r\nOK\r\n"}, "", 1},
        NameReplyCase{"lf_kept_inside_name", {"=ab\ncd\r"}, "ab\ncd", 1},
        NameReplyCase{
            "longer_than_typed_names", {"=" + std::string(40, 'N') + "\r\n"}, std::string(40, 'N'), 1},
        NameReplyCase{"cp1250_bytes_unchanged", {"+BNAME=\xA3\xF3\x64\x9F\r\n"}, "\xA3\xF3\x64\x9F", 1},
        NameReplyCase{"silence_then_name", {"", "", "+BNAME=Late\r\n"}, "Late", 3},
        NameReplyCase{"status_then_name", {"OK\r\n", "+BNAME=K\r\n"}, "K", 2},
        // A read takes at most 2048 bytes; the reply behind the filler comes with the next attempt.
        NameReplyCase{"behind_a_full_buffer", {kLongFiller + "+BNAME=Deep\r\nOK\r\n"}, "Deep", 2},
        NameReplyCase{"eleventh_attempt", {"", "", "", "", "", "", "", "", "", "", "=Last\r\n"}, "Last", 11}),
    [](const ::testing::TestParamInfo<NameReplyCase>& info) { return std::string(info.param.what); });

TEST_F(ModuleCommandsTest, ElevenRepliesWithoutEqualsEndTheQueryWithTheNameUntouched) {
    Script(std::vector<std::string>(12, "OK\r\n"));
    std::string name = "untouched";
    EXPECT_FALSE(QueryModuleName(name, m_link));
    EXPECT_EQ(name, "untouched");
    EXPECT_EQ(m_commands, std::vector<std::string>(11, "AT+BNAME?\r\n"));
    EXPECT_EQ(m_waits, std::vector<uint32_t>(11, 1000));
}

TEST_F(ModuleCommandsTest, SilentModuleFailsAfterElevenQueries) {
    std::string name = "untouched";
    EXPECT_EQ(m_port.ReadReplyText(), "0");
    // Each try is told before its command goes out, so a person sees the wait it begins.
    std::vector<std::string> told;
    m_link.attemptStarting = [&](int attempt, int of) {
        told.push_back(std::to_string(attempt) + "/" + std::to_string(of) + " after " +
                       std::to_string(m_commands.size()));
    };
    EXPECT_FALSE(QueryModuleName(name, m_link));
    EXPECT_EQ(name, "untouched");
    EXPECT_EQ(m_commands.size(), 11u);
    ASSERT_EQ(told.size(), 11u);
    EXPECT_EQ(told.front(), "1/11 after 0");
    EXPECT_EQ(told.back(), "11/11 after 10");
}

TEST_F(ModuleCommandsTest, TheTriesToldEndWithTheOneThatFoundTheName) {
    Script({"", "", "+BNAME=Third\r\nOK\r\n"});
    std::vector<int> told;
    m_link.attemptStarting = [&](int attempt, int) { told.push_back(attempt); };
    std::string name;
    EXPECT_TRUE(QueryModuleName(name, m_link));
    EXPECT_EQ(name, "Third");
    EXPECT_EQ(told, (std::vector<int>{1, 2, 3}));
}

MODULE_SETTINGS AllSelected() {
    return AllFourTicked("Drukarka 7", "0000", "RTS/CTS", 1);
}

TEST_F(ModuleCommandsTest, ProgramsTheFourItemsInOrderAndThrowsTheRepliesAway) {
    Script({"OK\r\n", "OK\r\n", "ERROR\r\n", "OK\r\n"});
    ProgramModule(AllSelected(), m_link);
    EXPECT_EQ(m_commands, (std::vector<std::string>{"AT+BNAME=Drukarka 7\r\n", "AT+BPIN=0000\r\n",
                                                    "AT+BFLOW=2\r\n", "AT+BSEC=2\r\n"}));
    EXPECT_EQ(m_waits, std::vector<uint32_t>(4, 1000));
    // Each reply was read by its own exchange, so nothing is left for the next conversation.
    EXPECT_EQ(m_pty.QueuedForPort(), 0u);
    EXPECT_EQ(m_port.ReadReplyText(), "0");
}

TEST_F(ModuleCommandsTest, OnlyAFlagOfExactlyOneSelectsAnItem) {
    MODULE_SETTINGS settings = AllSelected();
    settings.setName = 2;
    settings.setPin = -1;
    settings.setFlow = 0;
    settings.setAuth = 1;
    settings.authChoice = 0;
    ProgramModule(settings, m_link);
    EXPECT_EQ(AllWritten(), "AT+BSEC=1\r\n");
}

TEST_F(ModuleCommandsTest, AuthenticationWithoutAChoiceSendsNothingAtAll) {
    for (int32_t choice : {-1, 2, -2}) {
        MODULE_SETTINGS settings;
        settings.setAuth = 1;
        settings.authChoice = choice;
        ProgramModule(settings, m_link);
    }
    EXPECT_TRUE(m_commands.empty());
    EXPECT_TRUE(m_waits.empty());
    EXPECT_EQ(m_pty.Drain(), "");
}

TEST_F(ModuleCommandsTest, EmptyNameAndPinAreSentBareAndValuesGoOutUnchanged) {
    MODULE_SETTINGS settings;
    settings.setName = settings.setPin = 1;
    ProgramModule(settings, m_link);
    settings.name = "a=b\rc";
    settings.pin = "12 34";
    ProgramModule(settings, m_link);
    EXPECT_EQ(AllWritten(), "AT+BNAME=\r\nAT+BPIN=\r\nAT+BNAME=a=b\rc\r\nAT+BPIN=12 34\r\n");
}

TEST_F(ModuleCommandsTest, PolishNameGoesOutAsSingleByteWindows1250) {
    MODULE_SETTINGS settings;
    settings.setName = 1;
    const cp1250::Encoded name = cp1250::Utf8ToCp1250("Łódź Żółć");
    ASSERT_EQ(name.unrepresentable, 0u);
    settings.name = name.bytes;
    ProgramModule(settings, m_link);
    EXPECT_EQ(AllWritten(), "AT+BNAME=\xA3\xF3\x64\x9F \xAF\xF3\xB3\xE6\r\n");
}

TEST_F(ModuleCommandsTest, ProtocolLabelsMapExactlyToFlowDigits) {
    const std::vector<std::pair<std::string, std::string>> labels = {
        {"XON/XOFF", "1"},         {"RTS/CTS", "2"},
        {"XON/XOFF+RTS/CTS", "3"}, {"BRAK", "0"},
        {"xon/xoff", ""},          {"Brak", ""},
        {"RTS/CTS ", ""},          {"", ""},
        {"XON/XOFF+", ""},         {std::string("RTS/CTS\0", 8), ""},
    };
    std::string expected;
    for (const auto& [label, digit] : labels) {
        MODULE_SETTINGS settings;
        settings.setFlow = 1;
        settings.protocolLabel = label;
        ProgramModule(settings, m_link);
        expected += "AT+BFLOW=" + digit + "\r\n";
    }
    EXPECT_EQ(AllWritten(), expected);
}

TEST_F(ModuleCommandsTest, ALongNameGoesOutWholeInOneCommand) {
    MODULE_SETTINGS settings;
    settings.setName = 1;
    settings.name = std::string(300, 'x');
    ProgramModule(settings, m_link);
    EXPECT_EQ(m_commands, (std::vector<std::string>{"AT+BNAME=" + settings.name + "\r\n"}));
}

} // namespace

namespace {

TEST_F(ModuleCommandsTest, ProgrammingReportsEachReplyWithItsItemInOrder) {
    Script({"OK\r\n", "", "ERROR\r\n", "OK\r\n"});
    std::vector<std::string> reported;
    ProgramModule(
        AllSelected(), m_link,
        [&](module_commands::SettingItem item, const std::string& command,
            const module_commands::Exchange& exchange) {
            reported.push_back(std::string(module_commands::SettingItemName(item)) + " " + command +
                               exchange.reply);
        },
        [&](module_commands::SettingItem item) {
            reported.push_back(std::string("starting ") + module_commands::SettingItemName(item) + " after " +
                               std::to_string(m_commands.size()));
        });
    EXPECT_EQ(reported,
              (std::vector<std::string>{"starting name after 0", "name AT+BNAME=Drukarka 7\r\nOK\r\n",
                                        "starting pin after 1", "pin AT+BPIN=0000\r\n0",
                                        "starting flow after 2", "flow AT+BFLOW=2\r\nERROR\r\n",
                                        "starting auth after 3", "auth AT+BSEC=2\r\nOK\r\n"}));
    EXPECT_EQ(m_waits, std::vector<uint32_t>(4, 1000));
}

// What ends a reply-driven exchange and what zk405-cli takes as the module's verdict.
TEST(ReplyFinalLine, TheFirstWholeOkOrErrorLineDecides) {
    using module_commands::FinalLine;
    using module_commands::FinalLineOf;
    EXPECT_EQ(FinalLineOf("OK\r\n"), FinalLine::Ok);
    EXPECT_EQ(FinalLineOf("ERROR\n"), FinalLine::Error);
    EXPECT_EQ(FinalLineOf("AT+BNAME?\r\n+BNAME=K\r\nOK\r\n"), FinalLine::Ok);
    EXPECT_EQ(FinalLineOf("ERROR\r\nOK\r\n"), FinalLine::Error);
    for (const char* unfinished : {"+BNAME=K\r\n", "+BNAME=K\r\nOK", "+BNAME=OK\r\n", "NOK\r\n", "0"}) {
        EXPECT_EQ(FinalLineOf(unfinished), FinalLine::None) << unfinished;
        EXPECT_FALSE(module_commands::IsReplyComplete(unfinished)) << unfinished;
    }
}

// A module that answers in pieces, one per look the exchange takes.
class ReplyDrivenTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
        ASSERT_EQ(m_port.Open(m_pty.SlavePath().c_str(), 9600), 0);
    }
    TempDir m_dir;
    PseudoTerminal m_pty;
    CSerialPort m_port;
};

TEST_F(ReplyDrivenTest, EndsAsSoonAsTheReplyIsCompleteAndLeavesLaterBytesQueued) {
    std::deque<std::string> pieces = {"+BNAME=Kal", "dor\r\nOK", "\r\n"};
    std::vector<uint32_t> waits;
    const CommandLink link{&m_port,
                           [&](uint32_t ms) {
                               waits.push_back(ms);
                               if (!pieces.empty()) {
                                   m_pty.SendToPort(pieces.front());
                                   pieces.pop_front();
                               }
                           },
                           true};
    std::string name;
    EXPECT_TRUE(QueryModuleName(name, link));
    EXPECT_EQ(name, "Kaldor");
    EXPECT_EQ(waits, std::vector<uint32_t>(3, module_commands::kReplyPollMs));

    ASSERT_TRUE(m_pty.SendToPort("OK\r\nlate"));
    EXPECT_EQ(SendCommand("AT\r\n", link), "OK\r\nlate"); // taken together: both were queued
    ASSERT_TRUE(m_pty.SendToPort("NOK\r\n"));
    pieces = {"ERROR\r\n", "next"};
    EXPECT_EQ(SendCommand("AT\r\n", link), "NOK\r\nERROR\r\n");
    EXPECT_EQ(pieces.size(), 1u);
}

TEST_F(ReplyDrivenTest, ASilentModuleGetsTheSameOneSecond) {
    const CommandLink link{&m_port, module_commands::SleepMilliseconds, true};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SendCommand("AT+BPIN=1\r\n", link), "0");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 1.0);
    EXPECT_LT(seconds, 1.5);
}

// A stop request ends the wait under way with what has come and sends nothing more; a write that
// never went out is told from silence, and the name query does not retry it, however the link waits.
TEST_F(ModuleCommandsTest, AStopEndsTheConversationAndAStuckWriteIsNotSilence) {
    bool stop = false;
    m_link.stopRequested = [&stop] { return stop; };
    m_link.wait = [&](uint32_t) { stop = true; }; // the signal arrives during the first wait
    std::vector<std::string> observed;
    ProgramModule(AllFourTicked("N", "1", "BRAK", 0), m_link,
                  [&](module_commands::SettingItem, const std::string& command, const module_commands::Exchange& e) {
                      observed.push_back(command);
                      EXPECT_TRUE(e.stopped);
                      EXPECT_TRUE(e.written);
                      EXPECT_EQ(e.reply, "0");
                  });
    EXPECT_EQ(observed, std::vector<std::string>{"AT+BNAME=N\r\n"});
    EXPECT_EQ(m_pty.ReadFromPort(1, 200), "AT+BNAME=N\r\n");
    std::string name = "kept";
    EXPECT_FALSE(QueryModuleName(name, m_link)); // asked to stop already: nothing goes out
    EXPECT_EQ(m_pty.Drain(), "");

    stop = false;
    m_link.stopRequested = nullptr;
    m_link.wait = [](uint32_t) {};
    ASSERT_TRUE(m_pty.HoldPortOutput());
    for (const bool replyDriven : {true, false}) {
        SCOPED_TRACE(replyDriven ? "reply-driven" : "fixed wait, as the windows have it");
        m_link.replyDriven = replyDriven;
        module_commands::Exchange last;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(QueryModuleName(name, m_link, &last));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4)); // one attempt of eleven
        EXPECT_FALSE(last.written);
        EXPECT_FALSE(last.stopped);
        EXPECT_EQ(name, "kept");
    }
}

} // namespace
