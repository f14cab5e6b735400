// `zk405-cli ledger FILE`: what a ledger says, as a whole or over a shift (modules programmed, modules
// unresolved, attempts, failures by reason, the last number), and --check: whether every line in it is
// whole and well formed.
#pragma once

#include "ExitStatus.h"
#include "Ledger.h"
#include "LedgerSummary.h"

#include <ostream>
#include <string>

namespace zk405_cli {

// Times in local time with the zone's offset; with --json as the ledger keeps them (UTC).
provisioning::ExitStatus SummarizeLedger(const std::string& path, const provisioning::LedgerSpan& span, bool json,
                                         std::ostream& out, std::ostream& err);
// 0 when clean; otherwise each bad line is named on err and the status is 7 (kExitLedger).
provisioning::ExitStatus CheckLedger(const std::string& path, std::ostream& out, std::ostream& err);

// The line that tells the person at the bench what a run waits for, with its line feed.
std::string LockWaitLine(const provisioning::LedgerLockWait& wait);

} // namespace zk405_cli
