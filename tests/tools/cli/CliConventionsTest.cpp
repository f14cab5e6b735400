// zk405-cli's command-line conventions, the same for every command: a mistyped command is named with
// the nearest one, help for the program and for each command, -V, plain value names in the help,
// every error line beginning with the program's name, and list telling of the ports it leaves out.
#include "CliRun.h"
#include "DeviceDirectory.h"
#include "SerialPort.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using Strings = std::vector<std::string>;

const Strings kCommands = {"list", "scan", "pair", "unpair", "name", "program", "station", "ledger"};

Strings Lines(const std::string& text) {
    Strings lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

struct Slip {
    const char* typed;
    const char* meant;
};
std::ostream& operator<<(std::ostream& out, const Slip& slip) {
    return out << slip.typed << " for " << slip.meant;
}

class MistypedCommand : public ::testing::TestWithParam<Slip> {};

TEST_P(MistypedCommand, IsRefusedWithTheNearestCommand) {
    for (const Strings& args : {Strings{GetParam().typed}, Strings{"help", GetParam().typed}}) {
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, std::string("zk405-cli: ") + GetParam().typed + " is no command; did you mean " +
                               GetParam().meant + "?\n");
    }
}

// A beginning, a letter dropped, added, changed or two swapped.
INSTANTIATE_TEST_SUITE_P(Slips, MistypedCommand,
                         ::testing::Values(Slip{"prog", "program"}, Slip{"lst", "list"}, Slip{"nmae", "name"},
                                           Slip{"statoin", "station"}, Slip{"ledgers", "ledger"},
                                           Slip{"scen", "scan"}, Slip{"sta", "station"}));

TEST(CliConventions, AWordNearNoCommandListsThemAll) {
    for (const char* word : {"xyz", "s", "programming-all"}) {
        const CliRun run = Cli({word});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err,
                  std::string("zk405-cli: ") + word +
                      " is no command; the commands are list, scan, pair, unpair, name, program, station, ledger, help\n");
    }
    const CliRun hostile = Cli({"x\x1b[2J"});
    EXPECT_EQ(hostile.err.find('\x1b'), std::string::npos) << hostile.err;
}

TEST(CliConventions, HelpIsACommandAndVIsTheVersion) {
    const CliRun help = Cli({"help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, Cli({"--help"}).out);
    EXPECT_NE(help.out.find("Usage: zk405-cli "), std::string::npos) << help.out;
    for (const std::string& command : kCommands) {
        const CliRun one = Cli({"help", command});
        EXPECT_EQ(one.status, 0) << command;
        EXPECT_EQ(one.out, Cli({command, "--help"}).out) << command;
        EXPECT_NE(one.out.find("Usage: zk405-cli " + command), std::string::npos) << one.out;
    }
    const CliRun version = Cli({"-V"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, Cli({"--version"}).out);
    EXPECT_EQ(version.out.rfind("zk405-cli ", 0), 0u) << version.out;
}

// The parser's own type words mean nothing to a person; a value is named for what it is.
TEST(CliConventions, EachCommandsHelpHasPlainValuesExamplesAndItsOwnStatuses) {
    for (const std::string& command : kCommands) {
        const std::string help = Cli({command, "--help"}).out;
        for (const std::string& line : Lines(help)) {
            EXPECT_EQ(line.find("INT"), std::string::npos) << command << ": " << line;
            EXPECT_EQ(line.find("POSITIVE"), std::string::npos) << command << ": " << line;
            if (line.find("TEXT") != std::string::npos) {
                EXPECT_EQ(line.rfind("  --name TEXT", 0), 0u) << command << ": " << line;
            }
        }
        const size_t examples = help.find("Examples:\n");
        ASSERT_NE(examples, std::string::npos) << help;
        size_t count = 0;
        for (size_t at = help.find("\n  zk405-cli " + command, examples); at != std::string::npos;
             at = help.find("\n  zk405-cli " + command, at + 1))
            ++count;
        EXPECT_GE(count, 2u) << help;
        EXPECT_LE(count, 3u) << help;
        EXPECT_NE(help.find("Exit status:\n  0  "), std::string::npos) << help;
    }
    const auto gives = [](const std::string& command, const char* status) {
        return Cli({"help", command}).out.find(std::string("\n  ") + status + "  ") != std::string::npos;
    };
    EXPECT_FALSE(gives("list", "2"));
    EXPECT_FALSE(gives("list", "7"));
    EXPECT_TRUE(gives("scan", "2"));
    EXPECT_FALSE(gives("scan", "3"));
    EXPECT_TRUE(gives("name", "3"));
    EXPECT_FALSE(gives("name", "4"));
    EXPECT_TRUE(gives("program", "4"));
    EXPECT_TRUE(gives("program", "7"));
    EXPECT_TRUE(gives("station", "7"));
    EXPECT_FALSE(gives("scan", "7"));
    EXPECT_TRUE(gives("ledger", "7"));
    EXPECT_FALSE(gives("ledger", "2"));
    EXPECT_TRUE(gives("pair", "3"));
    EXPECT_TRUE(gives("pair", "4"));
    EXPECT_FALSE(gives("pair", "7"));
    EXPECT_FALSE(gives("unpair", "3"));
}

TEST(CliConventions, EveryErrorLineBeginsWithTheProgramsName) {
    TempDir dir;
    const std::string missing = dir.File("no-such-port");
    const std::string damaged = dir.File("damaged.csv");
    std::ofstream(damaged) << "no header\nno record\n";
    const Strings runs[] = {
        {},
        {"program"},
        {"program", missing, "--bogus\x1b[2J"},
        {"scan", "--discover", "700"},
        {"station", "--ledger", dir.File("l.csv"), "--once", "0", "--pin", "1"},
        {"name", missing},
        {"program", missing, "--pin", "1", "--quiet"},
        {"program", missing, "bt:12", "--pin", "1"},
        {"ledger", "--check", damaged},
    };
    for (const Strings& args : runs) {
        const CliRun run = Cli(args);
        EXPECT_NE(run.status, 0) << run.err;
        ASSERT_NE(run.err, "") << args.size();
        for (const std::string& line : Lines(run.err))
            EXPECT_EQ(line.rfind("zk405-cli: ", 0), 0u) << "\"" << line << "\" of\n" << run.err;
        EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << run.err;
    }
    EXPECT_NE(Cli({"program"}).err.find("see zk405-cli help program"), std::string::npos);
}

TEST(CliConventions, ListTellsOfThePortsItLeavesOut) {
    DeviceDirectory devices({"ttyS0", "ttyS1", "ttyS2"});
    ASSERT_TRUE(devices.Ready());
    EXPECT_EQ(Cli({"list"}).err, "");
    CSerialPort first, second;
    ASSERT_EQ(first.Open("com2", 9600), 0);
    const CliRun one = Cli({"list"});
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(Lines(one.out).size(), 2u) << one.out;
    EXPECT_EQ(one.err, "zk405-cli: 1 more port exists but cannot be opened: zk405-cli list --all\n");
    ASSERT_EQ(second.Open("com3", 9600), 0);
    EXPECT_EQ(Cli({"list"}).err,
              "zk405-cli: 2 more ports exist but cannot be opened: zk405-cli list --all\n");
    // --all shows them, and JSON is for a script, which has --all to ask.
    for (const Strings& args :
         {Strings{"list", "--all"}, Strings{"list", "--json"}, Strings{"list", "--all", "--json"}}) {
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "") << args.back();
    }
}

} // namespace
