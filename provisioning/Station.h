// The provisioning station: waits for modules to appear (plugged in, paired) and programs each newly
// appearing one exactly once, with the ledger keeping its number and its result. It tells what happens
// to an observer, which a front end renders (a console's lines, JSON events, a window's list).
#pragma once

#include "ExitStatus.h"
#include "Outcome.h"
#include "PortSource.h"
#include "RecordedJob.h"
#include "Settings.h"

#include <functional>
#include <string>

namespace provisioning {

struct StationOptions {
    SettingsInput input; // the preset and the options merged
    std::string ledgerPath;
    std::string watchDir; // "" for /dev (the COM ports on Windows)
    bool bluetooth = false;
    SourceFactory bluetoothSource; // the paired Bluetooth modules, when bluetooth is asked for
    bool includePresent = false;
    bool skipDone = false;
    size_t once = 0; // stop after this many modules; 0 never
    bool transcripts = true; // each attempt's transcript in TranscriptFolderFor(ledgerPath)
    ResultCommand onResult;  // run after each result record
    PairingPlan pairing; // the Bluetooth steps around each module's work (input.pairPin)
    // Whether to take no new module and end once the modules in flight are done. Unset: when the process
    // is asked to stop (StopRequested). A window sets its own, so that closing it, or its automatic
    // mode turned off, ends the station without ending the program.
    std::function<bool()> stopRequested;
};

struct Tally {
    size_t programmed = 0;
    size_t sent = 0; // settings sent without verification
    size_t failed = 0;
    size_t skipped = 0;
};

// Told what the station does. The station calls one method at a time (from its own thread or a job's),
// so an observer needs no lock of its own.
class StationObserver {
public:
    virtual ~StationObserver() = default;
    // Waiting for modules now; present ports are left alone unless the options include them.
    virtual void Ready(const StationOptions& options, size_t present) = 0;
    virtual void Gone(const std::string& port) = 0;
    // The folder watched went away (why says how: removed, moved away, replaced); the station goes on
    // and takes the folder found under the same path again, then WatchBack. Modules in flight go on.
    virtual void WatchLost(const std::string& folder, const std::string& why) = 0;
    virtual void WatchBack(const std::string& folder) = 0;
    // A module's number was taken, before anything was programmed.
    virtual void Started(const RecordedResult& attempt) = 0;
    // A module's attempt ended; tally counts it already.
    virtual void Finished(const RecordedResult& attempt, Verdict verdict, const Tally& tally) = 0;
    // The ledger's lock is held by another: the station (or a module's job) waits, bounded.
    virtual void LedgerWaiting(const LedgerLockWait& wait) = 0;
    // The ledger could not be written: the station stops.
    virtual void LedgerBroken(const std::string& error) = 0;
    virtual void Stopped(const Tally& tally, ExitStatus status, int signal) = 0;
    // A module's job began a step or one of its tries (told from the job's thread, one call at a time
    // as every other). An observer with nothing to show for a wait need not hear it.
    virtual void Progress(const StepUnderWay& underWay) { static_cast<void>(underWay); }
};

// A module is a device, not a name: a name that goes (or is renamed) before the module's open, or that
// reaches a device already there under another name, being programmed or done, is no new module. A
// device no name reaches any more has gone; when it comes back it is a new module (plugged in again).
// Runs until a stop signal (StopSignal.h), or options.once modules. A stop takes no new module and lets
// the modules in flight finish. The exit status: 0 when every module was programmed (or skipped), else
// the lowest of the modules' statuses; 7 when the ledger could not be written; 128 + the signal when a
// stop came before options.once modules were done. kExitUsage with the reason in refusal when the
// station cannot start (no watch, no Bluetooth, no ledger); then nothing was sent.
ExitStatus RunStation(const StationOptions& options, StationObserver& observer, std::string& refusal);

} // namespace provisioning
