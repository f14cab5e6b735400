// The ledger's event and result words as they were written over the years, read as today's.
#include "LedgerRecord.h"

#include <algorithm>
#include <cctype>

namespace provisioning {

namespace {

// The event every result record had before the result word became the event; its result told a
// module programmed and confirmed from one sent without looking at the answers.
constexpr std::string_view kOldDone = "done";

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool IsResultWord(const std::string& word) {
    return word == kResultProgrammed || word == kResultSent || word == kResultSkipped || word == kResultFailed;
}

} // namespace

bool ReadOutcomeWords(LedgerRecord& record) {
    if (record.event == kLedgerStarted)
        return true;
    record.result = Lower(std::move(record.result));
    if (record.event == kOldDone) {
        record.event = record.result == kResultSent ? kResultSent : kResultProgrammed;
        record.result = record.event;
    }
    return IsResultWord(record.event);
}

} // namespace provisioning
