// The times of `zk405-cli ledger --since/--until`: a time as a person types it for a shift, in the
// local zone unless it says its offset, and the ledger's UTC shown back in local time with the offset.
#pragma once

#include "IsoTime.h"
#include "LedgerSummary.h"

#include <string>

namespace CLI {
class Validator;
} // namespace CLI

namespace zk405_cli {

// 2026-12-08T06:00, 2026-12-08 06:00, 2026-12-08 (its midnight), 06:00 (today), each optionally with
// seconds; local time unless followed by Z or an offset (+01:00). False with the reason otherwise.
bool ParseShiftTime(const std::string& text, provisioning::LedgerClock& time, std::string& error);

// An option's check that refuses what ParseShiftTime refuses, as bad usage in the words of every refusal.
CLI::Validator ShiftTimeValidator();
// The span of --since and --until as given ("" for a bound not given), once the checks passed.
provisioning::LedgerSpan ShiftSpan(const std::string& since, const std::string& until);

// "2026-12-08 07:15:18 +01:00" for the ledger's 2026-12-08T06:15:18.042Z in a zone one hour east; a
// time that cannot be read is given back as it is.
std::string LocalTimeText(const std::string& ledgerTime);

} // namespace zk405_cli
