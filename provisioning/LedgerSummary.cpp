#include "LedgerSummary.h"

#include <algorithm>
#include <map>
#include <set>

namespace provisioning {

namespace {

// An attempt is known by its id; a record without one (written by hand) is an attempt of its own.
// Appended piece by piece: GCC 12 at -O3 warns falsely about "..." + std::string&&.
std::string AttemptKey(const LedgerRecord& record, size_t index) {
    std::string key(1, record.attempt.empty() ? '#' : '=');
    return key.append(record.attempt.empty() ? std::to_string(index) : record.attempt);
}

bool InSpan(const std::string& time, const LedgerSpan& span) {
    if (!span.since && !span.until)
        return true;
    IsoTime parsed;
    if (!ParseIsoTime(time, parsed) || !parsed.offset)
        return false;
    const LedgerClock at = parsed.Utc();
    return (!span.since || at >= *span.since) && (!span.until || at < *span.until);
}

// The records of the attempts that began within the span, in the order of the file.
std::vector<const LedgerRecord*> RecordsInSpan(const LedgerContents& contents, const LedgerSpan& span) {
    std::map<std::string, bool> within; // by the attempt's first record
    std::vector<const LedgerRecord*> records;
    for (size_t i = 0; i < contents.records.size(); ++i) {
        const LedgerRecord& record = contents.records[i];
        const auto [known, first] = within.emplace(AttemptKey(record, i), false);
        if (first)
            known->second = InSpan(record.time, span);
        if (known->second)
            records.push_back(&record);
    }
    return records;
}

struct Number {
    bool programmed = false;
    bool sent = false; // its settings went out unverified
    std::set<std::string> attempts;
    UnresolvedModule last; // name, reason and time of its last failure
};

void CountNumber(std::map<std::int64_t, Number>& numbers, const LedgerRecord& record, const std::string& attempt) {
    if (record.n == 0)
        return;
    Number& number = numbers[record.n];
    number.attempts.insert(attempt);
    if (!record.nameAfter.empty())
        number.last.name = record.nameAfter;
    if (record.event == kResultProgrammed) {
        number.programmed = true;
    } else if (record.event == kResultSent) {
        number.sent = true;
    } else if (record.event == kResultFailed) {
        number.last.n = record.n;
        number.last.reason = record.message;
        number.last.time = record.time;
    }
}

// A number is a module: programmed once any attempt programmed it (none is given again after), and
// unresolved while it has failed and nothing programmed it; one whose only attempt was cut off is
// neither, and is counted as interrupted.
void Modules(const std::map<std::int64_t, Number>& numbers, LedgerSummary& summary) {
    for (const auto& [n, number] : numbers) {
        if (number.programmed) {
            ++summary.programmed;
        } else if (number.sent) {
            ++summary.sent;
        } else if (number.last.n != 0) {
            UnresolvedModule module = number.last;
            module.attempts = number.attempts.size();
            summary.unresolved.push_back(module);
        }
    }
}

} // namespace

LedgerSummary Summarize(const LedgerContents& contents, const LedgerSpan& span) {
    LedgerSummary summary;
    summary.badLines = contents.badLines.size();
    for (const LedgerRecord& record : contents.records)
        summary.lastNumber = std::max(summary.lastNumber, record.n);
    std::map<std::string, bool> resolved; // attempt -> a result followed its start
    std::map<std::string, size_t> failures;
    std::map<std::int64_t, Number> numbers;
    for (const LedgerRecord* record : RecordsInSpan(contents, span)) {
        const std::string attempt = AttemptKey(*record, static_cast<size_t>(record - contents.records.data()));
        if (summary.first.empty())
            summary.first = record->time;
        summary.last = record->time;
        CountNumber(numbers, *record, attempt);
        if (record->event == kLedgerStarted) {
            resolved.emplace(attempt, false);
            continue;
        }
        resolved[attempt] = true;
        if (record->event == kResultSkipped) {
            ++summary.skipped;
            resolved.erase(attempt); // left alone: no attempt at programming
        } else if (record->event == kResultProgrammed) {
            summary.programmed += record->n == 0 ? 1 : 0; // a record without a number is a module of its own
        } else if (record->event == kResultSent) {
            summary.sent += record->n == 0 ? 1 : 0;
        } else {
            ++summary.failed;
            ++failures[record->message.empty() ? "(no reason given)" : record->message];
        }
    }
    summary.attempts = resolved.size();
    for (const auto& [attempt, done] : resolved)
        summary.interrupted += done ? 0 : 1;
    Modules(numbers, summary);
    summary.failures.assign(failures.begin(), failures.end());
    std::stable_sort(summary.failures.begin(), summary.failures.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return summary;
}

} // namespace provisioning
