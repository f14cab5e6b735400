#include "SimulatedModule.h"
#include "ModuleCommands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The one reply to a complete command.
std::string Ask(SimulatedModule& module, const std::string& command) {
    const std::vector<SimulatedModule::Exchange> exchanges = module.Receive(command + "\r\n");
    EXPECT_EQ(exchanges.size(), 1u);
    EXPECT_EQ(exchanges.empty() ? "" : exchanges[0].command, command);
    return exchanges.empty() ? "" : exchanges[0].reply;
}

TEST(SimulatedModuleTest, AnswersTheNameQueryAndRemembersSettings) {
    SimulatedModule module("ZK\xA3\xF3\x64\x9F");
    EXPECT_EQ(Ask(module, "AT+BNAME?"), "+BNAME=ZK\xA3\xF3\x64\x9F\r\nOK\r\n");
    EXPECT_EQ(Ask(module, "AT+BNAME=Nowa=nazwa"), "OK\r\n");
    EXPECT_EQ(Ask(module, "AT+BPIN="), "OK\r\n");
    EXPECT_EQ(Ask(module, "AT+BFLOW=3"), "OK\r\n");
    EXPECT_EQ(Ask(module, "AT+BSEC=2"), "OK\r\n");
    EXPECT_EQ(Ask(module, "AT+BNAME?"), "+BNAME=Nowa=nazwa\r\nOK\r\n");
    EXPECT_EQ(module.Pin(), "");
    EXPECT_EQ(module.Flow(), "3");
    EXPECT_EQ(module.Security(), "2");
}

TEST(SimulatedModuleTest, RefusesUnknownCommandsAndValuesKeepingTheOldOnes) {
    SimulatedModule module("M");
    for (const char* command :
         {"AT+BFLOW=", "AT+BFLOW=4", "AT+BFLOW=11", "AT+BSEC=0", "AT+BSEC=", "AT+XYZ", "at+bname?"})
        EXPECT_EQ(Ask(module, command), "ERROR\r\n") << command;
    EXPECT_EQ(module.Flow(), "2");
    EXPECT_EQ(module.Security(), "1");
    EXPECT_EQ(Ask(module, "AT"), "OK\r\n");
}

TEST(SimulatedModuleTest, CommandsAreFramedByCrLfWhateverTheChunks) {
    SimulatedModule module("M");
    EXPECT_TRUE(module.Receive("AT+BNA").empty());
    EXPECT_TRUE(module.Receive("ME?\r").empty());
    const auto first = module.Receive("\nAT+BPIN=1\r2\n\r\nAT\r\n");
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0].command, "AT+BNAME?");
    EXPECT_EQ(first[1].command, "AT+BPIN=1\r2\n"); // a lone CR or LF is part of the value
    EXPECT_EQ(first[2].command, "AT");
    EXPECT_EQ(module.Pin(), "1\r2\n");
    ASSERT_EQ(module.Receive("").size(), 0u);
    // An empty line is no command and gets no answer.
    const auto blank = module.Receive("\r\n");
    ASSERT_EQ(blank.size(), 1u);
    EXPECT_EQ(blank[0].reply, "");
}

TEST(SimulatedModuleTest, EndlessNoiseIsDroppedAndLaterCommandsStillWork) {
    SimulatedModule module("M");
    EXPECT_TRUE(module.Receive(std::string(SimulatedModule::kMaxPendingBytes + 1, 'x')).empty());
    EXPECT_EQ(Ask(module, "AT+BNAME?"), "+BNAME=M\r\nOK\r\n");
}

TEST(SimulatedModuleTest, QuirksShapeTheReplies) {
    SimulatedModule silent("M", {.silent = true});
    EXPECT_EQ(Ask(silent, "AT+BNAME=Q"), "");
    EXPECT_EQ(silent.Name(), "M"); // not in configuration mode: takes no settings either

    SimulatedModule echo("M", {.echo = true});
    EXPECT_EQ(Ask(echo, "AT+BNAME?"), "AT+BNAME?\r\n+BNAME=M\r\nOK\r\n");

    SimulatedModule noCr("M", {.noCr = true});
    EXPECT_EQ(Ask(noCr, "AT+BNAME?"), "+BNAME=M\nOK\n");
    EXPECT_EQ(Ask(noCr, "AT"), "OK\r\n");

    SimulatedModule flood("M", {.floodBytes = 3000});
    const std::string reply = Ask(flood, "AT+BNAME?");
    ASSERT_EQ(reply.size(), 3000u + 14u);
    EXPECT_EQ(reply.find_first_of("=\r\n"), 3000u + 6u);
    EXPECT_EQ(reply.substr(3000), "+BNAME=M\r\nOK\r\n");
}

// What the tool makes of each kind of reply, which is what the quirks are for.
TEST(SimulatedModuleTest, TheToolReadsTheNameFromEveryWellFormedReply) {
    const std::vector<std::pair<ModuleQuirks, std::string>> cases = {
        {{}, "Kaldor"}, {{.echo = true}, "Kaldor"}, {{.floodBytes = 100}, "Kaldor"}, {{.noCr = true}, ""}};
    for (const auto& [quirks, expected] : cases) {
        SimulatedModule module("Kaldor", quirks);
        std::string name = "none";
        EXPECT_TRUE(module_commands::ParseNameReply(Ask(module, "AT+BNAME?"), name));
        EXPECT_EQ(name, expected);
    }
}

} // namespace

namespace {

TEST(SimulatedModuleTest, RefusedPrefixesGetErrorAndKeepTheSetting) {
    ModuleQuirks quirks;
    quirks.refusedPrefixes = {"AT+BPIN", "AT+BSEC=2"};
    SimulatedModule module("M", quirks);
    EXPECT_EQ(Ask(module, "AT+BPIN=9999"), "ERROR\r\n");
    EXPECT_EQ(module.Pin(), "1234");
    EXPECT_EQ(Ask(module, "AT+BSEC=2"), "ERROR\r\n");
    EXPECT_EQ(Ask(module, "AT+BSEC=1"), "OK\r\n");
    EXPECT_EQ(Ask(module, "AT+BNAME=N"), "OK\r\n");
    EXPECT_EQ(module.Name(), "N");
}

// What a module that did not take its new PIN answers: the station must find it out by pairing.
TEST(SimulatedModuleTest, AKeptPinIsConfirmedAndRestoredStateIsWhatItAnswers) {
    ModuleQuirks quirks;
    quirks.keepPin = true;
    SimulatedModule module("M", quirks);
    EXPECT_EQ(Ask(module, "AT+BPIN=9999"), "OK\r\n");
    EXPECT_EQ(module.Pin(), "1234");
    module.Restore("Kasa 7", "4321");
    EXPECT_EQ(Ask(module, "AT+BNAME?"), "+BNAME=Kasa 7\r\nOK\r\n");
    EXPECT_EQ(module.Pin(), "4321");
}

} // namespace
