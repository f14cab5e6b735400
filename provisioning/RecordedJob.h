// One module programmed with the ledger keeping count: its current name is read, its number taken with
// a "started" record before the first setting goes out, and its result recorded after, whatever it
// was. Shared by the station and by a one-off run with a ledger.
#pragma once

#include "Job.h"
#include "Ledger.h"
#include "ResultCommand.h"
#include "PairingSteps.h"
#include "Settings.h"

#include <functional>
#include <string>

namespace provisioning {

struct RecordedTask {
    std::string port;
    std::string bluetooth; // the module's address, when its source knows it
    std::string logFile;
    SettingsInput input; // {n} is the ledger's number
    bool skipDone = false;
    bool verify = true;
    bool replyDriven = true;
    std::function<bool()> stopRequested; // as PortTask's
    StepStarting starting;               // as PortTask's
    // The folder the attempt's transcript is kept in (TranscriptFolderFor the ledger); "" for none.
    std::string transcriptDir;
    // Run after the result record is written, from the attempt's own thread; no command for none.
    ResultCommand onResult;
    PairingPlan pairing;                 // the Bluetooth steps around the work, with input.pairPin
};

struct RecordedResult {
    PortResult port;
    std::string attempt;
    std::int64_t n = 0;    // 0 when no number was taken
    std::string nameAfter; // UTF-8, when a name was to be given
    std::string time;      // of the "started" record, as the ledger writes it
    bool ledgerFailed = false;
    std::string ledgerError;
    std::string transcript;      // the transcript's path, when one was written
    std::string transcriptError; // why there is none, when one was asked for
    ResultCommandRun onResult;   // End::NotRun unless a command was given and the record written
    std::string onResultText;    // DescribeRun's words for it
};

// A fresh attempt id, unique across stations without asking any of them.
std::string NewAttemptId();

// report may be empty; started is called (from this thread) once the number is taken, with what the
// ledger's "started" record holds: the port, the attempt, the time and the name before.
RecordedResult RunRecorded(Ledger& ledger, const RecordedTask& task, const StepReport& report,
                           const std::function<void(const RecordedResult&)>& started);

} // namespace provisioning
