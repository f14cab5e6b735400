// The production ledger's records and their two spellings, CSV and JSON Lines: one record per module
// and attempt, a "started" record when its number is taken and a result record after. The PIN is
// never written, only whether it was sent.
#pragma once

#include "Outcome.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace provisioning {

enum class LedgerFormat { Csv, JsonLines };

// ".csv" or ".jsonl" (any letter case); false with the reason for any other name.
bool LedgerFormatOf(const std::string& path, LedgerFormat& format, std::string& error);

// The highest number a record may hold: 18 digits, which every reader takes on every platform (a
// 32-bit long included, as the number is 64 bits wide everywhere). The number after it is refused,
// never wrapped, and a record holding a higher one is a record that cannot be read.
inline constexpr std::int64_t kLedgerMaxNumber = 999'999'999'999'999'999;

// The events: "started" when a number is taken, then the attempt's result word from the outcome
// vocabulary (kResultProgrammed, kResultSent, kResultSkipped, kResultFailed), which the result field
// repeats. Records are read back in these words whichever spelling wrote them (ReadOutcomeWords).
inline constexpr const char* kLedgerStarted = "started";

struct LedgerRecord {
    std::string time;    // ISO 8601, UTC, e.g. 2026-12-07T19:15:18.042Z
    std::string station; // the host name
    std::string attempt; // the same in an attempt's "started" record and its result
    std::string event;   // kLedgerStarted or a result word
    std::int64_t n = 0;  // the module's number; 0 when none was taken
    std::string port;
    std::string device;
    std::string bluetooth;  // the module's address when known
    std::string nameBefore; // UTF-8
    std::string nameAfter;  // UTF-8; in a "started" record the name the module is to get
    std::vector<std::string> settings; // which were sent: "name", "pin", "flow", "auth"; never a value
    std::string result;                // the result word again; empty in a "started" record
    int status = -1;                   // the exit status of the attempt; -1 in a "started" record
    std::string message;
    double seconds = 0;
    std::string failure; // a failed attempt's kind (Outcome.h); written in JSON Lines alone
    // The attempt's transcript, from the ledger's folder ("<ledger>.transcripts/<file>"); written in
    // JSON Lines alone: a CSV ledger keeps the columns its readers know, and its records name the file
    // by their number, address (else port) and attempt.
    std::string transcript;
    // The Bluetooth steps around the attempt, each "step=outcome" in their order: "pair=paired",
    // "program=programmed", "prove-pin=proved", "unpair=unpaired" (PairingSteps.h). JSON Lines has
    // them as a field; CSV keeps its columns, so they follow the settings in that column, where no
    // setting's name holds "=".
    std::vector<std::string> steps;
};

// One record with its line feed. CSV fields a spreadsheet would take for a formula get a leading "'";
// a CSV field holding a line feed is quoted (RFC 4180) and so spans lines, which the reader joins. A
// JSON line escapes every control character.
std::string FormatRecord(const LedgerRecord& record, LedgerFormat format);
const std::string& CsvHeader(); // with its line feed
bool ParseRecord(std::string_view line, LedgerFormat format, LedgerRecord& out);

// A record read back in today's words, whichever spelling wrote it: ledgers written before the
// result word was the event have "done" (their result PROGRAMMED or SENT says which) and results in
// capitals. False for an event no writer of ours wrote. Every reader of the ledger goes through it,
// so nothing past the codec meets an old word.
bool ReadOutcomeWords(LedgerRecord& record);

// A ledger read back. What does not parse is kept by the number (from 1) of the line it starts on in
// badLines: a line that is not whole (no line feed at the end of the file), a line that is no record
// at all (not a JSON object; not the ledger's columns, as a torn or mangled line is), and a record of
// the ledger's shape that cannot be read (an event, a number or a field no writer of ours writes),
// which is also kept in unreadable: it may hold a number that must not be given again.
struct LedgerContents {
    std::vector<LedgerRecord> records;
    std::vector<size_t> badLines;
    std::vector<size_t> unreadable;
    size_t lines = 0;
    size_t whole = 0; // the bytes up to the end of the last whole line; what follows is unfinished
};
LedgerContents ParseLedger(std::string_view text, LedgerFormat format);

// The current time as the ledger writes it.
std::string LedgerTime();

} // namespace provisioning
