// zk405-cli's provisioning station: waits for modules to appear (plugged in, paired) and programs each
// newly appearing one exactly once, as `program` would, with the ledger keeping its number and its
// result. A person at the bench reads one line per module and a running tally; a script reads JSON.
#pragma once

#include "CliOptions.h"
#include "PortWatcher.h"

#include <ostream>
#include <string>

namespace zk405_cli {

struct StationOptions {
    SettingsInput input; // the preset and the options merged
    std::string ledgerPath;
    std::string watchDir; // "" for /dev (the COM ports on Windows)
    bool bluetooth = false;
    port_watcher::SourceFactory bluetoothSource; // the paired Bluetooth modules, for --bluetooth
    bool includePresent = false;
    bool skipDone = false;
    size_t once = 0; // stop after this many modules; 0 never
    bool json = false;
    bool colour = false; // escapes and the bell: only for a terminal a person reads
};

// Runs until Ctrl+C (SIGINT, SIGTERM, SIGHUP), or --once modules. The exit status: 0 when every module
// was programmed (or skipped), else the lowest of the modules' statuses; 7 when the ledger could not
// be written; 128 + the signal when a stop came before --once modules were done.
ExitStatus RunStation(const StationOptions& options, std::ostream& out, std::ostream& err);

} // namespace zk405_cli
