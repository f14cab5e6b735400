// One module's work on one port: open it with a CSerialPort of its own (its own traffic log), read the
// module's name, or program it with the windows' commands, judge each reply and read the name back.
// Jobs run side by side, each on a thread of its own; a job touches nothing another job uses.
#pragma once

#include "Bluetooth.h"
#include "ExitStatus.h"
#include "ModuleCommands.h"
#include "OpenFailure.h"
#include "Outcome.h"
#include "TrafficSink.h"

#include <functional>
#include <string>
#include <vector>

namespace provisioning {

// What a step did: one of the settings, reading the new name back after it was confirmed, reading
// the name for a name query, or reading it before programming (for the ledger and skipping done ones).
enum class StepKind { Name, Pin, Flow, Auth, NameReadBack, NameRead, NameBefore };
// "name", "pin", "flow", "auth", "name read back", "name read", "name before": the word the reports
// show.
const char* StepKindName(StepKind kind);
// Whether the step sent one of the settings.
bool IsSetting(StepKind kind);

struct StepResult {
    StepKind step = StepKind::NameRead;
    std::string command; // as sent, Windows-1250, with its CR LF
    std::string reply;   // as received, Windows-1250; for the name steps the name
    Outcome outcome = Outcome::Silent;
    double seconds = 0;
};

// The command as reports show it: a PIN's value is left out, as the ledger leaves it out (the traffic
// log, private to its owner, keeps the bytes).
std::string ReportedCommand(const StepResult& step);

// The step a job has just begun, for a front end to show while it waits: the open (a Bluetooth
// connection can take seconds), or one of the steps, with its try (the name is asked for up to
// kNameAttempts times; every other step is one try of one).
// A Bluetooth step around the module's work (PairingSteps.h), told as the job's own steps are.
enum class PairingUnderWay { None, Pair, ProvePin, Unpair };

struct StepUnderWay {
    std::string port;
    size_t position = 0;
    bool opening = false; // else step (or pairing) says which
    StepKind step = StepKind::NameRead;
    int attempt = 1;
    int of = 1;
    PairingUnderWay pairing = PairingUnderWay::None; // when set, the step under way is this one
};
// Called from the job's own thread as each step or try begins: several jobs may call at once.
using StepStarting = std::function<void(const StepUnderWay& underWay)>;

struct PortResult;

// What a job does once the module's current name is read and before anything is programmed: a
// numbered attempt takes the module's number here and builds its settings, or leaves the module alone.
struct BeforeProgramDecision {
    enum class Go { Program, Skip, Stop };
    Go go = Go::Program;
    ExitStatus status = kExitOk; // for Skip and Stop
    std::string message; // why not programmed
};
using BeforeProgram = std::function<BeforeProgramDecision(const PortResult& port, MODULE_SETTINGS& settings)>;

struct PortTask {
    std::string port;
    size_t position = 0; // in the run's list of ports, from 1
    std::string logFile;
    std::string monitorTag; // set when several ports mirror to the monitor at once
    bool program = false; // otherwise only the name is read
    MODULE_SETTINGS settings;
    bool verify = true;
    bool replyDriven = true;
    // When set, the name is read first ("name before") and this decides; settings is its starting point.
    BeforeProgram beforeProgram;
    // Whether to end after the exchange under way. Unset: when the process is asked to stop
    // (StopRequested). A station hands one that never holds: it lets the modules in flight finish.
    std::function<bool()> stopRequested;
    // Told as each step begins; may be empty.
    StepStarting starting;
    // Hears every byte the port writes and reads (an attempt's transcript); may be null.
    TrafficSink* traffic = nullptr;
};

// The Bluetooth step around a module's work that failed, when one did (PairingSteps.h).
enum class PairingStep { None, Pair, ProvePin };

struct PortResult {
    std::string port;
    size_t position = 0;
    std::string device;
    bool opened = false;
    std::string logFile;    // the log actually written; empty when there is none
    std::string logProblem; // why there is no log, when the port opened without one
    ExitStatus status = kExitOk;
    std::string message; // why the port did not end with status 0
    std::string reason;  // why it did not open, as one stable word (OpenReasonName); else empty
    serial_result::OpenFailure openFailure; // what the open found (the holder, the lock file), for the hint
    std::string name;    // the name read, for the name query
    std::string nameBefore; // the name read before programming, with beforeProgram
    bool skipped = false;   // beforeProgram left the module as it was
    std::vector<StepResult> steps;
    double seconds = 0;
    PairingStep pairingFailed = PairingStep::None;
    bluetooth::PairOutcome pairing; // that step's pairing, when it was one
};

// How the attempt ended, in the one vocabulary every report and the ledger use.
Verdict VerdictOf(const PortResult& port);

// Called after each step, from the job's own thread.
using StepReport = std::function<void(const PortResult& port, const StepResult& step)>;

// Fills result as the job goes, so that what was done is known even when the job is cut short (by an
// exception, say). Ends early, after the exchange under way, once the task's stop holds.
void RunPort(const PortTask& task, const StepReport& report, PortResult& result);
PortResult RunPort(const PortTask& task, const StepReport& report);

// The message of a port that a stop signal cut short.
std::string StoppedMessage(int signalNumber, size_t stepsDone);

// 0 when every port ended with 0, otherwise the lowest of the ports' other statuses.
ExitStatus OverallStatus(const std::vector<PortResult>& ports);

} // namespace provisioning
