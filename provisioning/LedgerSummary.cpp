#include "LedgerSummary.h"

#include <algorithm>
#include <map>

namespace provisioning {

LedgerSummary Summarize(const LedgerContents& contents) {
    LedgerSummary summary;
    summary.badLines = contents.badLines.size();
    std::map<std::string, bool> resolved; // attempt -> a result followed its start
    std::map<std::string, size_t> failures;
    for (const LedgerRecord& record : contents.records) {
        summary.lastNumber = std::max(summary.lastNumber, record.n);
        if (record.event == kLedgerStarted) {
            resolved.emplace(record.attempt, false);
            continue;
        }
        resolved[record.attempt] = true;
        if (record.event == kResultProgrammed)
            ++summary.programmed;
        else if (record.event == kResultSent)
            ++summary.sent;
        else if (record.event == kResultSkipped)
            ++summary.skipped;
        else
            ++failures[record.message.empty() ? "(no reason given)" : record.message];
    }
    for (const auto& [attempt, done] : resolved)
        summary.interrupted += done ? 0 : 1;
    summary.failures.assign(failures.begin(), failures.end());
    std::stable_sort(summary.failures.begin(), summary.failures.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return summary;
}

} // namespace provisioning
