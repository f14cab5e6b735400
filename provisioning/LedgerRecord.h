// The production ledger's records and their two spellings, CSV and JSON Lines: one record per module
// and attempt, a "started" record when its number is taken and a result record after. The PIN is
// never written, only whether it was sent.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace provisioning {

enum class LedgerFormat { Csv, JsonLines };

// ".csv" or ".jsonl" (any letter case); false with the reason for any other name.
bool LedgerFormatOf(const std::string& path, LedgerFormat& format, std::string& error);

// The events; the result words come from the outcome vocabulary (Outcome.h).
inline constexpr const char* kLedgerStarted = "started";
inline constexpr const char* kLedgerDone = "done";
inline constexpr const char* kLedgerFailed = "failed";
inline constexpr const char* kLedgerSkipped = "skipped";

struct LedgerRecord {
    std::string time;    // ISO 8601, UTC, e.g. 2026-12-07T19:15:18.042Z
    std::string station; // the host name
    std::string attempt; // the same in an attempt's "started" record and its result
    std::string event;   // kLedgerStarted, kLedgerDone, kLedgerFailed, kLedgerSkipped
    long n = 0;          // the module's number; 0 when none was taken
    std::string port;
    std::string device;
    std::string bluetooth;  // the module's address when known
    std::string nameBefore; // UTF-8
    std::string nameAfter;  // UTF-8; in a "started" record the name the module is to get
    std::vector<std::string> settings; // which were sent: "name", "pin", "flow", "auth"; never a value
    std::string result;                // PROGRAMMED, FAILED, SKIPPED; empty in a "started" record
    int status = -1;                   // the exit status of the attempt; -1 in a "started" record
    std::string message;
    double seconds = 0;
};

// One line with its line feed. CSV fields a spreadsheet would take for a formula get a leading "'".
std::string FormatRecord(const LedgerRecord& record, LedgerFormat format);
const std::string& CsvHeader(); // with its line feed
bool ParseRecord(std::string_view line, LedgerFormat format, LedgerRecord& out);

// A ledger read back. A line that is not whole (no line feed at the end of the file) or does not parse
// is skipped and its number (from 1) kept in badLines.
struct LedgerContents {
    std::vector<LedgerRecord> records;
    std::vector<size_t> badLines;
    size_t lines = 0;
};
LedgerContents ParseLedger(std::string_view text, LedgerFormat format);

// The current time as the ledger writes it.
std::string LedgerTime();

} // namespace provisioning
