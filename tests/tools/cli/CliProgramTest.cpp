// zk405-cli against simulated modules on pseudo-terminals, run in-process (and once as a program): what
// reaches each module, what each port's log holds, what the tool reports and its exit status. The
// windows' own code path, run on a module of its own, is the expectation for the bytes and the logs.
#include "CliApp.h"
#include "CliRun.h"
#include "LogNames.h"
#include "ChildProcess.h"
#include "Deadline.h"
#include "DeviceDirectory.h"
#include "FakeSysfs.h"
#include "CliPorts.h"
#include "ModuleCommands.h"
#include "MonitorEndpoint.h"
#include "MonitorFormat.h"
#include "OtherProgram.h"
#include "PseudoTerminal.h"
#include "TempDir.h"
#include "Transcript.h"
#include "Secret.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Json = nlohmann::json;
using Strings = std::vector<std::string>;

// A zk405-sim process playing count modules, each with a transcript of its own.
class Modules {
public:
    Modules(const TempDir& dir, const std::string& tag, size_t count, Strings options = {}) {
        m_transcript = dir.File("transcript-" + tag);
        Strings args = {ZK405_SIM_PROGRAM, "--count", std::to_string(count), "--transcript", m_transcript};
        args.insert(args.end(), options.begin(), options.end());
        m_sim = std::make_unique<ChildProcess>(args);
        for (size_t i = 0; i < count; ++i)
            m_ports.push_back(m_sim->ReadLine());
        m_count = count;
    }
    const Strings& Ports() const { return m_ports; }
    Strings Received(size_t index) const {
        return Commands(ReadTranscript(m_count == 1 ? m_transcript : m_transcript + std::to_string(index)));
    }

private:
    std::unique_ptr<ChildProcess> m_sim;
    Strings m_ports;
    std::string m_transcript;
    size_t m_count = 0;
};

Strings Concat(Strings a, const Strings& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// zk405-cli as a program, started by a shell script that sets its streams or limits up; the script
// sees the program as "$0" and its arguments as "$@".
std::unique_ptr<ChildProcess> CliProgram(const std::string& script, const Strings& args) {
    return std::make_unique<ChildProcess>(Concat({"/bin/sh", "-c", script, ZK405_CLI_PROGRAM}, args));
}

std::vector<Json> JsonLines(const std::string& text) {
    std::vector<Json> objects;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line.front() == '{')
            objects.push_back(Json::parse(line));
    return objects;
}

// The bytes a traffic log records, read back from its hex columns; a dump line cut short loses some.
std::string LoggedBytes(const std::string& log) {
    std::string bytes;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        for (size_t i = 0; i + 2 < line.size() && std::isxdigit(static_cast<unsigned char>(line[i])) &&
                           std::isxdigit(static_cast<unsigned char>(line[i + 1])) && line[i + 2] == ' ';
             i += 3)
            bytes += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
    return bytes;
}

std::string Sent(const Strings& commands) {
    std::string bytes;
    for (const std::string& command : commands)
        bytes += command + "\r\n";
    return bytes;
}

// What the windows send for these settings and log for it: their ProgramModule, then the name query,
// on a module and in a directory of their own.
struct WindowTraffic {
    Strings commands;
    std::string log;
};
WindowTraffic WindowsProgram(const MODULE_SETTINGS& settings) {
    TempDir dir; // entered: the log is the windows' TxRx.log
    Modules module(dir, "window", 1);
    WindowTraffic traffic;
    {
        CSerialPort port;
        if (port.Open(module.Ports()[0].c_str(), 9600) != 0)
            return traffic;
        const module_commands::CommandLink link{&port, module_commands::SleepMilliseconds, true};
        ProgramModule(settings, link);
        std::string name;
        QueryModuleName(name, link);
    }
    traffic.commands = module.Received(0);
    traffic.log = ReadWholeFile(dir.File("TxRx.log"));
    return traffic;
}

class CliProgramTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1); }
    TempDir m_dir;
};

TEST_F(CliProgramTest, ManyPortsAtOnceSendTheWindowsBytesWithDistinctNamesAndLogEach) {
    Modules modules(m_dir, "a", 3, {"--reply-delay-ms", "20"});
    const CliRun run = Cli(Concat({"program"}, Concat(modules.Ports(), {"--name", "Łódź {n} {port}", "--pin", "0042",
                                                                         "--flow", "RTS/CTS", "--auth", "remember",
                                                                         "--json"})));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Json> objects = run.Objects();
    ASSERT_EQ(objects.size(), 3u);
    // Concurrent: three modules take little more than one (five exchanges of 20 ms each).
    EXPECT_LT(run.seconds, 1.0);

    for (size_t i = 0; i < 3; ++i) {
        const std::string port = modules.Ports()[i];
        EXPECT_EQ(objects[i]["port"], port);
        EXPECT_EQ(objects[i]["status"], 0);
        ASSERT_EQ(objects[i]["steps"].size(), 5u);
        for (const Json& step : objects[i]["steps"])
            EXPECT_EQ(step["outcome"], "confirmed") << step;
        EXPECT_NE(run.err.find(port + ": pin OK "), std::string::npos) << run.err;

        MODULE_SETTINGS settings;
        settings.setName = settings.setPin = settings.setFlow = settings.setAuth = 1;
        settings.name = "\xA3\xF3\x64\x9F " + std::to_string(i + 1) + " " + port;
        settings.pin = "0042";
        settings.protocolLabel = "RTS/CTS";
        settings.authChoice = 1;
        const WindowTraffic window = WindowsProgram(settings);
        ASSERT_EQ(window.commands.size(), 5u);
        EXPECT_EQ(modules.Received(i), window.commands);
        EXPECT_EQ(ReadWholeFile(m_dir.File(objects[i]["log"].get<std::string>())), window.log);
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("TxRx.log")));
}

TEST_F(CliProgramTest, OnePortLogsToTheWindowsFileAndPresetsFillWhatOptionsLeave) {
    Modules module(m_dir, "one", 1);
    std::ofstream(m_dir.File("line.preset")) << "# line 3\nname=Linia 3\npin=1111\nflow=BRAK\n";
    const CliRun run = Cli({"program", module.Ports()[0], "--preset", m_dir.File("line.preset"), "--pin", "2222"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(module.Received(0), (Strings{"AT+BNAME=Linia 3", "AT+BPIN=2222", "AT+BFLOW=0", "AT+BNAME?"}));
    EXPECT_NE(ReadWholeFile(m_dir.File("TxRx.log")).find("AT+BPIN=2222"), std::string::npos);
    // The summary table is the result, on stdout; the progress lines are on stderr.
    EXPECT_EQ(run.out.rfind("port", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("result"), std::string::npos) << run.out;
    EXPECT_EQ(run.err.find("result"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(": pin OK "), std::string::npos) << run.err;
}

TEST_F(CliProgramTest, BadInputSendsNothingAnywhere) {
    Modules modules(m_dir, "bad", 2);
    std::ofstream(m_dir.File("broken.preset")) << "name=A\nspeed=9600\n";
    const std::vector<Strings> cases = {
        {"--name", "Drukarka 名"},
        {"--name", std::string(32, 'n')},
        {"--pin", std::string(17, '1')},
        {"--flow", "xon"}, // xon/xoff is the label in another letter case, taken
        {"--auth", "sometimes"},
        {"--name", "Linia {N}"},
        {"--name", ""},
        {"--pin", "", "--name", "X"},
        {"--pin-file", m_dir.File("missing.pin")},
        {},
        {"--preset", m_dir.File("missing.preset")},
        {"--preset", m_dir.File("broken.preset")},
        {"--name", std::string(24, 'n') + "{port}"}, // too long for the second port only
        {"--name", "X", "--retries", "3"},
    };
    for (const Strings& options : cases) {
        const CliRun run = Cli(Concat(Concat({"program"}, modules.Ports()), options));
        EXPECT_EQ(run.status, 1) << options.size();
        EXPECT_NE(run.err, "");
    }
    EXPECT_EQ(Cli({"program", modules.Ports()[0], modules.Ports()[0], "--pin", "1"}).status, 1);
    const CliRun notAnAddress = Cli({"name", "bt:zz"});
    EXPECT_EQ(notAnAddress.status, 1);
    EXPECT_NE(notAnAddress.err.find("no Bluetooth address"), std::string::npos) << notAnAddress.err;
    // One device under two spellings is named twice all the same.
    const std::string& first = modules.Ports()[0];
    const std::string doubled = first.substr(0, first.rfind('/')) + "//" + first.substr(first.rfind('/') + 1);
    const std::string link = m_dir.File("module-link");
    ASSERT_EQ(symlink(first.c_str(), link.c_str()), 0);
    for (const std::string& other : {doubled, link}) {
        const CliRun twice = Cli({"program", first, modules.Ports()[1], other, "--pin", "1"});
        EXPECT_EQ(twice.status, 1) << other;
        EXPECT_NE(twice.err.find("the port " + other + " is named twice"), std::string::npos) << twice.err;
    }
    EXPECT_EQ(Cli({"erase", modules.Ports()[0]}).status, 1);
    EXPECT_EQ(Cli({}).status, 1);
    EXPECT_TRUE(modules.Received(0).empty());
    EXPECT_TRUE(modules.Received(1).empty());
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("TxRx.log")));
}

TEST_F(CliProgramTest, ARefusingModuleGivesFourAndTheOthersAreStillConfirmed) {
    Modules good(m_dir, "good", 2);
    Modules refusing(m_dir, "refusing", 1, {"--refuse", "AT+BPIN"});
    const Strings ports = {good.Ports()[0], refusing.Ports()[0], good.Ports()[1]};
    const CliRun run = Cli(Concat(Concat({"program"}, ports), {"--name", "P{n}", "--pin", "7", "--json"}));
    EXPECT_EQ(run.status, 4) << run.err;
    const std::vector<Json> objects = run.Objects();
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[0]["status"], 0);
    EXPECT_EQ(objects[2]["status"], 0);
    EXPECT_EQ(objects[1]["status"], 4);
    EXPECT_EQ(objects[1]["steps"][1]["outcome"], "refused");
    EXPECT_EQ(objects[1]["steps"][2]["step"], "name read back"); // the name itself was taken
    EXPECT_EQ(objects[1]["steps"][2]["outcome"], "confirmed");
    EXPECT_NE(run.err.find(ports[1] + ": pin ERROR"), std::string::npos) << run.err;
    // What to do next belongs to the failure: in its object, in the table after the reason, and with --quiet.
    EXPECT_EQ(objects[1].value("hint", ""), "program it again; if it refuses the PIN again, set the module aside");
    EXPECT_FALSE(objects[0].contains("hint")) << objects[0];
    EXPECT_NE(run.err.find("(the module refused the pin; program it again; if it refuses the PIN again, set the "
                           "module aside)\n"),
              std::string::npos)
        << run.err;
    const CliRun quiet = Cli({"program", refusing.Ports()[0], "--pin", "7", "--quiet"});
    EXPECT_EQ(quiet.status, 4);
    const std::string failure = "\nzk405-cli: " + refusing.Ports()[0] +
                                ": the module refused the pin; program it again; if it refuses the PIN again, set "
                                "the module aside\n";
    ASSERT_GT(quiet.err.size(), failure.size()) << quiet.err;
    EXPECT_EQ(quiet.err.substr(quiet.err.size() - failure.size()), failure) << quiet.err;

    // Sent as the windows send, without looking: nothing to report but what went out.
    const CliRun blind = Cli({"program", refusing.Ports()[0], "--pin", "8", "--no-verify", "--json"});
    EXPECT_EQ(blind.status, 0);
    ASSERT_EQ(blind.Objects().size(), 1u);
    EXPECT_EQ(blind.Objects()[0]["steps"][0]["outcome"], "sent");
}

TEST_F(CliProgramTest, ASilentModuleGivesThreeAfterTheCappedWait) {
    Modules silent(m_dir, "silent", 1, {"--silent"});
    Modules prompt(m_dir, "prompt", 1);
    const CliRun run = Cli({"program", silent.Ports()[0], prompt.Ports()[0], "--name", "N", "--json"});
    EXPECT_EQ(run.status, 3);
    const std::vector<Json> objects = run.Objects();
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]["status"], 3);
    ASSERT_EQ(objects[0]["steps"].size(), 1u); // an unconfirmed name is not read back
    EXPECT_EQ(objects[0]["steps"][0]["outcome"], "silent");
    EXPECT_EQ(objects[0]["message"], "the module did not answer the name command");
    EXPECT_NE(objects[0].value("hint", "").find("configuration mode (hold its button until the LED blinks "
                                                          "every half second) and check that this is its port"),
              std::string::npos)
        << objects[0];
    EXPECT_NE(run.err.find("(the module did not answer the name command; put the module in configuration mode"),
              std::string::npos)
        << run.err;
    EXPECT_GE(objects[0]["steps"][0]["seconds"].get<double>(), 0.99);
    EXPECT_LT(objects[0]["steps"][0]["seconds"].get<double>(), 1.5);
    EXPECT_EQ(objects[1]["status"], 0);
    EXPECT_LT(objects[1]["seconds"].get<double>(), 0.5);
}

TEST_F(CliProgramTest, PortsThatDoNotOpenGiveTwoWithTheReason) {
    Modules modules(m_dir, "held", 2);
    CSerialPort holder;
    ASSERT_EQ(holder.Open(modules.Ports()[1].c_str(), 9600), 0);
    const std::string missing = m_dir.File("no-such-port");
    const CliRun run = Cli({"program", modules.Ports()[0], modules.Ports()[1], missing, "--pin", "5", "--json"});
    EXPECT_EQ(run.status, 2);
    const std::vector<Json> objects = run.Objects();
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[0]["status"], 0);
    EXPECT_NE(objects[1]["message"].get<std::string>().find("busy"), std::string::npos) << objects[1];
    EXPECT_EQ(objects[1]["reason"], "exclusive") << "the holder set the exclusive flag";
    EXPECT_NE(objects[2]["message"].get<std::string>().find("missing"), std::string::npos) << objects[2];
    EXPECT_EQ(objects[2]["reason"], "missing");
    EXPECT_EQ(objects[0].count("reason"), 0u) << "a port that opened has no reason";
    EXPECT_NE(run.err.find(missing + ": cannot open: missing"), std::string::npos) << run.err;
    EXPECT_EQ(modules.Received(1), Strings{});
    // The holder is this very test, named with its PID; a missing port points at the list.
    std::string self;
    std::getline(std::ifstream("/proc/self/comm"), self);
    EXPECT_EQ(objects[2].value("hint", ""), "plug the module's adapter in, or pick a port that is there (zk405-cli list shows them)");
    const std::string close = "; close " + self + " (PID " + std::to_string(getpid()) + ") or pick another port";
    EXPECT_EQ(objects[1].value("hint", ""), close.substr(2));
    const size_t busy = run.err.find(modules.Ports()[1] + ": cannot open: busy: ");
    ASSERT_NE(busy, std::string::npos) << run.err;
    const std::string busyLine = run.err.substr(busy, run.err.find('\n', busy) - busy);
    EXPECT_EQ(busyLine.substr(busyLine.size() - std::min(busyLine.size(), close.size())), close) << busyLine;
    // name's failures and --quiet keep the hint too.
    const CliRun name = Cli({"name", modules.Ports()[1], missing, "--quiet"});
    EXPECT_EQ(name.status, 2);
    EXPECT_NE(name.err.find(missing + ": cannot open: missing: there is no " + missing +
                            "; plug the module's adapter in, or pick a port that is there (zk405-cli list shows them)\n"),
              std::string::npos)
        << name.err;
    EXPECT_NE(name.err.find("; close " + self + " (PID "), std::string::npos) << name.err;
}

TEST_F(CliProgramTest, NamesAreReadAsTheWindowReadsThem) {
    Modules modules(m_dir, "names", 2, {"--name", "Kaldor Łódź", "--echo"});
    const CliRun run = Cli(Concat({"name"}, modules.Ports()));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, modules.Ports()[0] + "\tKaldor Łódź\n" + modules.Ports()[1] + "\tKaldor Łódź\n");
    const CliRun json = Cli({"name", modules.Ports()[0], "--json", "--quiet"});
    ASSERT_EQ(json.Objects().size(), 1u);
    EXPECT_EQ(json.Objects()[0]["name"], "Kaldor Łódź");
    EXPECT_EQ(json.Objects()[0]["result"], "read"); // nothing was programmed
    EXPECT_EQ(json.err, "");
}

TEST_F(CliProgramTest, FixedWaitKeepsTheWindowsSecondPerCommand) {
    Modules module(m_dir, "fixed", 1);
    const CliRun fixed = Cli({"program", module.Ports()[0], "--flow", "BRAK", "--auth", "always", "--fixed-wait"});
    EXPECT_EQ(fixed.status, 0) << fixed.err;
    EXPECT_GE(fixed.seconds, 2.0);
    const CliRun driven = Cli({"program", module.Ports()[0], "--flow", "BRAK", "--auth", "always"});
    EXPECT_EQ(driven.status, 0) << driven.err;
    EXPECT_LT(driven.seconds, 0.5);
    EXPECT_EQ(module.Received(0), (Strings{"AT+BFLOW=0", "AT+BSEC=1", "AT+BFLOW=0", "AT+BSEC=1"}));
}

TEST_F(CliProgramTest, ListShowsWhatThePortWindowOffersWithTheDevicesAndWhatTheyAre) {
    DeviceDirectory devices({"ttyS0", "ttyS1", "ttyS9", "rfcomm0"});
    ASSERT_TRUE(devices.Ready());
    CSerialPort holder;
    ASSERT_EQ(holder.Open("com2", 9600), 0);
    const CliRun run = Cli({"list"});
    EXPECT_EQ(run.status, 0);
    const std::string dir = devices.Path();
    const auto pty = [&](size_t index) { return "pty\tPseudo-terminal " + devices.Terminal(index).SlavePath(); };
    EXPECT_EQ(run.out, "com1\t" + dir + "/ttyS0\t" + pty(0) + "\ncom10\t" + dir + "/ttyS9\t" + pty(2) +
                           "\ncom97\t" + dir + "/rfcomm0\t" + pty(3) + "\n");
    const std::vector<Json> objects = Cli({"list", "--json"}).Objects();
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[2], (Json{{"port", "com97"},
                                {"device", dir + "/rfcomm0"},
                                {"kind", "pty"},
                                {"description", "Pseudo-terminal " + devices.Terminal(3).SlavePath()},
                                {"address", nullptr},
                                {"remote_name", nullptr},
                                {"direction", nullptr}}));

    // --all adds the port that is held, with the reason, and still leaves out the ones that are missing.
    const std::vector<Json> all = Cli({"list", "--all", "--json"}).Objects();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0]["openable"], true);
    EXPECT_FALSE(all[0].contains("reason"));
    EXPECT_EQ(all[2]["port"], "com2");
    EXPECT_EQ(all[2]["openable"], false);
    EXPECT_EQ(all[2]["kind"], "pty");
    EXPECT_EQ(all[2]["reason"], "exclusive") << all[2];
    EXPECT_NE(all[2]["message"].get<std::string>().find("busy"), std::string::npos) << all[2];
    EXPECT_NE(all[2].value("hint", "").find(") or pick another port"), std::string::npos) << all[2];
    const CliRun text = Cli({"list", "--all"});
    EXPECT_NE(text.out.find("com2\t" + dir + "/ttyS1\t" + pty(1) + "\tcannot be opened: busy"), std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find(") or pick another port\n"), std::string::npos) << text.out;
    holder.Close();
    EXPECT_EQ(Cli({"list", "--all", "--json"}).Objects()[2]["openable"], true);
}

// What a USB adapter or a Bluetooth device says of itself reaches the terminal escaped, one port to a
// line, as a module's name does; JSON carries it as it came.
TEST_F(CliProgramTest, ListShowsDeviceTextsEscaped) {
    Sysfs sysfs;
    sysfs.UsbSerialAdapter("UART\x1B]0;x\x07\xC2\x9B" "2J\xC2\x85");
    sysfs.Rfcomm("rfcomm0", "00:1a:7d:da:71:13", "3");
    const SysfsRootFor root(sysfs.Root());
    DeviceDirectory devices({"ttyS0"});
    ASSERT_TRUE(devices.Ready());
    for (const char* device : {"ttyUSB0", "rfcomm0"}) // device files no terminal is behind: --all shows them
        std::ofstream(devices.Path() + "/" + device).put('\n');
    const port_info::RemoteNameLookup hostile = [](const std::string&) {
        return std::optional<std::string>("ZK\n405\x1B[2J\xC2\x9B");
    };
    std::ostringstream text;
    EXPECT_EQ(zk405_cli::ListPorts(false, true, hostile, text, std::cerr), 0);
    const std::string shown = text.str();
    EXPECT_EQ(shown.find('\x1B'), std::string::npos) << shown;
    EXPECT_EQ(shown.find("\xC2\x9B"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("\xC2\x85"), std::string::npos) << shown;
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 3) << shown;
    EXPECT_NE(shown.find("FTDI UART\\x1B]0;x\\x07\\u009B2J\\u0085"), std::string::npos) << shown;
    EXPECT_NE(shown.find("outgoing to ZK\\n405\\x1B[2J\\u009B (00:1A:7D:DA:71:13)"), std::string::npos) << shown;

    std::ostringstream json;
    EXPECT_EQ(zk405_cli::ListPorts(true, true, hostile, json, std::cerr), 0);
    bool found = false;
    for (const Json& port : JsonLines(json.str()))
        found = found || port["remote_name"] == "ZK\n405\x1B[2J\xC2\x9B";
    EXPECT_TRUE(found) << json.str();
}

// The version itself is checked with every other program's (programs_print_their_version).
TEST_F(CliProgramTest, TheProgramTellsItsExitStatuses) {
    ChildProcess help({ZK405_CLI_PROGRAM, "--help"});
    EXPECT_NE(help.ReadToEnd().find("4  a module refused or did not confirm"), std::string::npos);
    EXPECT_EQ(help.Wait(), 0);

    Modules module(m_dir, "program", 1);
    ChildProcess bad({ZK405_CLI_PROGRAM, "program", module.Ports()[0]});
    EXPECT_EQ(bad.Wait(), 1);
    ChildProcess good({ZK405_CLI_PROGRAM, "program", module.Ports()[0], "--name", "Z", "--json", "--quiet"});
    const Json object = Json::parse(good.ReadToEnd());
    EXPECT_EQ(good.Wait(), 0);
    EXPECT_EQ(object["steps"][1]["reply"], "Z");

    // One rule for a ledger that cannot be used, in every subcommand that takes one: a name of no
    // format the tool writes is bad usage; a file that cannot be opened or read is the ledger's status.
    const std::string missing = m_dir.File("no-such-folder/ledger.csv");
    const std::string unknown = m_dir.File("ledger.txt");
    const Strings settings = {"--pin", "1234"};
    const struct {
        Strings args;
        int status;
    } cases[] = {
        {Concat({"program", module.Ports()[0], "--ledger", missing}, settings), 7},
        {Concat({"program", module.Ports()[0], "--ledger", unknown}, settings), 1},
        {Concat({"station", "--watch-dir", m_dir.Path(), "--ledger", missing}, settings), 7},
        {Concat({"station", "--watch-dir", m_dir.Path(), "--ledger", unknown}, settings), 1},
        {{"ledger", missing}, 7},
        {{"ledger", "--check", missing}, 7},
        {{"ledger", unknown}, 1},
    };
    for (const auto& c : cases) {
        const CliRun run = Cli(c.args);
        EXPECT_EQ(run.status, c.status) << c.args[0] << " " << c.args.back() << ": " << run.err;
        EXPECT_NE(run.err.find("zk405-cli: "), std::string::npos) << run.err;
    }
    EXPECT_EQ(module.Received(0).size(), 2u) << "nothing is sent without the ledger";
}

// Ctrl+C, kill and a closed terminal end the exchange under way: the port's flag and lock are given
// back, its log holds every byte that went out, and the report says how far each port got.
TEST_F(CliProgramTest, StopSignalsEndTheRunCleanlyWithAReport) {
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        Modules module(m_dir, "signal" + std::to_string(sig), 1, {"--reply-delay-ms", "300"});
        const std::string port = module.Ports()[0];
        const Strings args = {"program", port, "--name", "Przerwany nr 1", "--pin", "1234", "--flow", "BRAK",
                              "--auth", "always", "--json"};
        // SIGHUP's run reports as text, on stderr, for the person who is still there.
        const std::unique_ptr<ChildProcess> cli = sig == SIGHUP
                                                      ? CliProgram(R"(exec "$0" "$@" 2>&1)", Strings(args.begin(), args.end() - 1))
                                                      : CliProgram(R"(exec "$0" "$@")", args);
        ASSERT_TRUE(WaitUntil(Deadline(5000), std::chrono::milliseconds(5),
                              [&] { return module.Received(0).size() >= 2; }));
        ASSERT_TRUE(cli->Signal(sig));
        const std::string output = cli->ReadToEnd();
        EXPECT_EQ(cli->Wait(), 128 + sig) << output;

        const Strings received = module.Received(0);
        EXPECT_LT(received.size(), 5u); // the name was never read back
        EXPECT_EQ(LoggedBytes(ReadWholeFile(m_dir.File("TxRx.log"))), Sent(received));
        EXPECT_EQ(ReadWholeFile(m_dir.File("TxRx.log")).back(), '\n');
        EXPECT_FALSE(std::filesystem::exists(UucpLockPath(port)));
        CSerialPort again;
        EXPECT_EQ(again.Open(port.c_str(), 9600), 0) << "the port is still held";

        const std::string stopped = "stopped by signal " + std::to_string(sig);
        if (sig == SIGHUP) {
            EXPECT_NE(output.find("failed (interrupted)"), std::string::npos) << output;
            EXPECT_NE(output.find(stopped), std::string::npos) << output;
            continue;
        }
        const std::vector<Json> objects = JsonLines(output);
        ASSERT_EQ(objects.size(), 1u) << output;
        EXPECT_EQ(objects[0]["status"], 128 + sig);
        EXPECT_EQ(objects[0]["result"], "failed");
        EXPECT_EQ(objects[0]["failure"], "interrupted");
        EXPECT_NE(objects[0]["message"].get<std::string>().find(stopped), std::string::npos);
        EXPECT_EQ(objects[0]["steps"].size(), received.size());
        EXPECT_EQ(objects[0]["log"], "TxRx.log");
    }

    // SIGKILL cannot be caught: the flag and the lock stay behind, and the next run tells them from a
    // living holder's. Root takes the port back; a user learns what happened.
    Modules module(m_dir, "killed", 1, {"--reply-delay-ms", "300"});
    const std::string port = module.Ports()[0];
    const std::unique_ptr<ChildProcess> killed = CliProgram(R"(exec "$0" "$@")", {"program", port, "--name", "Zabity"});
    ASSERT_TRUE(WaitUntil(Deadline(5000), std::chrono::milliseconds(5), [&] { return !module.Received(0).empty(); }));
    ASSERT_TRUE(killed->Signal(SIGKILL));
    EXPECT_EQ(killed->Wait(), 128 + SIGKILL);
    const CliRun next = Cli({"name", port, "--json"});
    if (geteuid() == 0) {
        EXPECT_EQ(next.status, 0) << next.err;
        CSerialPort again;
        EXPECT_EQ(again.Open(port.c_str(), 9600), 0) << "and hands it back clear";
    } else {
        EXPECT_EQ(next.status, 2);
        ASSERT_EQ(next.Objects().size(), 1u);
        EXPECT_EQ(next.Objects()[0]["reason"], "stale-exclusive") << next.out;
    }
}

// A reader that goes away (| head -1) or a full disk never stops the programming half-way; a report
// that could not be written has a status of its own.
TEST_F(CliProgramTest, ClosedOrFullStreamsNeverStopTheProgramming) {
    Modules module(m_dir, "streams", 1, {"--reply-delay-ms", "20"});
    const Strings args = {"program", module.Ports()[0], "--name", "N", "--pin", "1", "--flow", "BRAK", "--auth",
                          "always"};
    // stderr's reader is gone before the first progress line; the JSON and the status reach the test.
    const std::unique_ptr<ChildProcess> closed =
        CliProgram(R"(exec 3>&1; { "$0" "$@" 2>&1 >&3; echo "status $?" >&3; } | true)", Concat(args, {"--json"}));
    const std::string output = closed->ReadToEnd(10000);
    EXPECT_NE(output.find("status 0"), std::string::npos) << output;
    ASSERT_EQ(JsonLines(output).size(), 1u) << output;
    EXPECT_EQ(JsonLines(output)[0]["steps"].size(), 5u);
    EXPECT_EQ(module.Received(0).size(), 5u);

    const std::unique_ptr<ChildProcess> fullOut = CliProgram(R"(exec "$0" "$@" >/dev/full)", Concat(args, {"--json"}));
    EXPECT_EQ(fullOut->Wait(10000), 5);
    EXPECT_EQ(module.Received(0).size(), 10u);
    // The summary table is the report in text: lost with stdout, kept when only stderr is lost.
    const std::unique_ptr<ChildProcess> fullTable = CliProgram(R"(exec "$0" "$@" >/dev/full)", args);
    EXPECT_EQ(fullTable->Wait(10000), 5);
    EXPECT_EQ(module.Received(0).size(), 15u);
    const std::unique_ptr<ChildProcess> fullErr = CliProgram(R"(exec "$0" "$@" 2>/dev/full)", args);
    EXPECT_EQ(fullErr->Wait(10000), 0);
    // The report written, only the progress lost: the ports' own status.
    const std::unique_ptr<ChildProcess> progressLost =
        CliProgram(R"(exec "$0" "$@" 2>/dev/full)", Concat(args, {"--json"}));
    EXPECT_EQ(progressLost->Wait(10000), 0);

    // A stream closed outright (2>&- to silence a command) is not a free number for the port or the
    // ledger to take: the progress would go out to the module as commands, the report into the ledger.
    const std::unique_ptr<ChildProcess> noErr = CliProgram(R"(exec "$0" "$@" 2>&-)", args);
    EXPECT_EQ(noErr->Wait(10000), 0);
    const std::unique_ptr<ChildProcess> noErrJson =
        CliProgram(R"(exec 3>&1; "$0" "$@" --json 2>&- >&3; echo "status $?")", args);
    const std::string report = noErrJson->ReadToEnd(10000);
    EXPECT_NE(report.find("status 0"), std::string::npos) << report;
    const std::vector<Json> reported = JsonLines(report);
    ASSERT_EQ(reported.size(), 1u) << report;
    for (const Json& step : reported[0]["steps"])
        EXPECT_EQ(step["outcome"], "confirmed") << step.dump();
    EXPECT_EQ(module.Received(0).size(), 35u);
    const std::string ledger = m_dir.File("closed.jsonl");
    const std::unique_ptr<ChildProcess> noOut =
        CliProgram(R"(exec "$0" "$@" --json >&- 2>/dev/null)", Concat(args, {"--ledger", ledger}));
    EXPECT_EQ(noOut->Wait(10000), 0);
    const CliRun check = Cli({"ledger", "--check", ledger});
    EXPECT_EQ(check.status, 0) << check.err << ReadWholeFile(ledger);
}

// No thread for a port (a process limit) is that port's failure, reported like any other.
TEST_F(CliProgramTest, PortsWithoutAThreadFailWithAReport) {
    // AddressSanitizer reserves terabytes of address space for its shadow before main() runs.
    if (std::getenv("ASAN_OPTIONS") != nullptr)
        GTEST_SKIP() << "an address space of 1 GiB cannot hold AddressSanitizer's shadow";
    Modules modules(m_dir, "limits", 2);
    // Thread stacks of 4 GiB in an address space of 1 GiB: no thread can be made.
    const std::unique_ptr<ChildProcess> cli =
        CliProgram(R"(ulimit -s 4194304 && ulimit -v 1048576 && exec "$0" "$@")",
                   Concat({"program"}, Concat(modules.Ports(), {"--pin", "1", "--json"})));
    const std::vector<Json> objects = JsonLines(cli->ReadToEnd());
    EXPECT_EQ(cli->Wait(), 2);
    ASSERT_EQ(objects.size(), 2u);
    for (const Json& object : objects) {
        EXPECT_EQ(object["status"], 2);
        EXPECT_NE(object["message"].get<std::string>().find("no thread"), std::string::npos) << object;
    }
    EXPECT_TRUE(modules.Received(0).empty());
}

// A directory, an endless device or a FIFO that nobody writes to is no preset: refused at once.
TEST_F(CliProgramTest, PresetsThatAreNoFilesAreRefusedAtOnce) {
    Modules module(m_dir, "presets", 1);
    const std::string fifo = m_dir.File("preset.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& preset : {m_dir.Path(), std::string("/dev/zero"), fifo}) {
        const std::unique_ptr<ChildProcess> cli =
            CliProgram(R"(exec "$0" "$@" 2>&1)", {"program", module.Ports()[0], "--preset", preset});
        const std::string output = cli->ReadToEnd();
        EXPECT_EQ(cli->Wait(), 1) << preset;
        EXPECT_NE(output.find("cannot read the preset " + preset + ": "), std::string::npos) << output;
    }
    EXPECT_TRUE(module.Received(0).empty());
}

// Each port's log is its own, and the report names only a log that was written.
TEST_F(CliProgramTest, EveryPortGetsItsOwnLogAndTheReportNamesOnlyWrittenOnes) {
    Modules modules(m_dir, "logs", 2);
    const std::string spaced = m_dir.File("x y");
    const std::string underscored = m_dir.File("x_y");
    std::filesystem::create_symlink(modules.Ports()[0], spaced);
    std::filesystem::create_symlink(modules.Ports()[1], underscored);
    const CliRun run = Cli({"program", spaced, underscored, "--pin", "77", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Json> objects = run.Objects();
    ASSERT_EQ(objects.size(), 2u);
    ASSERT_NE(objects[0]["log"], objects[1]["log"]);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(LoggedBytes(ReadWholeFile(m_dir.File(objects[i]["log"].get<std::string>()))),
                  Sent(modules.Received(i)));

    std::filesystem::create_directory(m_dir.File("TxRx.log")); // no log can be made there
    const CliRun unlogged = Cli({"program", spaced, "--pin", "78", "--json"});
    EXPECT_EQ(unlogged.status, 0) << unlogged.err;
    ASSERT_EQ(unlogged.Objects().size(), 1u);
    EXPECT_FALSE(unlogged.Objects()[0].contains("log"));
    EXPECT_NE(unlogged.Objects()[0]["logProblem"].get<std::string>().find("TxRx.log"), std::string::npos);
    const CliRun table = Cli({"program", spaced, "--pin", "79"});
    EXPECT_NE(table.out.find("programmed  0."), std::string::npos) << table.out;
    EXPECT_NE(table.out.find(" s    -  (no log: TxRx.log could not be created)"), std::string::npos) << table.out;
}

// A line flow control holds is the port's failure, not the module's silence, and is not retried.
TEST_F(CliProgramTest, AStuckLineIsToldFromASilentModule) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.HoldPortOutput());
    const CliRun run = Cli({"program", pty.SlavePath(), "--pin", "1", "--flow", "BRAK", "--json"});
    EXPECT_EQ(run.status, 2) << run.err;
    ASSERT_EQ(run.Objects().size(), 1u);
    const Json object = run.Objects()[0];
    EXPECT_EQ(object["result"], "failed");
    EXPECT_EQ(object["failure"], "line-stuck");
    EXPECT_NE(object["message"].get<std::string>().find("the line is stuck"), std::string::npos) << object;
    ASSERT_EQ(object["steps"].size(), 1u); // the flow command was not tried after it
    EXPECT_EQ(object["steps"][0]["outcome"], "stuck");
    EXPECT_LT(run.seconds, 3.5);
    EXPECT_NE(run.err.find(": pin line stuck"), std::string::npos) << run.err;

    const CliRun name = Cli({"name", pty.SlavePath(), "--json"});
    EXPECT_EQ(name.status, 2);
    EXPECT_LT(name.seconds, 3.5); // one attempt, not eleven
    ASSERT_EQ(name.Objects().size(), 1u);
    EXPECT_EQ(name.Objects()[0]["steps"][0]["outcome"], "stuck");
}

// The PIN goes to the module and into the traffic log, private to its owner, and nowhere else: not into
// reports, and with --pin-file or --pin - not onto the command line, nor echoed on the terminal.
TEST_F(CliProgramTest, ThePinStaysOutOfReportsAndTheCommandLine) {
    Modules module(m_dir, "pin", 1);
    const std::string port = module.Ports()[0];
    const CliRun given = Cli({"program", port, "--pin", "4817", "--json"});
    ASSERT_EQ(given.Objects().size(), 1u) << given.err;
    EXPECT_EQ(given.Objects()[0]["steps"][0]["command"], "AT+BPIN=****\r\n");
    EXPECT_FALSE(ShowsPin(given.out, "4817")) << given.out;
    EXPECT_FALSE(ShowsPin(given.err, "4817")) << given.err;
    EXPECT_NE(LoggedBytes(ReadWholeFile(m_dir.File("TxRx.log"))).find("AT+BPIN=4817"), std::string::npos);

    std::ofstream(m_dir.File("pin")) << "5928\r\n";
    EXPECT_EQ(Cli({"program", port, "--pin-file", m_dir.File("pin")}).status, 0);
    EXPECT_EQ(Cli({"program", port, "--pin-file", m_dir.File("pin"), "--pin", "1"}).status, 1);
    const std::unique_ptr<ChildProcess> piped = CliProgram(R"(printf '6039\n' | exec "$0" "$@")", {"program", port, "--pin", "-"});
    EXPECT_EQ(piped->Wait(10000), 0);

    // Typed at a terminal: not echoed, and the terminal's echo given back afterwards.
    PseudoTerminal terminal; // made raw for modules: a person's terminal echoes and edits lines
    termios cooked{};
    ASSERT_EQ(tcgetattr(terminal.MasterFd(), &cooked), 0);
    cooked.c_lflag |= ECHO | ICANON;
    ASSERT_EQ(tcsetattr(terminal.MasterFd(), TCSANOW, &cooked), 0);
    const std::unique_ptr<ChildProcess> typed =
        CliProgram("exec \"$0\" \"$@\" <" + terminal.SlavePath(), {"program", port, "--pin", "-"});
    const auto echoing = [&] {
        termios mode{};
        return tcgetattr(terminal.MasterFd(), &mode) == 0 && (mode.c_lflag & ECHO) != 0;
    };
    const Deadline deadline(10000);
    while (echoing() && !deadline.Passed())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(echoing()) << "no prompt";
    ASSERT_EQ(write(terminal.MasterFd(), "7140\n", 5), 5);
    EXPECT_EQ(typed->Wait(10000), 0);
    EXPECT_EQ(terminal.Drain().find("7140"), std::string::npos);
    EXPECT_TRUE(echoing());

    Strings pins;
    for (const std::string& command : module.Received(0))
        if (command.rfind("AT+BPIN=", 0) == 0)
            pins.push_back(command.substr(8));
    EXPECT_EQ(pins, (Strings{"4817", "5928", "6039", "7140"}));
}

// A module's name reaches the terminal escaped (it could retitle or clear it otherwise); JSON carries
// it as it is.
TEST_F(CliProgramTest, ModuleTextIsEscapedForTheTerminal) {
    Modules module(m_dir, "escapes", 1, {"--name", "Zły\x1B]0;x\x07\x1B[2J"});
    const CliRun run = Cli({"name", module.Ports()[0]});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, module.Ports()[0] + "\tZły\\x1B]0;x\\x07\\x1B[2J\n");
    const CliRun json = Cli({"name", module.Ports()[0], "--json"});
    ASSERT_EQ(json.Objects().size(), 1u);
    EXPECT_EQ(json.Objects()[0]["name"], "Zły\x1B]0;x\x07\x1B[2J");
    EXPECT_EQ(json.err.find('\x1B'), std::string::npos) << json.err;
}

// Several ports mirror to one monitor: each message says its port. One port mirrors the log as is.
TEST_F(CliProgramTest, SeveralPortsTagTheirMirrorAndOnePortMirrorsTheLog) {
    CMonitorEndpoint endpoint;
    std::string error;
    ASSERT_TRUE(endpoint.Create(error)) << error;
    const auto receiveAll = [&endpoint] {
        std::vector<std::string> messages;
        for (std::string message; endpoint.Receive(message, 100) == CMonitorEndpoint::Receipt::kMessage;)
            messages.push_back(message);
        return messages;
    };
    Modules modules(m_dir, "mirror", 2);
    ASSERT_EQ(Cli(Concat({"program"}, Concat(modules.Ports(), {"--pin", "1"}))).status, 0);
    std::map<std::string, std::string> printed; // by port, the tag taken off again
    for (const std::string& message : receiveAll()) {
        ASSERT_EQ(message.front(), '\x01') << message;
        const size_t end = message.find('\x02');
        ASSERT_NE(end, std::string::npos);
        printed[message.substr(1, end - 1)] += FormatMessage(message.substr(end + 1), false);
    }
    ASSERT_EQ(printed.size(), 2u);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(printed[modules.Ports()[i]],
                  ReadWholeFile(m_dir.File(provisioning::LogFilesFor(modules.Ports())[i])));

    ASSERT_EQ(Cli({"program", modules.Ports()[0], "--pin", "2"}).status, 0);
    std::string single;
    for (const std::string& message : receiveAll())
        single += FormatMessage(message, false);
    EXPECT_EQ(single, ReadWholeFile(m_dir.File("TxRx.log")));
}

} // namespace
