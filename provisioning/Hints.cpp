#include "Hints.h"

#include "Bluetooth.h"

#include <algorithm>

namespace provisioning {

namespace {

using serial_result::OpenFailure;
using serial_result::OpenReason;

// The commands named are the ones a person types on the bench's Linux machine; the windows' users
// on Windows meet few of these failures (no UUCP locks, no BlueZ), and get their own wording.
constexpr HintWords kEnglish = {
    /* None                  */ "",
    /* Missing               */ "plug the module's adapter in, or pick a port that is there (zk405-cli list shows them)",
    /* Permission            */ "add yourself to the dialout group: sudo usermod -aG dialout $USER, then log in again",
    /* NotSerialLine         */ "pick a serial port instead (zk405-cli list shows them)",
    /* HeldByProgram         */ "close {program} (PID {pid}) or pick another port",
    /* HeldByPid             */ "close the program with PID {pid} (ps -p {pid} names it) or pick another port",
    /* HeldByOther           */ "close the other program using {device} or pick another port",
    /* StaleExclusiveFlag    */ "unplug the adapter and plug it in again, or open {device} once as root to clear the mark",
    /* StaleLock             */ "remove the stale lock file: sudo rm {path}",
    /* NoLock                */ "join the group that owns the folder of {path} (ls -ld shows it), then log in again",
    /* ResourceLimit         */ "close programs and ports you do not need, then try again",
    /* BluetoothNotRunning   */ "start the Bluetooth service: sudo systemctl start bluetooth, then try again",
    /* BluetoothNotAnswering */ "restart the Bluetooth service: sudo systemctl restart bluetooth, then try again",
    /* NoAdapter             */ "plug a Bluetooth adapter in, or turn it on: bluetoothctl power on",
    /* NotPaired             */ "pair the module: bluetoothctl pair {address}, then bluetoothctl trust {address}",
    /* NoSerialProfile       */ "pick the module's own address (zk405-cli scan lists the devices with a serial port)",
    /* ConnectionRefused     */ "switch the module on and try again; if it is refused again, pair it anew: "
                                "bluetoothctl remove {address}, then bluetoothctl pair {address}",
    /* ConnectionTimedOut    */ "switch the module on, bring it within a few metres and try again "
                                "(bluetoothctl info {address} shows whether it is paired)",
    /* OpenStopped           */ "start the run again for this port when you are ready",
    /* OpenOther             */ "check the cable and the port's name, then try again",
    /* NoThreadOrMemory      */ "close programs you do not need, or work fewer ports at once, then try again",
    /* LineStuck             */ "check the cable and the adapter (the line's flow control held it), then try again",
    /* LinkLost              */ "keep the module switched on and within reach, then program it again",
    /* Silent                */ "put the module in configuration mode (hold its button until the LED blinks every "
                                "half second) and check that this is its port",
    /* RefusedName           */ "program it again; if it refuses the name again, set the module aside",
    /* RefusedPin            */ "program it again; if it refuses the PIN again, set the module aside",
    /* RefusedFlow           */ "program it again; if it refuses the flow control again, set the module aside",
    /* RefusedAuth           */ "program it again; if it refuses the authentication again, set the module aside",
    /* Unconfirmed           */ "program it again; if it still does not confirm, set the module aside (its log "
                                "holds what it answered)",
    /* NameDiffers           */ "program it again; if the name read back still differs, set the module aside",
    /* NameDoesNotFit        */ "shorten the name so that it fits with this number, then program the module again",
    /* Ledger                */ "mend or move the ledger (zk405-cli ledger --check FILE tells where it is broken), "
                                "then start again",
    /* Interrupted           */ "program it again to finish it",
    /* PairWrongPin          */ "the module's current PIN is not this one: give the PIN it has now (a new "
                                "module's is often 1234 or 0000), then pair it again",
    /* PairRefused           */ "switch the module on, put it in pairing mode and pair it again; if it is refused "
                                "again, remove it (zk405-cli unpair bt:{address}) and pair it anew",
    /* PairNoAnswer          */ "switch the module on, bring it within a few metres and pair it again, with a "
                                "longer --timeout if it is slow",
    /* PairUnknownDevice     */ "switch the module on and let a discovery find it (zk405-cli scan --discover 10), "
                                "then pair it again",
    /* PinNotProved          */ "the module took its settings but not the new PIN: set it aside, or program its PIN "
                                "again and pair it with the new one (zk405-cli pair bt:{address} --pin PIN)",
};

HintKey HolderKey(const OpenFailure& failure) {
    if (failure.pid <= 0)
        return HintKey::HeldByOther;
    return failure.program.empty() ? HintKey::HeldByPid : HintKey::HeldByProgram;
}

HintKey RefusedKey(StepKind kind) {
    switch (kind) {
    case StepKind::Pin:
        return HintKey::RefusedPin;
    case StepKind::Flow:
        return HintKey::RefusedFlow;
    case StepKind::Auth:
        return HintKey::RefusedAuth;
    case StepKind::Name:
    case StepKind::NameReadBack:
    case StepKind::NameRead:
    case StepKind::NameBefore:
        break;
    }
    return HintKey::RefusedName;
}

// The step that made the port's result "not confirmed": the first refused or unconfirmed one, as
// the port's message tells it.
HintKey NotConfirmedKey(const PortResult& port) {
    if (port.status == kExitUsage)
        return HintKey::NameDoesNotFit;
    if (port.status == kExitLedger)
        return HintKey::Ledger;
    const auto failed = std::find_if(port.steps.begin(), port.steps.end(), [](const StepResult& step) {
        return step.outcome == Outcome::Refused || step.outcome == Outcome::Unconfirmed;
    });
    if (failed == port.steps.end())
        return HintKey::Unconfirmed;
    if (failed->step == StepKind::NameReadBack)
        return HintKey::NameDiffers;
    return failed->outcome == Outcome::Refused ? RefusedKey(failed->step) : HintKey::Unconfirmed;
}

struct HintFacts {
    std::string device;
    std::string program;
    std::string pid;
    std::string path;
    std::string address;
};

// A Bluetooth address not known is shown as the place to put it, as a manual writes a command.
HintFacts FactsOf(const OpenFailure& failure, const std::string& device, const std::string& address) {
    return {failure.path.empty() ? device : failure.path, failure.program, std::to_string(failure.pid), failure.path,
            address.empty() ? std::string("<address>") : address};
}

// One pass over the pattern: a program's name holding "{pid}" stays as it is.
std::string Fill(const std::string& pattern, const HintFacts& facts) {
    const std::pair<std::string, const std::string*> fields[] = {
        {"{device}", &facts.device}, {"{program}", &facts.program}, {"{pid}", &facts.pid},
        {"{path}", &facts.path},     {"{address}", &facts.address},
    };
    std::string text;
    for (size_t at = 0; at < pattern.size();) {
        const auto field = std::find_if(std::begin(fields), std::end(fields),
                                        [&](const auto& f) { return pattern.compare(at, f.first.size(), f.first) == 0; });
        if (field == std::end(fields)) {
            text += pattern[at++];
            continue;
        }
        text += *field->second;
        at += field->first.size();
    }
    return text;
}

} // namespace

const HintWords& EnglishHints() {
    return kEnglish;
}

HintKey HintKeyOf(const OpenFailure& failure) {
    switch (failure.reason) {
    case OpenReason::kNone:
        return HintKey::None;
    case OpenReason::kMissing:
        return HintKey::Missing;
    case OpenReason::kPermission:
        return HintKey::Permission;
    case OpenReason::kNotSerialLine:
        return HintKey::NotSerialLine;
    case OpenReason::kExclusiveFlag:
    case OpenReason::kLockedBy:
    case OpenReason::kHeldBy:
    case OpenReason::kBusy:
        return HolderKey(failure);
    case OpenReason::kStaleExclusiveFlag:
        return HintKey::StaleExclusiveFlag;
    case OpenReason::kStaleLock:
        return HintKey::StaleLock;
    case OpenReason::kNoLock:
        return HintKey::NoLock;
    case OpenReason::kResourceLimit:
        return HintKey::ResourceLimit;
    case OpenReason::kBluetoothUnavailable:
        return HintKey::BluetoothNotRunning;
    case OpenReason::kBluetoothNotAnswering:
        return HintKey::BluetoothNotAnswering;
    case OpenReason::kNoAdapter:
        return HintKey::NoAdapter;
    case OpenReason::kDeviceUnknown:
        return HintKey::NotPaired;
    case OpenReason::kNoSerialProfile:
        return HintKey::NoSerialProfile;
    case OpenReason::kConnectionRefused:
        return HintKey::ConnectionRefused;
    case OpenReason::kConnectionTimedOut:
        return HintKey::ConnectionTimedOut;
    case OpenReason::kStopped:
        return HintKey::OpenStopped;
    case OpenReason::kOther:
        break;
    }
    return HintKey::OpenOther;
}

HintKey HintKeyOf(const PortResult& port) {
    switch (VerdictOf(port)) {
    case Verdict::Programmed:
    case Verdict::Sent:
    case Verdict::Skipped:
        return HintKey::None;
    case Verdict::NotOpened:
        // A port given no thread never reached its open.
        return port.openFailure.reason == OpenReason::kNone ? HintKey::NoThreadOrMemory : HintKeyOf(port.openFailure);
    case Verdict::LineStuck:
        return HintKey::LineStuck;
    case Verdict::Failed:
        return HintKey::NoThreadOrMemory;
    case Verdict::LinkLost:
        return HintKey::LinkLost;
    case Verdict::Silent:
        return HintKey::Silent;
    case Verdict::NotConfirmed:
        return NotConfirmedKey(port);
    case Verdict::NotPaired:
        return HintKeyOf(port.pairing);
    case Verdict::PinNotProved:
        return HintKey::PinNotProved;
    case Verdict::Interrupted:
        break;
    }
    return HintKey::Interrupted;
}

std::string HintFor(const PortResult& port, const HintWords& words) {
    std::string address;
    bluetooth::AddressOfPortName(port.port.c_str(), address);
    const HintFacts facts = FactsOf(port.openFailure, port.device.empty() ? port.port : port.device, address);
    return Fill(words[static_cast<size_t>(HintKeyOf(port))], facts);
}

HintKey HintKeyOf(const bluetooth::PairOutcome& outcome) {
    using Kind = bluetooth::PairOutcome::Kind;
    switch (outcome.kind) {
    case Kind::kPaired:
    case Kind::kAlreadyPaired:
    case Kind::kUnpaired:
        return HintKey::None;
    case Kind::kWrongPin:
        return HintKey::PairWrongPin;
    case Kind::kRefused:
        return HintKey::PairRefused;
    case Kind::kNoAnswer:
        return HintKey::PairNoAnswer;
    case Kind::kUnknownDevice:
        return HintKey::PairUnknownDevice;
    case Kind::kNoAdapter:
    case Kind::kUnavailable:
    case Kind::kStopped:
        break;
    }
    // Told in the open's words: BlueZ absent or silent, the adapter off, a stop.
    return HintKeyOf(outcome.failure);
}

std::string HintFor(const bluetooth::PairOutcome& outcome, const std::string& address, const HintWords& words) {
    return Fill(words[static_cast<size_t>(HintKeyOf(outcome))], FactsOf(outcome.failure, std::string(), address));
}

std::string HintFor(const OpenFailure& failure, const std::string& address, const HintWords& words) {
    return Fill(words[static_cast<size_t>(HintKeyOf(failure))], FactsOf(failure, failure.path, address));
}

} // namespace provisioning
