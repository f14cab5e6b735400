// The Bluetooth steps around one module's work, for a station that takes modules nobody paired: pair
// with the PIN the module has before its port is opened, and after it was programmed prove that it
// takes its new PIN (the bond removed, the module found again and paired with the new PIN, its name
// read once more) and remove the bond. Each step's end is kept for the ledger.
#pragma once

#include "Bluetooth.h"
#include "ExitStatus.h"
#include "Job.h"
#include "Settings.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace provisioning {

struct PairingPlan {
    bool pair = false;        // with SettingsInput::pairPin, before the port is opened
    bool provePin = false;    // after a new PIN was confirmed
    bool unpairAfter = false; // at the end, whatever the result
    std::chrono::milliseconds pairTimeout{30000};
    std::chrono::milliseconds findTimeout{20000}; // finding the module again once its bond is removed
};

inline bool AnyStep(const PairingPlan& plan) {
    return plan.pair || plan.provePin || plan.unpairAfter;
}

// The module's name read once more on task's port, as a name query, with a traffic log of its own
// beside the task's.
PortResult ReadNameOnce(const PortTask& task);

// RunPort within the plan's steps, for a run without a ledger: the steps' ends are in the result's
// message alone.
void RunPaired(const PairingPlan& plan, const SettingsInput& input, const PortTask& task, const StepReport& report,
               PortResult& result);

// A pairing's exit status, as zk405-cli pair gives it; a stop's is 128 + the signal.
ExitStatus PairStatus(bluetooth::PairOutcome::Kind kind);

// The steps for one module. Whatever way the attempt ends, a bond made here is removed
// when the plan says so or the attempt did not end well, and a pairing cut short leaves none.
class PairingSteps {
public:
    // What reads the module's name on its port once more, as a name query.
    using ReadName = std::function<PortResult()>;

    // Only a "bt:" port has the steps: any other port is reached through a bond someone else keeps.
    // starting hears each step as it begins, as the job's own steps; may be empty.
    PairingSteps(const PairingPlan& plan, const SettingsInput& input, const std::string& port,
                 StepStarting starting = {});
    ~PairingSteps();
    PairingSteps(const PairingSteps&) = delete;
    PairingSteps& operator=(const PairingSteps&) = delete;

    // Before the port is opened; false, with port filled in as a failed attempt, when the module is
    // not paired.
    bool Before(PortResult& port);
    // Once the module's work has ended: the proof of the new PIN and the bond's removal, as planned.
    void After(PortResult& port, const ReadName& readName);
    // Whether the module is paired before its port is opened.
    bool Pairs() const { return m_plan.pair; }
    // "pair=paired", "program=programmed", "prove-pin=proved", "unpair=unpaired": those taken.
    const std::vector<std::string>& Taken() const { return m_taken; }

private:
    bool Pair(const std::string& pin, PairingStep step, PortResult& port);
    bool ProvePin(PortResult& port, const ReadName& readName);
    void Unpair();
    void Tell(PairingUnderWay step) const;

    PairingPlan m_plan;
    SettingsInput m_input;
    std::string m_address;
    std::string m_port;
    StepStarting m_starting;
    bool m_bondOurs = false; // a pairing of ours may have left a bond (made, or cut short)
    std::vector<std::string> m_taken;
};

} // namespace provisioning
