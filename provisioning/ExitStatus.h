// The exit statuses of a provisioning run, for every front end (zk405-cli's help words them for a
// person). When ports end differently the lowest of 2, 3 and 4 is reported.
#pragma once

namespace provisioning {

enum ExitStatus : int {
    kExitOk = 0,           // every selected setting confirmed on every port
    kExitUsage = 1,        // bad usage or input; nothing was sent
    kExitNotOpened = 2,    // a port could not be opened or worked: missing, busy, its line stuck, no thread
    kExitSilent = 3,       // a module stayed silent
    kExitNotConfirmed = 4, // a module refused or did not confirm a setting
    kExitReportLost = 5,   // every port ended well, but the report could not be written
    kExitFailed = 6,       // an unexpected failure (no memory, say) ended the program; ports were closed
    // The ledger could not be read or written: the run stops, as a module programmed without its
    // record could get a name already given.
    kExitLedger = 7,
    kExitSignalBase = 128, // + the signal that stopped the run (130 for Ctrl+C)
};

} // namespace provisioning
