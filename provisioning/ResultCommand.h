// The command run after each result record, for a label printer or a production system: through the
// shell, with the record as one JSON line on its standard input and its main fields in the
// environment, within a time limit. What it does is told back and never changes the module's result.
// Its standard output goes to the program's standard error, so it never mixes with a report. One file
// per platform starts it (ResultCommandPosix.cpp, ResultCommandWin32.cpp), chosen by CMake.
#pragma once

#include "LedgerRecord.h"

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace provisioning {

inline constexpr std::chrono::seconds kResultCommandTimeout{10};

struct ResultCommand {
    std::string command; // for /bin/sh -c (cmd /c on Windows); empty for none
    std::chrono::milliseconds timeout = kResultCommandTimeout;
};

struct ResultCommandRun {
    enum class End { NotRun, Exited, Signalled, TimedOut, NotStarted };
    End end = End::NotRun;
    int code = 0;       // the exit status, or the signal
    std::string reason; // why it did not start
    double seconds = 0;
};

// Whether the command ran and did not end with status 0.
bool Failed(const ResultCommandRun& run);
// "exited with status 3", "ended by signal 9", "killed after the time limit of 10 s", "cannot start: ..."
std::string DescribeRun(const ResultCommandRun& run, const ResultCommand& command);

using Environment = std::vector<std::pair<std::string, std::string>>;
// ZK405_RESULT, ZK405_N, ZK405_NAME (the name it was to get, else the name it had), ZK405_ADDRESS,
// ZK405_PORT, ZK405_FAILURE, ZK405_LEDGER and ZK405_TRANSCRIPT (the transcript file's path).
Environment ResultEnvironment(const LedgerRecord& record, const std::string& ledgerPath,
                              const std::string& transcriptPath);

// Runs it to its end or its time limit, when it is killed, with everything it started (its process
// group; its job object on Windows). input goes to its standard input; a command that does not read it
// ends nothing here. environment is added to the program's own.
ResultCommandRun RunResultCommand(const ResultCommand& command, const std::string& input,
                                  const Environment& environment);

} // namespace provisioning
