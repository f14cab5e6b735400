// What a ledger says as a whole: the modules programmed, the failures by reason, the numbers taken
// without a result, the last number.
#pragma once

#include "LedgerRecord.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace provisioning {

struct LedgerSummary {
    size_t programmed = 0; // records of modules programmed
    size_t sent = 0;       // records of modules sent their settings without the answers looked at
    size_t skipped = 0;
    size_t interrupted = 0;                          // "started" without a result
    std::vector<std::pair<std::string, size_t>> failures; // reason, count; most frequent first
    std::int64_t lastNumber = 0;
    size_t badLines = 0;
};
LedgerSummary Summarize(const LedgerContents& contents);

} // namespace provisioning
