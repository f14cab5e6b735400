// The table of what to do next: every way a port's work fails gives a sentence naming the step a
// person takes, chosen by the failure's codes whatever its message says.
#include "Hints.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>

namespace {

using namespace provisioning;
using serial_result::OpenReason;

StepResult Step(StepKind kind, Outcome outcome) {
    StepResult step;
    step.step = kind;
    step.outcome = outcome;
    return step;
}

PortResult Worked(ExitStatus status, std::vector<StepResult> steps) {
    PortResult port;
    port.port = "com5";
    port.device = "/dev/ttyUSB0";
    port.opened = true;
    port.status = status;
    port.steps = std::move(steps);
    // A message says nothing the hint is chosen by.
    port.message = "busy: the module did not answer the pin command";
    return port;
}

PortResult NotOpened(OpenReason reason, std::string path = "/dev/ttyUSB0", long pid = 0, std::string program = {}) {
    PortResult port;
    port.port = "com5";
    port.device = "/dev/ttyUSB0";
    port.status = kExitNotOpened;
    port.openFailure.reason = reason;
    port.openFailure.path = std::move(path);
    port.openFailure.pid = pid;
    port.openFailure.program = std::move(program);
    port.message = "cannot open";
    return port;
}

PortResult OverBluetooth(OpenReason reason) {
    PortResult port = NotOpened(reason, "");
    port.port = "bt:98:D3:31:F5:2A:11";
    return port;
}

struct HintCase {
    const char* label;
    PortResult port;
    HintKey key;
    const char* names; // the step the sentence has to name
};

void PrintTo(const HintCase& c, std::ostream* os) {
    *os << c.label;
}

class HintTable : public ::testing::TestWithParam<HintCase> {};

TEST_P(HintTable, EachFailureNamesTheStepToTake) {
    const HintCase& c = GetParam();
    EXPECT_EQ(HintKeyOf(c.port), c.key);
    const std::string hint = HintFor(c.port);
    EXPECT_NE(hint.find(c.names), std::string::npos) << hint;
    EXPECT_EQ(hint.find('{'), std::string::npos) << "a field left unfilled: " << hint;
}

INSTANTIATE_TEST_SUITE_P(
    WorkedPorts, HintTable,
    ::testing::Values(
        HintCase{"silent", Worked(kExitSilent, {Step(StepKind::Name, Outcome::Silent)}), HintKey::Silent,
                 "hold its button until the LED blinks every half second"},
        HintCase{"silent before programming", Worked(kExitSilent, {Step(StepKind::NameBefore, Outcome::Silent)}),
                 HintKey::Silent, "configuration mode"},
        HintCase{"refused PIN",
                 Worked(kExitNotConfirmed, {Step(StepKind::Name, Outcome::Confirmed), Step(StepKind::Pin, Outcome::Refused)}),
                 HintKey::RefusedPin, "if it refuses the PIN again, set the module aside"},
        HintCase{"refused flow", Worked(kExitNotConfirmed, {Step(StepKind::Flow, Outcome::Refused)}),
                 HintKey::RefusedFlow, "refuses the flow control again"},
        HintCase{"refused name then unconfirmed PIN",
                 Worked(kExitNotConfirmed, {Step(StepKind::Name, Outcome::Refused), Step(StepKind::Pin, Outcome::Unconfirmed)}),
                 HintKey::RefusedName, "refuses the name again"},
        HintCase{"refused auth", Worked(kExitNotConfirmed, {Step(StepKind::Auth, Outcome::Refused)}),
                 HintKey::RefusedAuth, "authentication"},
        HintCase{"unconfirmed", Worked(kExitNotConfirmed, {Step(StepKind::Pin, Outcome::Unconfirmed)}),
                 HintKey::Unconfirmed, "does not confirm"},
        HintCase{"name read back differs",
                 Worked(kExitNotConfirmed,
                        {Step(StepKind::Name, Outcome::Confirmed), Step(StepKind::NameReadBack, Outcome::Unconfirmed)}),
                 HintKey::NameDiffers, "name read back still differs"},
        HintCase{"name too long for its number", Worked(kExitUsage, {Step(StepKind::NameBefore, Outcome::NameFound)}),
                 HintKey::NameDoesNotFit, "shorten the name"},
        HintCase{"ledger", Worked(kExitLedger, {Step(StepKind::NameBefore, Outcome::NameFound)}), HintKey::Ledger,
                 "zk405-cli ledger --check"},
        HintCase{"line stuck", Worked(kExitNotOpened, {Step(StepKind::Pin, Outcome::Stuck)}), HintKey::LineStuck,
                 "flow control"},
        HintCase{"no memory once opened", Worked(kExitNotOpened, {}), HintKey::NoThreadOrMemory, "fewer ports"},
        HintCase{"link lost", Worked(kExitSilent, {Step(StepKind::Pin, Outcome::LinkLost)}), HintKey::LinkLost,
                 "within reach"},
        HintCase{"interrupted", Worked(static_cast<ExitStatus>(130), {Step(StepKind::Name, Outcome::Interrupted)}),
                 HintKey::Interrupted, "program it again"}));

INSTANTIATE_TEST_SUITE_P(
    OpenFailures, HintTable,
    ::testing::Values(
        HintCase{"missing", NotOpened(OpenReason::kMissing), HintKey::Missing, "zk405-cli list"},
        HintCase{"permission", NotOpened(OpenReason::kPermission), HintKey::Permission,
                 "sudo usermod -aG dialout $USER, then log in again"},
        HintCase{"no serial line", NotOpened(OpenReason::kNotSerialLine), HintKey::NotSerialLine, "serial port"},
        HintCase{"held by a program", NotOpened(OpenReason::kHeldBy, "/dev/ttyUSB0", 4242, "minicom"),
                 HintKey::HeldByProgram, "close minicom (PID 4242) or pick another port"},
        HintCase{"exclusive, holder known", NotOpened(OpenReason::kExclusiveFlag, "/dev/ttyUSB0", 77, "screen"),
                 HintKey::HeldByProgram, "close screen (PID 77)"},
        HintCase{"locked, program unknown", NotOpened(OpenReason::kLockedBy, "/dev/ttyUSB0", 4242),
                 HintKey::HeldByPid, "PID 4242"},
        HintCase{"busy, holder unknown", NotOpened(OpenReason::kBusy, "/dev/ttyUSB3"), HintKey::HeldByOther,
                 "/dev/ttyUSB3"},
        HintCase{"stale exclusive mark", NotOpened(OpenReason::kStaleExclusiveFlag), HintKey::StaleExclusiveFlag,
                 "plug it in again"},
        HintCase{"stale lock", NotOpened(OpenReason::kStaleLock, "/var/lock/LCK..ttyUSB0", 999),
                 HintKey::StaleLock, "sudo rm /var/lock/LCK..ttyUSB0"},
        HintCase{"no lock", NotOpened(OpenReason::kNoLock, "/var/lock/LCK..ttyUSB0"), HintKey::NoLock,
                 "/var/lock/LCK..ttyUSB0"},
        HintCase{"out of resources", NotOpened(OpenReason::kResourceLimit), HintKey::ResourceLimit, "try again"},
        HintCase{"no thread", NotOpened(OpenReason::kNone), HintKey::NoThreadOrMemory, "fewer ports"},
        HintCase{"BlueZ not running", OverBluetooth(OpenReason::kBluetoothUnavailable), HintKey::BluetoothNotRunning,
                 "sudo systemctl start bluetooth"},
        HintCase{"BlueZ not answering", OverBluetooth(OpenReason::kBluetoothNotAnswering),
                 HintKey::BluetoothNotAnswering, "sudo systemctl restart bluetooth"},
        HintCase{"adapter off", OverBluetooth(OpenReason::kNoAdapter), HintKey::NoAdapter, "bluetoothctl power on"},
        HintCase{"not paired", OverBluetooth(OpenReason::kDeviceUnknown), HintKey::NotPaired,
                 "bluetoothctl pair 98:D3:31:F5:2A:11"},
        HintCase{"no serial profile", OverBluetooth(OpenReason::kNoSerialProfile), HintKey::NoSerialProfile,
                 "zk405-cli scan"},
        HintCase{"connection refused", OverBluetooth(OpenReason::kConnectionRefused), HintKey::ConnectionRefused,
                 "bluetoothctl remove 98:D3:31:F5:2A:11"},
        HintCase{"connection timed out", OverBluetooth(OpenReason::kConnectionTimedOut),
                 HintKey::ConnectionTimedOut, "bluetoothctl info 98:D3:31:F5:2A:11"},
        HintCase{"stopped while connecting", OverBluetooth(OpenReason::kStopped), HintKey::OpenStopped, "again"},
        HintCase{"other", NotOpened(OpenReason::kOther), HintKey::OpenOther, "cable"}));

TEST(Hints, APortThatEndedWellOrWasLeftAloneHasNone) {
    EXPECT_EQ(HintFor(Worked(kExitOk, {Step(StepKind::Name, Outcome::Confirmed)})), "");
    EXPECT_EQ(HintFor(Worked(kExitOk, {Step(StepKind::Pin, Outcome::Sent)})), "");
    PortResult skipped = Worked(kExitOk, {Step(StepKind::NameBefore, Outcome::NameFound)});
    skipped.skipped = true;
    EXPECT_EQ(HintFor(skipped), "");
}

TEST(Hints, EveryFailureKindHasASentenceInEnglish) {
    for (size_t key = 1; key < kHintKeys; ++key)
        EXPECT_GT(std::string(EnglishHints()[key]).size(), 10u) << "key " << key;
    for (int reason = static_cast<int>(OpenReason::kMissing); reason <= static_cast<int>(OpenReason::kOther); ++reason) {
        serial_result::OpenFailure failure;
        failure.reason = static_cast<OpenReason>(reason);
        EXPECT_NE(HintKeyOf(failure), HintKey::None) << serial_result::OpenReasonName(failure.reason);
    }
}

TEST(Hints, AnotherLanguagesTableGivesItsOwnSentenceWithTheSameFacts) {
    HintWords other = EnglishHints();
    other[static_cast<size_t>(HintKey::HeldByProgram)] = "zamknij {program} (PID {pid}), {program}!";
    EXPECT_EQ(HintFor(NotOpened(OpenReason::kHeldBy, "/dev/ttyUSB0", 4242, "minicom"), other),
              "zamknij minicom (PID 4242), minicom!");
    // A program's own name is the holder's words, never a field to fill.
    EXPECT_EQ(HintFor(NotOpened(OpenReason::kHeldBy, "/dev/ttyUSB0", 4242, "a{pid}{path}")),
              "close a{pid}{path} (PID 4242) or pick another port");
}

TEST(Hints, AScanThatFoundBluetoothOffSaysHowToTurnItOn) {
    serial_result::OpenFailure failure;
    failure.reason = OpenReason::kNoAdapter;
    EXPECT_NE(HintFor(failure).find("bluetoothctl power on"), std::string::npos);
    failure.reason = OpenReason::kDeviceUnknown;
    EXPECT_NE(HintFor(failure, "AA:BB:CC:DD:EE:FF").find("bluetoothctl pair AA:BB:CC:DD:EE:FF"), std::string::npos);
    EXPECT_NE(HintFor(failure).find("bluetoothctl pair <address>"), std::string::npos);
}

// A pairing's hint is chosen by its kind, and by the open's reason for the kinds the open words too.
struct PairHintCase {
    const char* label;
    bluetooth::PairOutcome::Kind kind;
    OpenReason reason;
    HintKey key;
    const char* names;
};

void PrintTo(const PairHintCase& c, std::ostream* os) {
    *os << c.label;
}

class PairHintTable : public ::testing::TestWithParam<PairHintCase> {};

TEST_P(PairHintTable, EachPairingThatDidNotBondNamesTheStepToTake) {
    const PairHintCase& c = GetParam();
    bluetooth::PairOutcome outcome;
    outcome.kind = c.kind;
    outcome.failure.reason = c.reason;
    // The reason's words are never what the hint is chosen by.
    outcome.reason = "no answer within 2 s";
    EXPECT_EQ(HintKeyOf(outcome), c.key);
    const std::string hint = HintFor(outcome, "98:D3:31:F5:2A:11");
    EXPECT_NE(hint.find(c.names), std::string::npos) << hint;
}

using Kind = bluetooth::PairOutcome::Kind;
INSTANTIATE_TEST_SUITE_P(
    Pairings, PairHintTable,
    ::testing::Values(
        PairHintCase{"wrong PIN", Kind::kWrongPin, OpenReason::kNone, HintKey::PairWrongPin,
                     "the module's current PIN is not this one"},
        PairHintCase{"refused", Kind::kRefused, OpenReason::kNone, HintKey::PairRefused,
                     "zk405-cli unpair bt:98:D3:31:F5:2A:11"},
        PairHintCase{"no answer", Kind::kNoAnswer, OpenReason::kNone, HintKey::PairNoAnswer, "--timeout"},
        PairHintCase{"unknown device", Kind::kUnknownDevice, OpenReason::kNone, HintKey::PairUnknownDevice,
                     "zk405-cli scan --discover 10"},
        PairHintCase{"adapter off", Kind::kNoAdapter, OpenReason::kNoAdapter, HintKey::NoAdapter,
                     "bluetoothctl power on"},
        PairHintCase{"BlueZ absent", Kind::kUnavailable, OpenReason::kBluetoothUnavailable,
                     HintKey::BluetoothNotRunning, "sudo systemctl start bluetooth"},
        PairHintCase{"BlueZ silent", Kind::kUnavailable, OpenReason::kBluetoothNotAnswering,
                     HintKey::BluetoothNotAnswering, "sudo systemctl restart bluetooth"}),
    [](const ::testing::TestParamInfo<PairHintCase>& info) {
        std::string name;
        for (const char c : std::string(info.param.label))
            if (std::isalnum(static_cast<unsigned char>(c)))
                name += c;
        return name;
    });

TEST(Hints, APairingThatBondedHasNone) {
    for (const Kind kind : {Kind::kPaired, Kind::kAlreadyPaired, Kind::kUnpaired}) {
        bluetooth::PairOutcome outcome;
        outcome.kind = kind;
        EXPECT_EQ(HintFor(outcome, "98:D3:31:F5:2A:11"), "") << bluetooth::PairOutcomeName(kind);
    }
}

} // namespace
