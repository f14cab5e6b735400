// zk405-cli pair and unpair on a private system bus, where the stand-in bluetoothd asks the program's
// own agent for the PIN over the bus as bluetoothd does: each outcome with its status and reason, the
// agent registered only while a pairing needs it (never as the default one) and unregistered however
// the pairing ends, and the agent's silence towards any other device or peer.
#include "BluetoothBus.h"
#include "Secret.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdlib>

namespace {

using namespace cli_bluetooth;
using Json = nlohmann::json;

// One adapter with an unpaired module that has PIN 7294, and whatever else a test adds.
Strings PairScene(const std::string& module, const std::string& flags = "spp,pin=7294", Strings more = {}) {
    Strings scene = {"--adapter", "hci0", "--device", "hci0", module, "ZK405 Nowy", flags};
    scene.insert(scene.end(), more.begin(), more.end());
    return scene;
}

class CliPairTest : public BluetoothBusTest {
protected:
    std::string Calls() const { return ReadWholeFile(m_dir.File("bluez.log")); }
    // As many UnregisterAgent as RegisterAgent, each after its own, and never the default agent.
    void ExpectAgentGone() const {
        const std::string calls = Calls();
        EXPECT_EQ(Count(calls, kAgentRegistered), Count(calls, kAgentUnregistered)) << calls;
        EXPECT_LT(calls.rfind(kAgentRegistered), calls.rfind(kAgentUnregistered)) << calls;
        EXPECT_EQ(calls.find("RequestDefaultAgent"), std::string::npos) << calls;
    }
};

Json DeviceIn(const CliRun& scan, const std::string& address) {
    for (const Json& device : scan.Objects())
        if (device["address"] == address)
            return device;
    return Json();
}

TEST_F(CliPairTest, PairGivesThePinThroughItsOwnAgentTrustsTheModuleAndUnpairRemovesTheBond) {
    const std::string module = "AA:BB:CC:DD:F1:01";
    FakeBluez bluez(m_dir, PairScene(module));
    ASSERT_TRUE(bluez.Ready());
    const CliRun paired = CliProcess({"pair", Bt(module), "--pin", "7294", "--json"});
    ASSERT_EQ(paired.status, 0) << paired.out;
    const Json result = paired.Objects().at(0);
    EXPECT_EQ(result["outcome"], "paired") << paired.out;
    EXPECT_EQ(result["result"], "paired");
    EXPECT_EQ(result["port"], Bt(module));
    EXPECT_EQ(result["hint"], "");
    EXPECT_FALSE(ShowsPin(paired.out, "7294")) << paired.out;
    EXPECT_EQ(bluez.NextLine(), "pair asked /org/bluez/hci0/dev_AA_BB_CC_DD_F1_01");
    EXPECT_EQ(bluez.NextLine(), "paired /org/bluez/hci0/dev_AA_BB_CC_DD_F1_01");
    const std::string calls = Calls();
    EXPECT_NE(calls.find(kAgentRegistered), std::string::npos) << calls;
    ExpectAgentGone();
    const Json device = DeviceIn(CliProcess({"scan", "--json"}), module);
    EXPECT_EQ(device["paired"], true) << device;
    EXPECT_EQ(device["trusted"], true) << device;

    // Paired already is done: told so, and no agent is asked for.
    const CliRun again = CliProcess({"pair", Bt(module), "--pin", "9999"});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, Bt(module) + "\talready paired\n");
    EXPECT_EQ(Count(Calls(), kAgentRegistered), 1u);

    const CliRun removed = CliProcess({"unpair", Bt(module), "--json"});
    EXPECT_EQ(removed.status, 0) << removed.out;
    EXPECT_EQ(removed.Objects().at(0)["outcome"], "unpaired") << removed.out;
    EXPECT_NE(Calls().find("RemoveDevice \"/org/bluez/hci0/dev_AA_BB_CC_DD_F1_01\""), std::string::npos);
    EXPECT_TRUE(DeviceIn(CliProcess({"scan", "--json"}), module).is_null());
    // Nothing left to remove: the address is told as unknown.
    const CliRun gone = CliProcess({"unpair", Bt(module), "--json"});
    EXPECT_EQ(gone.status, 2);
    EXPECT_EQ(gone.Objects().at(0)["outcome"], "unknown-device") << gone.out;
}

struct PairEnd {
    const char* name;
    Strings scene; // empty: no stand-in bluetoothd at all
    std::string address;
    int status;
    const char* outcome;
    const char* said; // part of the message
    bool agentAsked;  // the pairing went as far as our agent
};

void PrintTo(const PairEnd& end, std::ostream* out) {
    *out << end.name;
}

class CliPairEndTest : public CliPairTest, public ::testing::WithParamInterface<PairEnd> {};

TEST_P(CliPairEndTest, EachWayAPairingEndsHasItsStatusReasonAndHintAndLeavesNoAgent) {
    const PairEnd& end = GetParam();
    std::unique_ptr<FakeBluez> bluez;
    if (!end.scene.empty()) {
        bluez = std::make_unique<FakeBluez>(m_dir, end.scene);
        ASSERT_TRUE(bluez->Ready());
    }
    const CliRun run = CliProcess({"pair", Bt(end.address), "--pin", "7294", "--timeout", "1", "--json"});
    EXPECT_EQ(run.status, end.status) << run.out;
    ASSERT_EQ(run.Objects().size(), 1u) << run.out;
    const Json result = run.Objects().at(0);
    EXPECT_EQ(result["outcome"], end.outcome) << run.out;
    EXPECT_NE(result["message"].get<std::string>().find(end.said), std::string::npos) << run.out;
    EXPECT_FALSE(result["hint"].get<std::string>().empty()) << run.out;
    EXPECT_FALSE(ShowsPin(run.out, "7294")) << run.out;
    EXPECT_LT(run.seconds, 5.0);
    if (end.scene.empty())
        return;
    EXPECT_EQ(Calls().find(kAgentRegistered) != std::string::npos, end.agentAsked) << Calls();
    if (end.agentAsked)
        ExpectAgentGone();
    // A module that was known before stays known: nothing is removed on the way out.
    EXPECT_EQ(Calls().find("RemoveDevice"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, CliPairEndTest,
    ::testing::Values(
        PairEnd{"WrongPin", PairScene("AA:BB:CC:DD:F2:01", "spp,pin=0000"), "AA:BB:CC:DD:F2:01", 4, "wrong-pin",
                "AuthenticationFailed", true},
        PairEnd{"Refused", PairScene("AA:BB:CC:DD:F2:02", "spp,pair=reject"), "AA:BB:CC:DD:F2:02", 4, "refused",
                "AuthenticationRejected", true},
        PairEnd{"NoAnswer", PairScene("AA:BB:CC:DD:F2:03", "spp,pin=7294,pair=hold"), "AA:BB:CC:DD:F2:03", 3,
                "no-answer", "no answer within 1 s; the pairing was cancelled", true},
        PairEnd{"UnknownDevice", PairScene("AA:BB:CC:DD:F2:04"), "AA:BB:CC:DD:F2:09", 2, "unknown-device",
                "BlueZ does not know AA:BB:CC:DD:F2:09", false},
        PairEnd{"AdapterOff", PairScene("AA:BB:CC:DD:F2:05", "spp,pin=7294", {"--powered-off", "hci0"}),
                "AA:BB:CC:DD:F2:05", 2, "no-adapter", "hci0 is powered off", false},
        PairEnd{"NoAdapter", {"--powered-off", "hci9"}, "AA:BB:CC:DD:F2:06", 2, "no-adapter", "none is present",
                false},
        PairEnd{"BluezAbsent", {}, "AA:BB:CC:DD:F2:07", 2, "bluetooth-unavailable", "not running", false}),
    [](const ::testing::TestParamInfo<PairEnd>& info) { return std::string(info.param.name); });

TEST_F(CliPairTest, NoAnswerCancelsThePairingBeforeTheAgentGoes) {
    const std::string module = "AA:BB:CC:DD:F3:01";
    FakeBluez bluez(m_dir, PairScene(module, "spp,pin=7294,pair=hold"));
    ASSERT_TRUE(bluez.Ready());
    const CliRun run = CliProcess({"pair", Bt(module), "--pin", "7294", "--timeout", "1"});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, Bt(module) + "\tno answer\n");
    const std::string calls = Calls();
    ASSERT_NE(calls.find("CancelPairing"), std::string::npos) << calls;
    EXPECT_LT(calls.find("CancelPairing"), calls.find(kAgentUnregistered)) << calls;
}

TEST_F(CliPairTest, SigtermWhileBluezHoldsThePairingCancelsItUnregistersTheAgentAndEndsWith143) {
    const std::string module = "AA:BB:CC:DD:F3:02";
    FakeBluez bluez(m_dir, PairScene(module, "spp,pin=7294,pair=hold"));
    ASSERT_TRUE(bluez.Ready());
    // Far longer than the stop may take, so that a time-out cannot pass for it.
    RunningCli pair({"pair", Bt(module), "--pin", "7294", "--timeout", "60", "--json"});
    ASSERT_EQ(bluez.NextLine(10000), "pair asked /org/bluez/hci0/dev_AA_BB_CC_DD_F3_02");
    ASSERT_EQ(bluez.NextLine(), "pair held /org/bluez/hci0/dev_AA_BB_CC_DD_F3_02");
    const CliRun run = pair.Stop(SIGTERM);
    EXPECT_EQ(run.status, 143) << run.out;
    EXPECT_LT(run.seconds, 3.0);
    ASSERT_EQ(run.Objects().size(), 1u) << run.out;
    EXPECT_EQ(run.Objects().at(0)["outcome"], "stopped");
    EXPECT_NE(run.Objects().at(0)["message"].get<std::string>().find("signal 15"), std::string::npos) << run.out;
    EXPECT_EQ(bluez.NextLine(), "pairing cancelled /org/bluez/hci0/dev_AA_BB_CC_DD_F3_02");
    ExpectAgentGone();
}

TEST_F(CliPairTest, ABluetoothdThatEndsDuringThePairingIsToldAsSuchAtOnceNotAsNoAnswer) {
    const std::string module = "AA:BB:CC:DD:F3:04";
    auto bluez = std::make_unique<FakeBluez>(m_dir, PairScene(module, "spp,pin=7294,pair=hold"));
    ASSERT_TRUE(bluez->Ready());
    RunningCli pair({"pair", Bt(module), "--pin", "7294", "--timeout", "60", "--json"});
    ASSERT_EQ(bluez->NextLine(10000), "pair asked /org/bluez/hci0/dev_AA_BB_CC_DD_F3_04");
    ASSERT_EQ(bluez->NextLine(), "pair held /org/bluez/hci0/dev_AA_BB_CC_DD_F3_04");
    bluez.reset();
    const CliRun run = pair.End(10000);
    EXPECT_EQ(run.status, 2) << run.out;
    ASSERT_EQ(run.Objects().size(), 1u) << run.out;
    EXPECT_EQ(run.Objects().at(0)["outcome"], "bluetooth-unavailable") << run.out;
    EXPECT_NE(run.Objects().at(0)["message"].get<std::string>().find("left the bus"), std::string::npos) << run.out;
}

// The agent tells the PIN to bluetoothd alone, and only for the device it pairs.
TEST_F(CliPairTest, TheAgentRefusesAnotherDeviceAndAnotherPeerOfTheBus) {
    const std::string module = "AA:BB:CC:DD:F3:03";
    FakeBluez bluez(m_dir, PairScene(module, "spp,pin=7294,pair=probe"));
    ASSERT_TRUE(bluez.Ready());
    const CliRun run = CliProcess({"pair", Bt(module), "--pin", "7294"});
    EXPECT_EQ(bluez.NextLine(), "pair asked /org/bluez/hci0/dev_AA_BB_CC_DD_F3_03");
    EXPECT_EQ(bluez.NextLine(), "other device refused: org.bluez.Error.Rejected");
    EXPECT_EQ(bluez.NextLine(), "rogue refused: org.bluez.Error.Rejected");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, Bt(module) + "\tpaired\n");
}

TEST_F(CliPairTest, SeveralModulesEachGetTheirOwnOutcomeAndTheLowestFailingStatus) {
    const std::string good = "AA:BB:CC:DD:F4:01";
    const std::string wrong = "AA:BB:CC:DD:F4:02";
    FakeBluez bluez(m_dir, PairScene(good, "spp,pin=7294", {"--device", "hci0", wrong, "Inny", "spp,pin=4321"}));
    ASSERT_TRUE(bluez.Ready());
    const CliRun run = CliProcess({"pair", Bt(wrong), Bt(good), "--pin", "7294", "--json"});
    EXPECT_EQ(run.status, 4);
    ASSERT_EQ(run.Objects().size(), 2u) << run.out;
    EXPECT_EQ(run.Objects()[0]["outcome"], "wrong-pin");
    EXPECT_NE(run.Objects()[0]["hint"].get<std::string>().find("current PIN"), std::string::npos);
    EXPECT_EQ(run.Objects()[1]["outcome"], "paired");
    ExpectAgentGone();
}

TEST(CliPairUsage, AMissingPinOrAModuleThatIsNoBluetoothAddressIsBadUsage) {
    for (const Strings& args : {Strings{"pair", "bt:AA:BB:CC:DD:EE:01"}, Strings{"pair", "com5", "--pin", "1"},
                                Strings{"pair", "bt:AA:BB:CC:DD:EE:01", "--pin", ""},
                                Strings{"pair", "bt:AA:BB:CC:DD:EE:01", "--pin", "72945678907294567"},
                                Strings{"pair", "bt:AA:BB:CC:DD:EE:01", "bt:aa:bb:cc:dd:ee:01", "--pin", "1"},
                                Strings{"unpair", "bt:AA:BB:CC:DD:EE"}}) {
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, 1) << args[1];
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("nothing was done"), std::string::npos) << run.err;
    }
}

} // namespace
