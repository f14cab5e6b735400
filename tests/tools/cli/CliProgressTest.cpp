// The steps under way as a person at a terminal sees them: the line's words, its cut to the
// terminal's width, its erasure around every other line; and zk405-cli run with its standard error
// on a pseudo-terminal, in a pipe, with --quiet, --json and TERM=dumb, against slow simulated modules.
#include "CliProgress.h"
#include "ChildProcess.h"
#include "Deadline.h"
#include "EscapedText.h"
#include "PseudoTerminal.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <sstream>
#include <sys/ioctl.h>

namespace {

using namespace zk405_cli;
using Strings = std::vector<std::string>;

StepUnderWay Step(const std::string& port, StepKind kind, int attempt = 1, int of = 1) {
    return {port, 1, false, kind, attempt, of};
}

StepUnderWay Opening(const std::string& port) {
    return {port, 1, true, StepKind::NameRead, 1, 1};
}

StepUnderWay Pairing(const std::string& port, PairingUnderWay step) {
    return {port, 0, false, StepKind::NameRead, 1, 1, step};
}

// What a terminal shows of bytes: "\r" goes back to the line's start, "\x1b[K" erases from the
// cursor to the line's end, "\n" ends the line. The last entry is the line the cursor is on.
Strings Screen(const std::string& bytes) {
    Strings lines(1);
    size_t column = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::string& line = lines.back();
        if (bytes.compare(i, 3, "\x1b[K") == 0) {
            line.resize(std::min(line.size(), column));
            i += 2;
        } else if (bytes[i] == '\r') {
            column = 0;
        } else if (bytes[i] == '\n') {
            lines.emplace_back();
            column = 0;
        } else {
            if (column < line.size())
                line[column] = bytes[i];
            else
                line += bytes[i];
            ++column;
        }
    }
    return lines;
}

struct WordsCase {
    StepUnderWay underWay;
    const char* words;
};

class UnderWayWordsTest : public ::testing::TestWithParam<WordsCase> {};

TEST_P(UnderWayWordsTest, SayTheStepAsAPersonWouldAndItsTryAfterTheFirst) {
    EXPECT_EQ(UnderWayWords(GetParam().underWay), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, UnderWayWordsTest,
    ::testing::Values(
        WordsCase{Opening("bt:1"), "opening"},
        WordsCase{Step("com5", StepKind::NameRead, 1, 11), "asking for the name"},
        WordsCase{Step("com5", StepKind::NameRead, 3, 11), "asking for the name, try 3 of 11"},
        WordsCase{Step("com5", StepKind::NameBefore, 11, 11), "asking for the name, try 11 of 11"},
        WordsCase{Step("com5", StepKind::NameReadBack, 2, 11), "asking for its new name, try 2 of 11"},
        WordsCase{Step("com5", StepKind::Name), "sending the name"},
        WordsCase{Step("com5", StepKind::Pin), "sending the PIN"},
        WordsCase{Step("com5", StepKind::Flow), "sending flow control"},
        WordsCase{Step("com5", StepKind::Auth), "sending authentication"},
        WordsCase{Pairing("bt:1", PairingUnderWay::Pair), "pairing"},
        WordsCase{Pairing("bt:1", PairingUnderWay::ProvePin), "proving the new PIN"},
        WordsCase{Pairing("bt:1", PairingUnderWay::Unpair), "removing the bond"}));

TEST(ProgressLine, ShowsEveryPortUnderWayInTheOrderTheyBegan) {
    ProgressLine line;
    line.Set(Step("com5", StepKind::NameRead, 3, 11));
    line.Set(Opening("com6"));
    EXPECT_EQ(line.Draw(80), "com5: asking for the name, try 3 of 11; com6: opening");
    line.Set(Step("com6", StepKind::Pin));
    EXPECT_EQ(line.Draw(80), "\r\x1b[Kcom5: asking for the name, try 3 of 11; com6: sending the PIN");
    EXPECT_EQ(line.Draw(80), ""); // nothing new: nothing written
    line.Clear("com5");
    EXPECT_EQ(line.Draw(80), "\r\x1b[Kcom6: sending the PIN");
    line.Clear("com6");
    EXPECT_EQ(line.Draw(80), "\r\x1b[K");
    EXPECT_EQ(line.Erase(), "");
    // A watched folder's names are made by whoever may write there.
    line.Set(Step("x\x1b]0;y\x07", StepKind::Pin));
    EXPECT_EQ(line.Draw(80), "x\\x1B]0;y\\x07: sending the PIN");
}

// The last column stays free (a terminal written to its edge wraps), and a character is never cut in two, whatever the terminal's width.
TEST(ProgressLine, NeverReachesTheTerminalsLastColumn) {
    ProgressLine line;
    line.Set(Step("Łódź", StepKind::NameRead, 10, 11));
    line.Set(Step("com6", StepKind::Flow));
    for (size_t columns : {1u, 2u, 7u, 20u, 40u, 61u, 62u, 200u}) {
        const std::string drawn = line.Draw(columns);
        const std::string shown = Screen(drawn).back();
        EXPECT_LE(DisplayWidth(shown), columns - 1) << columns;
        EXPECT_EQ(CutUtf8(shown, shown.size()).size(), shown.size()) << columns;
        line.Erase();
    }
    EXPECT_EQ(line.Draw(7), "Łódź: ");
    line.Erase();
    line.Set(Step("com7", StepKind::Auth));
    EXPECT_EQ(line.Draw(0), "Łódź: asking for the name, try 10 of 11; com6: sending flow control; com7: send")
        << "80 columns when the terminal does not say";
}

TEST(ProgressLine, IsErasedBeforeAnotherLineAndDrawnAgainAfterIt) {
    ProgressLine line;
    line.Set(Step("com5", StepKind::NameRead, 2, 11));
    std::string bytes = line.Draw(80);
    bytes += line.Erase() + "com6: name read \"A\" 0.02 s\n";
    bytes += line.Draw(80);
    EXPECT_EQ(Screen(bytes),
              (Strings{"com6: name read \"A\" 0.02 s", "com5: asking for the name, try 2 of 11"}));
    line.Clear("com5");
    bytes += line.Draw(80);
    EXPECT_EQ(Screen(bytes).back(), "");

    // A console without the erase escape gets the line blanked with spaces.
    ProgressLine plain(false);
    plain.Set(Step("com5", StepKind::Pin));
    EXPECT_EQ(plain.Draw(80), "com5: sending the PIN");
    EXPECT_EQ(plain.Erase(), "\r                     \r");
    EXPECT_EQ(plain.Erase(), "");
}

TEST(ProgressLine, GoesToTheStationsJsonWithTheReportsStepNames) {
    EXPECT_EQ(ProgressJson(Step("com5", StepKind::NameBefore, 3, 11)).dump(),
              R"({"event":"progress","of":11,"port":"com5","step":"name before","try":3})");
    EXPECT_EQ(ProgressJson(Opening("bt:1")).dump(),
              R"({"event":"progress","of":1,"port":"bt:1","step":"open","try":1})");
    // The Bluetooth steps by the names the ledger's steps have.
    EXPECT_EQ(ProgressJson(Pairing("bt:1", PairingUnderWay::Pair))["step"], "pair");
    EXPECT_EQ(ProgressJson(Pairing("bt:1", PairingUnderWay::ProvePin))["step"], "prove-pin");
    EXPECT_EQ(ProgressJson(Pairing("bt:1", PairingUnderWay::Unpair))["step"], "unpair");
}

// A stream the drawing thread writes while the test reads it.
class SharedText : public std::streambuf {
public:
    std::string Text() {
        const std::lock_guard<std::mutex> lock(m_lock);
        return m_text;
    }

protected:
    int overflow(int c) override {
        if (c != traits_type::eof()) {
            const char byte = static_cast<char>(c);
            xsputn(&byte, 1);
        }
        return c;
    }
    std::streamsize xsputn(const char* bytes, std::streamsize count) override {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_text.append(bytes, static_cast<size_t>(count));
        return count;
    }

private:
    std::mutex m_lock;
    std::string m_text;
};

// A burst of steps is drawn at most every tenth of a second, but its last state is always drawn, and
// the line never stays behind once the run has ended.
TEST(TerminalProgress, DrawsTheLatestStateOfABurstAndLeavesNothingAtTheEnd) {
    SharedText text;
    std::ostream err(&text);
    TerminalProgress progress(err, true, true);
    progress.Show(Opening("com5"));
    progress.Show(Step("com5", StepKind::NameRead));
    progress.Show(Step("com5", StepKind::NameRead, 2, 11));
    const bool drawn = WaitUntil(Deadline(5000), std::chrono::milliseconds(5), [&] {
        return Screen(text.Text()).back() == "com5: asking for the name, try 2 of 11";
    });
    EXPECT_TRUE(drawn) << text.Text();
    progress.Around([&] { err << "com5: name read \"A\" 1.02 s\n"; });
    progress.Stop();
    progress.Show(Step("com5", StepKind::Pin)); // after the end: nothing
    progress.Around([&] { err << "summary\n"; });
    EXPECT_EQ(Screen(text.Text()), (Strings{"com5: name read \"A\" 1.02 s", "summary", ""})) << text.Text();

    std::ostringstream off;
    TerminalProgress none(off, false, true);
    none.Show(Opening("com5"));
    none.Around([&] { off << "line\n"; });
    none.Stop();
    EXPECT_EQ(off.str(), "line\n");
}

// A zk405-sim playing count modules that answer a second and a half late: the name comes with the
// second try.
class LateModules {
public:
    explicit LateModules(size_t count)
        : m_sim({ZK405_SIM_PROGRAM, "--count", std::to_string(count), "--reply-delay-ms", "1500"}) {
        for (size_t i = 0; i < count; ++i)
            m_ports.push_back(m_sim.ReadLine());
    }
    const std::string& Port(size_t index) const { return m_ports.at(index); }

private:
    ChildProcess m_sim;
    Strings m_ports;
};

// zk405-cli with TERM set and its standard error where the script sends it; stdout is read.
std::unique_ptr<ChildProcess> CliOn(const std::string& term, const std::string& stderrTo,
                                    const Strings& args) {
    Strings argv = {"/bin/sh", "-c", "TERM=" + term + " exec \"$0\" \"$@\" " + stderrTo, ZK405_CLI_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<ChildProcess>(argv);
}

// Everything written on the terminal until the program's stdout ends.
std::string TerminalOutput(PseudoTerminal& terminal, ChildProcess& cli, std::string& out) {
    out = cli.ReadToEnd(20000);
    EXPECT_EQ(cli.Wait(5000), 0) << out;
    return terminal.Drain();
}

class CliProgressTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
        ASSERT_EQ(chdir(m_dir.Path().c_str()), 0);
    }
    TempDir m_dir;
};

// Run side by side, as each waits about two seconds for its module.
TEST_F(CliProgressTest, OnlyATerminalSeesTheTriesAndItIsLeftWithNoHalfLine) {
    LateModules modules(6);
    PseudoTerminal wide, narrow, quiet, json, dumb;
    winsize size{};
    size.ws_col = 40;
    ASSERT_EQ(ioctl(narrow.MasterFd(), TIOCSWINSZ, &size), 0);
    const auto to = [](const PseudoTerminal& terminal) { return "2>" + terminal.SlavePath(); };
    const auto onWide = CliOn("xterm", to(wide), {"name", modules.Port(0)});
    const auto onNarrow = CliOn("xterm", to(narrow), {"name", modules.Port(1), modules.Port(2)});
    const auto piped = CliOn("xterm", "2>&1", {"name", modules.Port(3)});
    const auto withQuiet = CliOn("xterm", to(quiet), {"name", modules.Port(4), "--quiet"});
    const auto withJson = CliOn("xterm", to(json), {"name", modules.Port(5), "--json"});

    std::string out;
    const std::string shown = TerminalOutput(wide, *onWide, out);
    EXPECT_EQ(out, modules.Port(0) + "\tZK405\n");
    EXPECT_NE(shown.find(modules.Port(0) + ": asking for the name, try 2 of 11"), std::string::npos) << shown;
    const Strings screen = Screen(shown);
    ASSERT_EQ(screen.size(), 2u) << shown;
    EXPECT_EQ(screen[0].rfind(modules.Port(0) + ": name read \"ZK405\" ", 0), 0u) << shown;
    EXPECT_EQ(screen[1], "") << shown;

    const std::string cut = TerminalOutput(narrow, *onNarrow, out);
    // Whichever port started first leads the line; the other may be cut off by the width.
    EXPECT_TRUE(cut.find(modules.Port(1) + ": asking") != std::string::npos ||
                cut.find(modules.Port(2) + ": asking") != std::string::npos)
        << cut;
    for (size_t from = 0, end; from < cut.size(); from = end + 1) {
        end = std::min(cut.find_first_of("\r\n", from), cut.size());
        EXPECT_LE(end - from, 39u + 3) << cut.substr(from, end - from); // an erase escape before it
    }
    EXPECT_EQ(Screen(cut).back(), "");

    // In a pipe the bytes are today's: the step's line and the name, nothing else.
    const std::string plain = piped->ReadToEnd(20000);
    EXPECT_EQ(piped->Wait(5000), 0);
    EXPECT_EQ(plain.find_first_of("\r\x1b"), std::string::npos) << plain;
    EXPECT_EQ(plain.find("asking"), std::string::npos) << plain;
    EXPECT_EQ(plain.rfind(modules.Port(3) + ": name read \"ZK405\" ", 0), 0u) << plain;

    EXPECT_EQ(TerminalOutput(quiet, *withQuiet, out), "");
    EXPECT_EQ(TerminalOutput(json, *withJson, out).find("asking"), std::string::npos);
    EXPECT_NE(out.find("\"name\":\"ZK405\""), std::string::npos) << out;

    const auto onDumb = CliOn("dumb", to(dumb), {"name", modules.Port(0)});
    const std::string dumbShown = TerminalOutput(dumb, *onDumb, out);
    EXPECT_EQ(dumbShown.find_first_of("\r\x1b"), std::string::npos) << dumbShown;
    EXPECT_NE(dumbShown.find(": name read \"ZK405\""), std::string::npos) << dumbShown;
}

} // namespace
