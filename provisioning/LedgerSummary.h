// What a ledger says as a whole, or over a span of time (a shift): the modules programmed and the ones
// whose attempts failed and are still unresolved, the attempts and the failures by reason, the numbers
// taken without a result, the last number. A module is a number: a retry takes its number again.
#pragma once

#include "IsoTime.h"
#include "LedgerRecord.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace provisioning {

// A module whose attempts failed and none programmed it since.
struct UnresolvedModule {
    std::int64_t n = 0;
    std::string name;     // the name it was to get, UTF-8; "" without one
    std::string reason;   // of its last failure
    std::string time;     // of its last failure, as the ledger has it (UTC)
    size_t attempts = 0;
};

struct LedgerSummary {
    size_t programmed = 0;                    // modules: numbers with a programmed result
    size_t sent = 0;                          // modules sent their settings unverified, never programmed
    std::vector<UnresolvedModule> unresolved; // by number
    size_t attempts = 0;                      // every attempt but the skipped ones
    size_t failed = 0;                        // attempts that failed
    size_t skipped = 0;
    size_t interrupted = 0;                          // "started" without a result
    std::vector<std::pair<std::string, size_t>> failures; // reason, count; most frequent first
    std::string first, last; // the times of the first and last record summed up ("" when none)
    std::int64_t lastNumber = 0; // of the whole ledger, whatever the span
    size_t badLines = 0;
};

// Attempts that began at since or later and before until; a record whose time cannot be read is in
// no span. Without either bound, every record.
struct LedgerSpan {
    std::optional<LedgerClock> since;
    std::optional<LedgerClock> until;
};

LedgerSummary Summarize(const LedgerContents& contents, const LedgerSpan& span = {});

} // namespace provisioning
