// One port's work for zk405-cli: open it with a CSerialPort of its own (its own traffic log), read the
// module's name or program it with the windows' commands, and judge each reply. Ports run side by side,
// each job on a thread of its own; a job touches nothing another job uses.
#pragma once

#include "CliOptions.h"
#include "ModuleCommands.h"

#include <functional>
#include <string>
#include <vector>

namespace zk405_cli {

enum class Outcome {
    Confirmed,   // "OK", or the name read back as sent
    Refused,     // "ERROR"
    Unconfirmed, // an answer without "OK", or another name read back
    Silent,      // nothing at all
    Sent,        // sent without looking at the answer
    NameFound,   // the module's name was read
    LinkLost,    // the connection to the module dropped (a Bluetooth link closed by the far end)
    Stuck,       // the command did not go out within the write bound: the line is held (flow control)
    Interrupted, // a stop signal ended the wait for the reply
};
const char* OutcomeName(Outcome outcome);

// The first "OK" or "ERROR" line decides; nothing received is silence, anything else unconfirmed.
Outcome JudgeReply(const std::string& reply);

// What a step did: one of the settings, reading the new name back after it was confirmed, reading
// the name for zk405-cli name, or reading it before programming (for the ledger and --skip-done).
enum class StepKind { Name, Pin, Flow, Auth, NameReadBack, NameRead, NameBefore };
// "name", "pin", "flow", "auth", "name read back", "name read", "name before": the word the reports
// show.
const char* StepKindName(StepKind kind);

struct StepResult {
    StepKind step = StepKind::NameRead;
    std::string command; // as sent, Windows-1250, with its CR LF
    std::string reply;   // as received, Windows-1250; for the name steps the name
    Outcome outcome = Outcome::Silent;
    double seconds = 0;
};

struct PortResult;

// What a job does once the module's current name is read and before anything is programmed: the
// station takes the module's number here and builds its settings, or leaves the module alone.
struct BeforeProgramDecision {
    enum class Go { Program, Skip, Stop };
    Go go = Go::Program;
    ExitStatus status = kExitOk; // for Skip and Stop
    std::string message; // why not programmed
};
using BeforeProgram = std::function<BeforeProgramDecision(const PortResult& port, MODULE_SETTINGS& settings)>;

struct PortTask {
    std::string port;
    size_t position = 0; // in the command line's list, from 1
    std::string logFile;
    std::string monitorTag; // set when several ports mirror to the monitor at once
    bool program = false; // otherwise only the name is read
    MODULE_SETTINGS settings;
    bool verify = true;
    bool replyDriven = true;
    // When set, the name is read first ("name before") and this decides; settings is its starting point.
    BeforeProgram beforeProgram;
};

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
    std::string name;    // the name read, for the name query
    std::string nameBefore; // the name read before programming, with beforeProgram
    bool skipped = false;   // beforeProgram left the module as it was
    std::vector<StepResult> steps;
    double seconds = 0;
};

// Called after each step, from the job's own thread.
using StepReport = std::function<void(const PortResult& port, const StepResult& step)>;

// Fills result as the job goes, so that what was done is known even when the job is cut short (by an
// exception, say). Ends early, after the exchange under way, once StopRequested() holds.
void RunPort(const PortTask& task, const StepReport& report, PortResult& result);
PortResult RunPort(const PortTask& task, const StepReport& report);

// "TxRx.log" for a single port, else "TxRx-<port>.log" with characters unsafe in a file name replaced.
std::string LogFileFor(const std::string& port, size_t portCount);
// The log of each port of one command, distinct even where two names map to one file name (or differ
// only in case, as Windows' file names do): a later one gets "-2", "-3", ... before ".log".
std::vector<std::string> LogFilesFor(const std::vector<std::string>& ports);

// The message of a port that a stop signal cut short.
std::string StoppedMessage(int signalNumber, size_t stepsDone);

} // namespace zk405_cli
