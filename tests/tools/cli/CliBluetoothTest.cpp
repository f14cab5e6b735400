// zk405-cli over Bluetooth, on a private system bus where a stand-in bluetoothd (python-dbusmock's
// BlueZ, tests/support/fake_bluetoothd.py) plays the adapters and devices and hands each connection to
// a zk405-sim at the far end of a socket: scan, the bt: connection against the same run over a
// pseudo-terminal, every refusal with its reason, a link that drops mid-exchange, Ctrl+C and the
// bounds on every wait for BlueZ, and a bluetoothd that starts again under a station.
#include "BluetoothBus.h"
#include "Secret.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>

namespace {

using namespace cli_bluetooth;
using Json = nlohmann::json;

// Each test has addresses of its own: the locks in /run/lock are shared by tests that run at once.
constexpr const char* kModule = "AA:BB:CC:DD:E1:01";
constexpr const char* kSecond = "AA:BB:CC:DD:E1:02";

// One adapter with the module (paired, trusted, offering the profile) and whatever else a test adds.
Strings Scene(Strings more = {}, const std::string& module = kModule) {
    Strings scene = {"--adapter", "hci0", "--device", "hci0", module, "ZK405 Kasa 1", "paired,trusted,spp"};
    scene.insert(scene.end(), more.begin(), more.end());
    return scene;
}

class CliBluetoothTest : public BluetoothBusTest {};

TEST_F(CliBluetoothTest, ScanListsTheDevicesOfferingTheSerialPortProfileWithTheirStateAndBoundPort) {
    FakeBluez bluez(m_dir, Scene({"--device", "hci0", kSecond, "Drukarka", "spp",                    // not paired
                                  "--device", "hci0", "AA:BB:CC:DD:EE:03", "Telefon", "paired",     // no profile
                                  "--device", "hci0", "AA:BB:CC:DD:EE:04", "Daleki", "spp,nearby,rssi=-61"}));
    ASSERT_TRUE(bluez.Ready());
    // rfcomm7 is bound to the module, in lower case as the kernel writes it; rfcomm2 to someone else.
    const std::string sysfs = m_dir.File("sys");
    for (const auto& [tty, address] : {std::pair{"rfcomm7", "aa:bb:cc:dd:e1:01"}, {"rfcomm2", "11:22:33:44:55:66"}}) {
        std::filesystem::create_directories(sysfs + "/class/tty/" + tty);
        std::ofstream(sysfs + "/class/tty/" + tty + "/address") << address << "\n";
    }

    const CliRun known = CliProcess({"scan", "--json", "--sysfs-root", sysfs});
    ASSERT_EQ(known.status, 0) << known.out;
    const std::vector<Json> devices = known.Objects();
    ASSERT_EQ(devices.size(), 2u) << known.out;
    EXPECT_EQ(devices[0], (Json{{"address", kModule}, {"name", "ZK405 Kasa 1"}, {"paired", true}, {"bonded", true},
                                {"trusted", true}, {"connected", false}, {"nearby", false}, {"rssi", nullptr},
                                {"port", "/dev/rfcomm7"}, {"matches", nullptr}}));
    EXPECT_EQ(devices[1]["address"], kSecond);
    EXPECT_EQ(devices[1]["paired"], false);
    EXPECT_TRUE(devices[1]["port"].is_null());

    // A discovery adds the nearby device, with its signal strength, and stops again.
    const CliRun nearby = CliProcess({"scan", "--json", "--discover", "1", "--sysfs-root", sysfs});
    ASSERT_EQ(nearby.status, 0);
    const std::vector<Json> found = nearby.Objects();
    ASSERT_EQ(found.size(), 3u) << nearby.out;
    EXPECT_EQ(found[2]["address"], "AA:BB:CC:DD:EE:04");
    EXPECT_EQ(found[2]["rssi"], -61);
    EXPECT_EQ(found[2]["nearby"], true);
    EXPECT_EQ(found[2]["bonded"], false);
    EXPECT_EQ(found[0]["nearby"], false);
    const std::string calls = ReadWholeFile(m_dir.File("bluez.log"));
    EXPECT_NE(calls.find("SetDiscoveryFilter {\"Transport\": \"bredr\"}"), std::string::npos) << calls;
    EXPECT_LT(calls.find("StartDiscovery"), calls.find("StopDiscovery")) << calls;

    const CliRun table = CliProcess({"scan", "--sysfs-root", sysfs});
    EXPECT_EQ(table.status, 0);
    EXPECT_NE(table.out.find(std::string(kModule) + "  ZK405 Kasa 1  yes     yes      no         -     /dev/rfcomm7"),
              std::string::npos)
        << table.out;

    // Whether each name matches, in a column of its own and in JSON; no device is left out for it.
    const CliRun matched = CliProcess({"scan", "--json", "--match", "zk405*", "--sysfs-root", sysfs});
    ASSERT_EQ(matched.Objects().size(), 3u) << matched.out;
    EXPECT_EQ(matched.Objects()[0]["matches"], true);
    EXPECT_EQ(matched.Objects()[1]["matches"], false);
    EXPECT_EQ(matched.Objects()[2]["matches"], false);
    const CliRun column = CliProcess({"scan", "--match", "zk405*", "--sysfs-root", sysfs});
    EXPECT_NE(column.out.find("/dev/rfcomm7  yes     no      yes\n"), std::string::npos) << column.out;
    EXPECT_NE(column.out.find("Drukarka      no      no       no         -     -             no      no      no\n"),
              std::string::npos)
        << column.out;
}

TEST_F(CliBluetoothTest, NameAndProgramOverBluetoothPutTheSameBytesOnTheLineAndInTheLogAsOverAPseudoTerminal) {
    const std::string module = "AA:BB:CC:DD:E2:01";
    const Strings settings = {"--name", "Kasa {n}", "--pin", "0042", "--flow", "RTS/CTS", "--auth", "remember"};
    // The pseudo-terminal run, in a directory of its own: the log of each command's run, and the line.
    Strings ptyLogs;
    std::vector<std::string> ptyCommands;
    {
        TempDir ptyDir;
        ChildProcess sim({ZK405_SIM_PROGRAM, "--transcript", ptyDir.File("transcript")});
        const std::string port = sim.ReadLine();
        Strings args = {"program", port};
        args.insert(args.end(), settings.begin(), settings.end());
        ASSERT_EQ(CliProcess(args).status, 0);
        ptyLogs.push_back(ReadWholeFile(ptyDir.File("TxRx.log")));
        ASSERT_EQ(CliProcess({"name", port}).status, 0);
        ptyLogs.push_back(ReadWholeFile(ptyDir.File("TxRx.log")));
        ptyCommands = Commands(ReadTranscript(ptyDir.File("transcript")));
    }

    FakeBluez bluez(m_dir, Scene({}, module));
    ASSERT_TRUE(bluez.Ready());
    Strings args = {"program", Bt(module), "--json"};
    args.insert(args.end(), settings.begin(), settings.end());
    const CliRun program = CliProcess(args);
    ASSERT_EQ(program.status, 0) << program.out;
    EXPECT_EQ(program.Objects().at(0)["result"], "programmed");
    EXPECT_FALSE(program.Objects().at(0).contains("failure"));
    EXPECT_EQ(ReadWholeFile(m_dir.File("TxRx.log")), ptyLogs[0]);
    // A link per connection: the second run meets a module of its own, as it would after a reconnect.
    const CliRun name = CliProcess({"name", Bt(module)});
    ASSERT_EQ(name.status, 0);
    EXPECT_EQ(name.out, Bt(module) + "\tZK405\n");
    EXPECT_EQ(ReadWholeFile(m_dir.File("TxRx.log")), ptyLogs[1]);

    // Both connections' commands land in the one transcript.
    EXPECT_EQ(Commands(ReadTranscript(m_dir.File("transcript-" + module))), ptyCommands);
    // The profile is a client of the Serial Port Profile, registered before the connection was asked for.
    const std::string calls = ReadWholeFile(m_dir.File("bluez.log"));
    EXPECT_NE(calls.find("RegisterProfile \"/org/zk405/serial_port\" \"00001101-0000-1000-8000-00805f9b34fb\""),
              std::string::npos)
        << calls;
    EXPECT_NE(calls.find("\"Role\": \"client\""), std::string::npos);
    EXPECT_LT(calls.find("RegisterProfile"), calls.find("ConnectProfile \"00001101-0000-1000-8000-00805f9b34fb\""));
    // The lock went with the link.
    EXPECT_FALSE(std::filesystem::exists(LockOf(module)));
}

TEST_F(CliBluetoothTest, TwoDevicesAtOnceEachGetTheirOwnLinkAndAnAddressInUseIsBusy) {
    FakeBluez bluez(m_dir, Scene({"--device", "hci0", kSecond, "ZK405 Kasa 2", "paired,spp"}));
    ASSERT_TRUE(bluez.Ready());
    const CliRun both = CliProcess({"program", Bt(kModule), Bt(kSecond), "--name", "Kasa {n}", "--json"});
    // Both links were asked for at once: one profile takes both connections.
    ASSERT_EQ(both.status, 0) << both.out;
    EXPECT_EQ(Commands(ReadTranscript(m_dir.File(std::string("transcript-") + kModule))).at(0), "AT+BNAME=Kasa 1");
    EXPECT_EQ(Commands(ReadTranscript(m_dir.File(std::string("transcript-") + kSecond))).at(0), "AT+BNAME=Kasa 2");

    // The same address twice in one run, written in another letter case, is one port named twice.
    EXPECT_EQ(CliProcess({"name", Bt(kModule), "bt:aa:bb:cc:dd:e1:01"}).status, 1);

    // Another of our programs holds the link: its lock names a living process.
    const std::string lock = LockOf(kModule);
    std::ofstream(lock) << "      " << getpid() << "\n";
    const CliRun busy = CliProcess({"name", Bt(kModule), "--json"});
    std::filesystem::remove(lock);
    EXPECT_EQ(busy.status, 2);
    const Json refused = busy.Objects().at(0);
    EXPECT_EQ(refused["reason"], "locked") << busy.out;
    EXPECT_NE(refused["message"].get<std::string>().find(lock), std::string::npos) << busy.out;
    EXPECT_TRUE(refused["steps"].empty());
}

struct Refusal {
    const char* name;
    Strings scene;      // empty: no stand-in bluetoothd at all
    std::string address;
    const char* reason; // the JSON reason
    const char* said;   // part of the message
};

void PrintTo(const Refusal& refusal, std::ostream* out) {
    *out << refusal.name;
}

class CliBluetoothRefusalTest : public CliBluetoothTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(CliBluetoothRefusalTest, ARefusedConnectionGivesTwoWithItsReasonAndSendsNothing) {
    const Refusal& refusal = GetParam();
    std::unique_ptr<FakeBluez> bluez;
    if (!refusal.scene.empty()) {
        bluez = std::make_unique<FakeBluez>(m_dir, refusal.scene);
        ASSERT_TRUE(bluez->Ready());
    }
    const CliRun run = CliProcess({"program", Bt(refusal.address), "--pin", "1234", "--json"});
    EXPECT_EQ(run.status, 2) << run.out;
    const Json result = run.Objects().at(0);
    EXPECT_EQ(result["reason"], refusal.reason) << run.out;
    EXPECT_NE(result["message"].get<std::string>().find(refusal.said), std::string::npos) << run.out;
    EXPECT_TRUE(result["steps"].empty());
    // Bounded: the device that never calls back is given up after the test's 1.5 s.
    EXPECT_LT(run.seconds, 5.0);
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("transcript-" + refusal.address)));
    EXPECT_FALSE(std::filesystem::exists(LockOf(refusal.address)));
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, CliBluetoothRefusalTest,
    ::testing::Values(
        Refusal{"BluezNotRunning", {}, "AA:BB:CC:DD:E3:01", "bluetooth-unavailable", "not running"},
        Refusal{"NoAdapter", {"--powered-off", "hci9"}, "AA:BB:CC:DD:E3:02", "no-adapter", "no Bluetooth adapter is ready (none is present)"},
        Refusal{"AdapterOff", Scene({"--powered-off", "hci0"}, "AA:BB:CC:DD:E3:03"), "AA:BB:CC:DD:E3:03", "no-adapter",
                "powered off"},
        Refusal{"UnknownDevice", Scene({}, "AA:BB:CC:DD:E3:04"), "AA:BB:CC:DD:E3:09", "device-unknown",
                "bluetoothctl pair AA:BB:CC:DD:E3:09"},
        Refusal{"NotPaired", Scene({"--device", "hci0", "AA:BB:CC:DD:E3:05", "Obcy", "spp"}), "AA:BB:CC:DD:E3:05",
                "device-unknown", "bluetoothctl pair AA:BB:CC:DD:E3:05"},
        Refusal{"NoSerialProfile", Scene({"--device", "hci0", "AA:BB:CC:DD:E3:06", "Telefon", "paired"}),
                "AA:BB:CC:DD:E3:06", "no-serial-profile", "Serial Port Profile"},
        Refusal{"Refused", Scene({"--device", "hci0", "AA:BB:CC:DD:E3:07", "Zajety", "paired,spp,answer=refuse"}),
                "AA:BB:CC:DD:E3:07", "connection-refused", "br-connection-refused"},
        Refusal{"NeverCalledBack", Scene({"--device", "hci0", "AA:BB:CC:DD:E3:08", "Cichy", "paired,spp,answer=silent"}),
                "AA:BB:CC:DD:E3:08", "connection-timed-out", "within 1.5 s"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST_F(CliBluetoothTest, ALinkThatDropsMidExchangeIsToldFromASilentModuleAtOnce) {
    const std::string module = "AA:BB:CC:DD:E4:01";
    FakeBluez bluez(m_dir, Scene({"--device", "hci0", module, "Zrywa", "paired,spp,answer=drop"}));
    ASSERT_TRUE(bluez.Ready());
    for (const char* command : {"name", "program"}) {
        Strings args = {command, Bt(module), "--json"};
        if (std::string(command) == "program")
            args.insert(args.end(), {"--name", "X", "--pin", "1"});
        const CliRun run = CliProcess(args);
        EXPECT_EQ(run.status, 3) << run.out;
        const Json result = run.Objects().at(0);
        EXPECT_EQ(result["result"], "failed") << run.out;
        EXPECT_EQ(result["failure"], "link-lost") << run.out;
        EXPECT_EQ(result["steps"].at(0)["outcome"], "link-lost") << run.out;
        EXPECT_NE(result["message"].get<std::string>().find("link to the module dropped"), std::string::npos);
        // Not the eleven seconds of name attempts a silent module gets.
        EXPECT_LT(run.seconds, 3.0) << command;
    }
}

TEST_F(CliBluetoothTest, AStationProgramsAModulePairedWhileItWaitsAndLeavesTheOnesPairedBefore) {
    FakeBluez bluez(m_dir, Scene({"--device", "hci0", kSecond, "Nowa", "paired,trusted,spp,later=1.5"}));
    ASSERT_TRUE(bluez.Ready());
    const std::string watched = m_dir.File("dev");
    std::filesystem::create_directories(watched);
    const std::string ledger = m_dir.File("ledger.jsonl");
    const CliRun run = CliProcess({"station", "--bluetooth", "--watch-dir", watched, "--ledger", ledger, "--name",
                            "Kasa {n}", "--pin", "2468", "--once", "1", "--json"});
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_FALSE(std::filesystem::exists(m_dir.File(std::string("transcript-") + kModule)));
    const Strings commands = Commands(ReadTranscript(m_dir.File(std::string("transcript-") + kSecond)));
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(commands[1], "AT+BNAME=Kasa 1");
    std::ifstream records(ledger);
    bool done = false;
    for (std::string line; std::getline(records, line);) {
        EXPECT_FALSE(ShowsPin(line, "2468")) << line;
        const Json record = Json::parse(line);
        EXPECT_EQ(record.value("port", ""), Bt(kSecond));
        done = done || (record.value("bluetooth", "") == kSecond && record.value("result", "") == "programmed");
    }
    EXPECT_TRUE(done);
}

// --- Stops and bounds: Ctrl+C ends every wait on BlueZ at once, and a bluetoothd that answers nothing
// costs a bound of our own, told as such.

TEST_F(CliBluetoothTest, CtrlCEndsADiscoveryAtOnceStopsItAndEndsAsAStoppedRun) {
    FakeBluez bluez(m_dir, Scene({}, "AA:BB:CC:DD:E5:01"));
    ASSERT_TRUE(bluez.Ready());
    RunningCli scan({"scan", "--discover", "12", "--json"});
    const std::string log = m_dir.File("bluez.log");
    ASSERT_TRUE(WaitForText(log, "StartDiscovery", 10000));
    const CliRun run = scan.Interrupt();
    EXPECT_EQ(run.status, 130) << run.out;
    EXPECT_LT(run.seconds, 2.0);
    ASSERT_FALSE(run.Objects().empty()) << run.out;
    EXPECT_EQ(run.Objects().at(0)["reason"], "stopped") << run.out;
    EXPECT_NE(run.Objects().at(0)["message"].get<std::string>().find("signal 2"), std::string::npos) << run.out;
    const std::string calls = ReadWholeFile(log);
    ASSERT_NE(calls.find("StopDiscovery"), std::string::npos) << calls;
    EXPECT_LT(calls.find("StartDiscovery"), calls.find("StopDiscovery"));
}

TEST_F(CliBluetoothTest, CtrlCWhileBluezHoldsTheConnectionIsAStopNotATimeOutAndLeavesNothingHalfMade) {
    const std::string module = "AA:BB:CC:DD:E5:02";
    FakeBluez bluez(m_dir, Scene({"--device", "hci0", module, "Daleko", "paired,spp,answer=hold"}));
    ASSERT_TRUE(bluez.Ready());
    // Far longer than the stop may take, so that a time-out cannot pass for it.
    setenv("ZK405_BLUETOOTH_CONNECT_MS", "10000", 1);
    RunningCli name({"name", Bt(module), "--json"});
    ASSERT_EQ(bluez.NextLine(10000).rfind("held ", 0), 0u);
    const CliRun run = name.Interrupt();
    EXPECT_EQ(run.status, 130) << run.out;
    EXPECT_LT(run.seconds, 2.0);
    ASSERT_FALSE(run.Objects().empty()) << run.out;
    const Json result = run.Objects().at(0);
    EXPECT_EQ(result["reason"], "stopped") << run.out;
    EXPECT_NE(result["message"].get<std::string>().find("stopped by signal 2"), std::string::npos) << run.out;
    EXPECT_TRUE(result["steps"].empty());
    // bluetoothd is told to give the connection up, and the lock went with the open.
    EXPECT_TRUE(WaitForText(m_dir.File("bluez.log"), "DisconnectProfile \"00001101", 2000));
    EXPECT_FALSE(std::filesystem::exists(LockOf(module)));
}

TEST_F(CliBluetoothTest, ABluetoothdThatAnswersNothingIsToldFromOneNotRunningWellBeforeTheBusTimeOut) {
    const std::string module = "AA:BB:CC:DD:E5:03";
    FakeBluez bluez(m_dir, Scene({}, module));
    ASSERT_TRUE(bluez.Ready());
    setenv("ZK405_BLUEZ_ANSWER_MS", "1000", 1);
    // It keeps its name on the bus and answers nothing, as a bluetoothd stuck on a wedged adapter.
    ASSERT_TRUE(bluez.Signal(SIGSTOP));
    for (const Strings& args : {Strings{"name", Bt(module), "--json"}, Strings{"scan", "--json"},
                                Strings{"scan", "--discover", "5", "--json"}}) {
        const CliRun run = CliProcess(args);
        EXPECT_EQ(run.status, 2) << args[0] << ": " << run.out;
        ASSERT_FALSE(run.Objects().empty()) << run.out;
        const Json result = run.Objects().at(0);
        EXPECT_EQ(result["reason"], "bluetooth-not-answering") << run.out;
        const std::string message = result["message"];
        EXPECT_NE(message.find("BlueZ does not answer"), std::string::npos) << message;
        EXPECT_NE(message.find("restart the Bluetooth service"), std::string::npos) << message;
        EXPECT_EQ(message.find("not running"), std::string::npos) << message;
        EXPECT_LT(run.seconds, 5.0) << args[0];
        EXPECT_FALSE(std::filesystem::exists(LockOf(module)));
    }
}

TEST_F(CliBluetoothTest, AConnectionOfferedByAnotherPeerOfTheBusIsRefusedAndItsSocketClosed) {
    const std::string module = "AA:BB:CC:DD:E5:04";
    FakeBluez bluez(m_dir, Scene({"--device", "hci0", module, "Podstep", "paired,spp,answer=rogue"}));
    ASSERT_TRUE(bluez.Ready());
    const CliRun run = CliProcess({"name", Bt(module)});
    EXPECT_EQ(bluez.NextLine(), "rogue NewConnection refused: org.bluez.Error.Rejected");
    EXPECT_EQ(bluez.NextLine(), "rogue socket closed");
    // bluetoothd's own connection, which came after, is the one taken.
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, Bt(module) + "\tZK405\n");
}

// --- A bluetoothd that ends and starts again under a running station.

TEST_F(CliBluetoothTest, AStationOutlivingBluetoothdRegistersItsProfileWithTheNewOneAndTakesItsModules) {
    const std::string before = "AA:BB:CC:DD:E6:00";
    const std::string first = "AA:BB:CC:DD:E6:01";
    const std::string second = "AA:BB:CC:DD:E6:02";
    auto bluez = std::make_unique<FakeBluez>(
        m_dir, Scene({"--device", "hci0", first, "Pierwszy", "paired,trusted,spp,later=0.5"}, before));
    ASSERT_TRUE(bluez->Ready());
    const std::string watched = m_dir.File("dev");
    std::filesystem::create_directories(watched);
    const std::string ledger = m_dir.File("ledger.jsonl");
    RunningCli station({"station", "--bluetooth", "--watch-dir", watched, "--ledger", ledger, "--name", "Kasa {n}",
                        "--once", "2", "--json"});
    // The first module is programmed through the first bluetoothd, which then has our profile.
    ASSERT_NE(station.LineWith({"\"tally\"", Bt(first)}, 15000), "");
    bluez.reset();
    bluez = std::make_unique<FakeBluez>(
        m_dir, Scene({"--device", "hci0", second, "Drugi", "paired,trusted,spp,later=0.5"}, before), "bluez-again.log");
    ASSERT_TRUE(bluez->Ready());
    const CliRun run = station.End(15000);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(Commands(ReadTranscript(m_dir.File("transcript-" + second))).at(0), "AT+BNAME?");
    EXPECT_NE(ReadWholeFile(m_dir.File("bluez-again.log")).find("RegisterProfile"), std::string::npos);
    // The module paired before the station began is left alone by the new bluetoothd's objects too.
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("transcript-" + before)));
    std::ifstream records(ledger);
    std::set<std::string> programmed;
    for (std::string line; std::getline(records, line);) {
        const Json record = Json::parse(line);
        if (record.value("result", "") == "programmed")
            programmed.insert(record.value("bluetooth", ""));
    }
    EXPECT_EQ(programmed, (std::set<std::string>{first, second})) << run.out;
}

} // namespace

// A nearby device chooses its own name: it reaches the terminal escaped, one device to a line, the
// columns still lined up; JSON carries it as it came.
TEST_F(CliBluetoothTest, ScanShowsADevicesOwnNameEscaped) {
    const std::string hostile = "Zły\x1B]0;x\x07\n\xC2\x9B" "2J";
    FakeBluez bluez(m_dir, Scene({"--device", "hci0", kSecond, hostile, "spp"}));
    ASSERT_TRUE(bluez.Ready());
    const CliRun table = CliProcess({"scan"});
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(table.out.find_first_of("\x1B\x07"), std::string::npos) << table.out;
    EXPECT_EQ(table.out.find("\xC2\x9B"), std::string::npos) << table.out;
    EXPECT_EQ(std::count(table.out.begin(), table.out.end(), '\n'), 3) << table.out;
    const std::string shown = "Zły\\x1B]0;x\\x07\\n\\u009B2J";
    EXPECT_NE(table.out.find(std::string(kSecond) + "  " + shown + "  no "), std::string::npos) << table.out;
    // "ZK405 Kasa 1" padded to the escaped name's 25 columns (26 bytes: the ł takes two).
    EXPECT_NE(table.out.find(std::string(kModule) + "  ZK405 Kasa 1" + std::string(13, ' ') + "  yes"),
              std::string::npos)
        << table.out;
    const CliRun json = CliProcess({"scan", "--json"});
    ASSERT_EQ(json.Objects().size(), 2u) << json.out;
    EXPECT_EQ(json.Objects()[1]["name"], hostile);
}
