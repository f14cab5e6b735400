// The production ledger: one record per module and attempt, appended whole to a CSV or JSON Lines file
// that several stations may share. A module's number is taken with a "started" record before anything
// is programmed, and its result follows in a record of its own, so a station killed half-way never
// hands its number or its name to another module. The PIN is never written, only whether it was sent.
#pragma once

#include "LedgerFile.h"

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zk405_cli {

enum class LedgerFormat { Csv, JsonLines };

// ".csv" or ".jsonl" (any letter case); false with the reason for any other name.
bool LedgerFormatOf(const std::string& path, LedgerFormat& format, std::string& error);

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

// The ledger a station or a program run appends to. Safe to use from the jobs' threads at once; across
// processes the file's lock keeps each read-and-append whole.
class Ledger {
public:
    // Opens (creating it with its header) and reads what is there; false with the reason when the file
    // cannot be used, then nothing may be programmed.
    bool Open(const std::string& path, std::string& error);

    // Takes the next number (one past the highest any record holds) and appends the "started" record
    // under the file's lock. nameFor gives the name the module is to get with that number, or false
    // with the reason it cannot (then nothing is written). record.n and record.nameAfter are filled in.
    using NameForNumber = std::function<bool(long n, std::string& name, std::string& error)>;
    bool Start(LedgerRecord& record, const NameForNumber& nameFor, std::string& error);
    // Appends a result or any other record whole, synced to the disk before it returns.
    bool Append(const LedgerRecord& record, std::string& error);

    // Whether a module with this address (or, without one, this current name) was programmed before,
    // by this or any other station writing the file.
    bool WasProgrammed(const std::string& bluetooth, const std::string& name, bool& programmed, std::string& error);

private:
    // Reads what other stations appended since the last look; called with the file locked.
    bool CatchUp(std::string& error);
    bool AppendLocked(const std::string& line, std::string& error);

    std::mutex m_lock; // the file's lock is the process's; threads take turns here first
    ledger_file::LedgerFile m_file;
    LedgerFormat m_format = LedgerFormat::JsonLines;
    uint64_t m_consumed = 0; // bytes read up to the end of the last whole line
    long m_highest = 0;
    std::set<std::string> m_doneAddresses;
    std::set<std::string> m_doneNames;
};

// What `zk405-cli ledger FILE` prints.
struct LedgerSummary {
    size_t programmed = 0; // modules with a "done" record
    size_t skipped = 0;
    size_t interrupted = 0;                          // "started" without a result
    std::vector<std::pair<std::string, size_t>> failures; // reason, count; most frequent first
    long lastNumber = 0;
    size_t badLines = 0;
};
LedgerSummary Summarize(const LedgerContents& contents);

} // namespace zk405_cli
