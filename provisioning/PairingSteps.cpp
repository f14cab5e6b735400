#include "PairingSteps.h"

#include "StopSignal.h"

#include <utility>

namespace provisioning {

namespace {

using Kind = bluetooth::PairOutcome::Kind;

bool ProgrammedWithPin(const PortResult& port) {
    if (VerdictOf(port) != Verdict::Programmed)
        return false;
    for (const StepResult& step : port.steps)
        if (step.step == StepKind::Pin && step.outcome == Outcome::Confirmed)
            return true;
    return false;
}

void Fail(PortResult& port, PairingStep step, const bluetooth::PairOutcome& outcome, const std::string& message) {
    port.pairingFailed = step;
    port.pairing = outcome;
    port.status = PairStatus(outcome.kind);
    port.message = message;
    if (outcome.kind != Kind::kUnknownDevice && outcome.kind != Kind::kWrongPin)
        port.openFailure = outcome.failure;
}

} // namespace

PortResult ReadNameOnce(const PortTask& task) {
    PortTask read = task;
    read.program = false;
    read.beforeProgram = nullptr;
    const size_t dot = read.logFile.rfind('.');
    if (!read.logFile.empty())
        read.logFile.insert(dot == std::string::npos || read.logFile.find('/', dot) != std::string::npos
                                ? read.logFile.size()
                                : dot,
                            "-proof");
    return RunPort(read, nullptr);
}

void RunPaired(const PairingPlan& plan, const SettingsInput& input, const PortTask& task, const StepReport& report,
               PortResult& result) {
    PairingSteps pairing(plan, input, task.port, task.starting);
    if (!pairing.Before(result)) {
        result.position = task.position;
        return;
    }
    RunPort(task, report, result);
    pairing.After(result, [&task] { return ReadNameOnce(task); });
}

ExitStatus PairStatus(Kind kind) {
    switch (kind) {
    case Kind::kPaired:
    case Kind::kAlreadyPaired:
    case Kind::kUnpaired:
        return kExitOk;
    case Kind::kNoAnswer:
        return kExitSilent;
    case Kind::kWrongPin:
    case Kind::kRefused:
        return kExitNotConfirmed;
    case Kind::kStopped:
        return static_cast<ExitStatus>(kExitSignalBase + StopSignalNumber());
    case Kind::kUnknownDevice:
    case Kind::kNoAdapter:
    case Kind::kUnavailable:
        break;
    }
    return kExitNotOpened;
}

PairingSteps::PairingSteps(const PairingPlan& plan, const SettingsInput& input, const std::string& port,
                           StepStarting starting)
    : m_plan(plan), m_input(input), m_port(port), m_starting(std::move(starting)) {
    if (!bluetooth::AddressOfPortName(port.c_str(), m_address))
        m_plan = PairingPlan();
}

// Reached also when the work ended by an exception: no bond of ours outlives the attempt half-made.
PairingSteps::~PairingSteps() {
    if (m_bondOurs)
        Unpair();
}

bool PairingSteps::Pair(const std::string& pin, PairingStep step, PortResult& port) {
    if (step == PairingStep::Pair)
        Tell(PairingUnderWay::Pair);
    const bluetooth::PairOutcome outcome = bluetooth::Pair(m_address, pin, m_plan.pairTimeout);
    const char* word = bluetooth::PairOutcomeName(outcome.kind);
    m_taken.push_back(std::string(step == PairingStep::Pair ? "pair=" : "prove-pin=") +
                      (step == PairingStep::ProvePin && outcome.kind == Kind::kPaired ? "proved" : word));
    // A pairing cancelled may have bonded all the same on the module's side of the race.
    m_bondOurs = m_bondOurs || outcome.kind == Kind::kPaired || outcome.kind == Kind::kNoAnswer ||
                 outcome.kind == Kind::kStopped;
    if (bluetooth::PairOutcomeIsGood(outcome.kind))
        return true;
    Fail(port, step, outcome,
         (step == PairingStep::Pair ? "not paired: " : "the module did not pair with its new PIN: ") + outcome.reason);
    return false;
}

bool PairingSteps::Before(PortResult& port) {
    if (!m_plan.pair)
        return true;
    if (Pair(m_input.pairPin.value_or(std::string()), PairingStep::Pair, port))
        return true;
    port.port = bluetooth::kPortPrefix + m_address;
    if (m_bondOurs || m_plan.unpairAfter)
        Unpair();
    return false;
}

bool PairingSteps::ProvePin(PortResult& port, const ReadName& readName) {
    Tell(PairingUnderWay::ProvePin);
    const bluetooth::PairOutcome removed = bluetooth::Unpair(m_address);
    if (removed.kind != Kind::kUnpaired) {
        m_taken.push_back(std::string("prove-pin=") + bluetooth::PairOutcomeName(removed.kind));
        Fail(port, PairingStep::ProvePin, removed, "the bond could not be removed to prove the new PIN: " + removed.reason);
        return false;
    }
    m_bondOurs = false;
    bluetooth::PairOutcome found;
    if (!bluetooth::FindAgain(m_address, m_plan.findTimeout, found.failure)) {
        found.kind = found.failure.reason == serial_result::OpenReason::kStopped ? Kind::kStopped : Kind::kUnknownDevice;
        found.reason = serial_result::DescribeOpenFailure(found.failure);
        m_taken.push_back(std::string("prove-pin=") + bluetooth::PairOutcomeName(found.kind));
        Fail(port, PairingStep::ProvePin, found, "the module was not found again to prove its new PIN: " + found.reason);
        return false;
    }
    if (!Pair(*m_input.pin, PairingStep::ProvePin, port))
        return false;
    const PortResult read = readName();
    if (read.status == kExitOk)
        return true;
    m_taken.back() = "prove-pin=name-unread";
    bluetooth::PairOutcome paired;
    paired.kind = Kind::kPaired;
    Fail(port, PairingStep::ProvePin, paired, "paired with its new PIN, but its name could not be read: " + read.message);
    port.status = read.status;
    return false;
}

void PairingSteps::After(PortResult& port, const ReadName& readName) {
    if (AnyStep(m_plan))
        m_taken.push_back(std::string("program=") + WordsOf(VerdictOf(port)).result);
    const bool proved = !m_plan.provePin || !m_input.pin || !ProgrammedWithPin(port) || ProvePin(port, readName);
    // A module that did not end well keeps no bond of ours either.
    if (m_plan.unpairAfter || (m_bondOurs && (!proved || port.status != kExitOk)))
        Unpair();
    m_bondOurs = false; // what is left is the bond the plan keeps
}

void PairingSteps::Tell(PairingUnderWay step) const {
    if (!m_starting)
        return;
    StepUnderWay underWay;
    underWay.port = m_port;
    underWay.pairing = step;
    m_starting(underWay);
}

void PairingSteps::Unpair() {
    Tell(PairingUnderWay::Unpair);
    const bluetooth::PairOutcome outcome = bluetooth::Unpair(m_address);
    m_taken.push_back(std::string("unpair=") + bluetooth::PairOutcomeName(outcome.kind));
    m_bondOurs = false;
}

} // namespace provisioning
