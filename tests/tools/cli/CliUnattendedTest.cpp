// The unattended station on a private system bus: modules nobody paired, found by the station's own
// discovery one after another, paired with the PIN they have, programmed, their new PIN proved and
// their bond removed, with each step's end in the ledger; devices it must leave alone; and what is left
// when it is stopped mid-pairing or shares the bus with a person's desktop agent.
#include "BluetoothBus.h"
#include "Secret.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

using namespace cli_bluetooth;
using Json = nlohmann::json;

std::string Path(const std::string& address) {
    std::string path = "/org/bluez/hci0/dev_" + address;
    for (char& c : path)
        if (c == ':')
            c = '_';
    return path;
}

// The result records of a JSON Lines ledger, by the module's address.
std::map<std::string, Json> Results(const std::string& ledger) {
    std::map<std::string, Json> results;
    std::ifstream records(ledger);
    for (std::string line; std::getline(records, line);) {
        const Json record = Json::parse(line);
        if (record["event"] != "started")
            results[record.value("bluetooth", "")] = record;
    }
    return results;
}

class CliUnattendedTest : public BluetoothBusTest {
protected:
    std::string Calls() const { return ReadWholeFile(m_dir.File("bluez.log")); }
    std::string Ledger() const { return m_dir.File("ledger.jsonl"); }
    // A station that takes what its discovery finds, in an empty folder of ttys.
    Strings Station(Strings more) const {
        const std::string watched = m_dir.File("dev");
        std::filesystem::create_directories(watched);
        Strings args = {"station",    "--bluetooth", "--discover", "--pair-pin", "1234",   "--watch-dir",
                        watched,      "--ledger",    Ledger(),     "--name",     "Kasa {n}", "--json"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    // Our agent registered as often as unregistered, never as the default; the discovery stopped.
    void ExpectNothingLeft() const {
        const std::string calls = Calls();
        EXPECT_GT(Count(calls, kAgentRegistered), 0u) << calls;
        EXPECT_EQ(Count(calls, kAgentRegistered), Count(calls, kAgentUnregistered)) << calls;
        EXPECT_LT(calls.rfind(kAgentRegistered), calls.rfind(kAgentUnregistered)) << calls;
        ASSERT_NE(calls.rfind("StopDiscovery"), std::string::npos) << calls;
        EXPECT_LT(calls.rfind("StartDiscovery"), calls.rfind("StopDiscovery")) << calls;
    }
    // What the stand-in told until it fell quiet.
    static std::string Told(FakeBluez& bluez) {
        std::string told;
        for (std::string line = bluez.NextLine(500); !line.empty(); line = bluez.NextLine(500))
            told += line + "\n";
        return told;
    }
};

TEST_F(CliUnattendedTest, ThreeModulesFoundOneAfterAnotherArePairedProgrammedAndUnpairedAndNothingElseIsTouched) {
    const Strings modules = {"AA:BB:CC:DD:A1:01", "AA:BB:CC:DD:A1:02", "AA:BB:CC:DD:A1:03"};
    const std::string before = "AA:BB:CC:DD:A1:04", printer = "AA:BB:CC:DD:A1:05", phone = "AA:BB:CC:DD:A1:06";
    FakeBluez bluez(m_dir, {"--adapter", "hci0",                                                   //
                            "--device", "hci0", before, "ZK405 Stary", "spp,pin=1234",             // known before
                            "--device", "hci0", modules[0], "ZK405", "spp,pin=1234,found=0.3",     //
                            "--device", "hci0", printer, "Drukarka", "spp,pin=1234,found=0.5",     // no match
                            "--device", "hci0", phone, "ZK405 Telefon", "pin=1234,found=0.6",      // no SPP
                            "--device", "hci0", modules[1], "ZK405", "spp,pin=1234,found=1.2",     //
                            "--device", "hci0", modules[2], "ZK405", "spp,pin=1234,found=2.2"});
    ASSERT_TRUE(bluez.Ready());
    const CliRun run =
        CliProcess(Station({"--match", "zk405*", "--pin", "4321", "--unpair-after", "--once", "3"}), 30000);
    ASSERT_EQ(run.status, 0) << run.out;
    const std::map<std::string, Json> results = Results(Ledger());
    ASSERT_EQ(results.size(), 3u) << ReadWholeFile(Ledger());
    for (const std::string& module : modules) {
        ASSERT_EQ(results.count(module), 1u) << module << "\n" << ReadWholeFile(Ledger());
        const Json& record = results.at(module);
        EXPECT_EQ(record["result"], "programmed") << record;
        EXPECT_EQ(record["steps"], Json({"pair=paired", "program=programmed", "unpair=unpaired"})) << record;
        const Strings commands = Commands(ReadTranscript(m_dir.File("transcript-" + module)));
        ASSERT_GE(commands.size(), 3u) << module;
        EXPECT_EQ(commands[2], "AT+BPIN=4321");
    }
    for (const std::string& untouched : {before, printer, phone})
        EXPECT_FALSE(std::filesystem::exists(m_dir.File("transcript-" + untouched))) << untouched;
    // Neither PIN is anywhere but the traffic logs.
    for (const std::string& text : {ReadWholeFile(Ledger()), run.out})
        for (const char* pin : {"1234", "4321"})
            EXPECT_FALSE(ShowsPin(text, pin)) << text;
    EXPECT_EQ(Count(Calls(), "RemoveDevice"), 3u) << Calls();
    // Each module's pairing and the bond's removal are told as its other steps are.
    for (const std::string& module : modules)
        for (const char* step : {"pair", "unpair"})
            EXPECT_NE(run.out.find(Json({{"event", "progress"}, {"of", 1}, {"port", Bt(module)}, {"step", step},
                                         {"try", 1}})
                                       .dump()),
                      std::string::npos)
                << module << " " << step << "\n" << run.out;
    ExpectNothingLeft();
}

// A module the ledger has as done is known by its address before it is paired: it gets no bond and
// nobody is asked for its PIN, and its record says it was skipped.
TEST_F(CliUnattendedTest, SkipDoneLeavesAModuleProgrammedBeforeUnpaired) {
    const std::string module = "AA:BB:CC:DD:A5:01";
    const Strings scene = {"--adapter", "hci0", "--device", "hci0", module, "ZK405", "spp,pin=1234,found=0.3"};
    {
        FakeBluez first(m_dir, scene);
        ASSERT_TRUE(first.Ready());
        const CliRun done = CliProcess(Station({"--unpair-after", "--once", "1"}));
        ASSERT_EQ(done.status, 0) << done.out;
    }
    FakeBluez again(m_dir, scene, "bluez-again.log");
    ASSERT_TRUE(again.Ready());
    const CliRun run = CliProcess(Station({"--unpair-after", "--skip-done", "--once", "1"}));
    ASSERT_EQ(run.status, 0) << run.out;
    const Json record = Results(Ledger()).at(module);
    EXPECT_EQ(record["result"], "skipped") << record;
    EXPECT_NE(record["message"].get<std::string>().find("already programmed as #1"), std::string::npos) << record;
    const std::string told = Told(again), calls = ReadWholeFile(m_dir.File("bluez-again.log"));
    EXPECT_EQ(told.find("pair asked"), std::string::npos) << told;
    EXPECT_EQ(calls.find(kAgentRegistered), std::string::npos) << calls;
    EXPECT_EQ(calls.find("RemoveDevice"), std::string::npos) << calls;
    EXPECT_NE(calls.rfind("StopDiscovery"), std::string::npos) << calls;
}

TEST_F(CliUnattendedTest, ProvingThePinCatchesAModuleThatDidNotTakeItsNewOne) {
    const std::string good = "AA:BB:CC:DD:A2:01", stubborn = "AA:BB:CC:DD:A2:02";
    FakeBluez bluez(m_dir,
                    {"--adapter", "hci0", "--device", "hci0", good, "ZK405", "spp,pin=1234,found=0.3", "--device",
                     "hci0", stubborn, "ZK405", "spp,pin=1234,found=1.5,sim=--keep-pin"},
                    "bluez.log", true);
    ASSERT_TRUE(bluez.Ready());
    const CliRun run = CliProcess(Station({"--pin", "4321", "--prove-pin", "--unpair-after", "--once", "2"}), 40000);
    EXPECT_EQ(run.status, 4) << run.out;
    const std::map<std::string, Json> results = Results(Ledger());
    ASSERT_EQ(results.size(), 2u) << ReadWholeFile(Ledger());
    const Json& proved = results.at(good);
    EXPECT_EQ(proved["result"], "programmed") << proved;
    EXPECT_EQ(proved["steps"], Json({"pair=paired", "program=programmed", "prove-pin=proved", "unpair=unpaired"}));
    // The name read once more, over the link paired with the new PIN, is the one programmed.
    EXPECT_EQ(Commands(ReadTranscript(m_dir.File("transcript-" + good))).back(), "AT+BNAME?");
    EXPECT_NE(ReadWholeFile(m_dir.File("state-" + good)).find("name=Kasa 1"), std::string::npos);
    const Json& refused = results.at(stubborn);
    EXPECT_EQ(refused["result"], "failed") << refused;
    EXPECT_EQ(refused["failure"], "pin-not-proved") << refused;
    EXPECT_EQ(refused["status"], 4);
    EXPECT_EQ(refused["steps"].at(2), "prove-pin=wrong-pin") << refused;
    EXPECT_EQ(refused["steps"].back().get<std::string>().rfind("unpair=", 0), 0u) << refused;
    EXPECT_NE(refused["message"].get<std::string>().find("new PIN"), std::string::npos) << refused;
    bool hinted = false;
    for (const Json& event : run.Objects())
        hinted = hinted || event.value("hint", "").find("not the new PIN") != std::string::npos;
    EXPECT_TRUE(hinted) << run.out;
    ExpectNothingLeft();
}

TEST_F(CliUnattendedTest, CtrlCWhilePairingLeavesNoAgentNoDiscoveryAndNoBondOfOurs) {
    const std::string module = "AA:BB:CC:DD:A3:01";
    FakeBluez bluez(m_dir, {"--adapter", "hci0", "--device", "hci0", module, "ZK405", "spp,pin=1234,pair=hold,found=0.3"});
    ASSERT_TRUE(bluez.Ready());
    RunningCli station(Station({"--pin", "4321", "--unpair-after"}));
    ASSERT_EQ(bluez.NextLine(10000), "pair asked " + Path(module));
    ASSERT_EQ(bluez.NextLine(), "pair held " + Path(module));
    const CliRun run = station.Interrupt();
    EXPECT_EQ(run.status, 130) << run.out;
    EXPECT_LT(run.seconds, 3.0);
    const std::string told = Told(bluez);
    EXPECT_NE(told.find("pairing cancelled " + Path(module)), std::string::npos) << told;
    EXPECT_EQ(told.find("paired " + Path(module)), std::string::npos) << told;
    const std::map<std::string, Json> results = Results(Ledger());
    ASSERT_EQ(results.count(module), 1u) << ReadWholeFile(Ledger());
    EXPECT_EQ(results.at(module)["failure"], "interrupted");
    EXPECT_EQ(results.at(module)["steps"].at(0), "pair=stopped");
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("transcript-" + module)));
    ExpectNothingLeft();
}

TEST_F(CliUnattendedTest, APersonsDesktopAgentStaysTheDefaultAndIsNeverAskedForOurModules) {
    const std::string module = "AA:BB:CC:DD:A4:01";
    FakeBluez bluez(m_dir,
                    {"--desktop-agent", "--adapter", "hci0", "--device", "hci0", module, "ZK405", "spp,pin=1234,found=0.3"});
    ASSERT_TRUE(bluez.Ready());
    ASSERT_EQ(bluez.NextLine(10000), "desktop agent registered");
    const CliRun run = CliProcess(Station({"--pin", "4321", "--unpair-after", "--once", "1"}));
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(Results(Ledger()).at(module)["result"], "programmed");
    EXPECT_EQ(Told(bluez).find("desktop agent asked"), std::string::npos);
    const std::string calls = Calls();
    EXPECT_EQ(Count(calls, "RequestDefaultAgent"), 1u) << calls; // the desktop's own
    EXPECT_EQ(calls.find("UnregisterAgent \"/org/desktop/agent\""), std::string::npos) << calls;
    ExpectNothingLeft();
}

TEST(CliUnattendedUsage, StepsWithoutWhatTheyNeedAreBadUsage) {
    for (const Strings& args :
         {Strings{"station", "--ledger", "l.csv", "--name", "A", "--bluetooth", "--discover"},
          Strings{"station", "--ledger", "l.csv", "--name", "A", "--discover", "--pair-pin", "1234"},
          Strings{"station", "--ledger", "l.csv", "--name", "A", "--bluetooth", "--match", "ZK*"},
          Strings{"station", "--ledger", "l.csv", "--name", "A", "--bluetooth", "--pair-pin", "1234", "--prove-pin"},
          Strings{"program", "com5", "--name", "A", "--pair-pin", "1234"},
          Strings{"program", "bt:AA:BB:CC:DD:EE:01", "--name", "A", "--pair-pin", "12345678901234567"}}) {
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, 1) << args.back() << run.err;
        EXPECT_NE(run.err.find("nothing was sent"), std::string::npos) << run.err;
    }
}

} // namespace
