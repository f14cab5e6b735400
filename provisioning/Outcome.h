// The one vocabulary of outcomes: what a module's reply to one command amounted to (Outcome), and how
// a module's whole attempt ended (Verdict). Each verdict owns every word a front end or a file uses
// for it, so that a report, the station's events, its tally and the ledger can never disagree.
#pragma once

#include <string>

namespace provisioning {

// One command's end.
enum class Outcome {
    Confirmed,   // "OK", or the name read back as sent
    Refused,     // "ERROR"
    Unconfirmed, // an answer without "OK", or another name read back
    Silent,      // nothing at all
    Sent,        // sent without looking at the answer
    NameFound,   // the module's name was read
    LinkLost,    // the connection to the module dropped (a Bluetooth link closed by the far end)
    Stuck,       // the command did not go out within the write bound: the line is held (flow control)
    Interrupted, // a stop signal ended the wait for the reply
};
// "confirmed", "refused", ...: the word reports give a step's outcome.
const char* OutcomeName(Outcome outcome);
// Whether the step went as it should (a setting confirmed or sent, a name read).
bool OutcomeIsGood(Outcome outcome);

// The first "OK" or "ERROR" line decides; nothing received is silence, anything else unconfirmed.
Outcome JudgeReply(const std::string& reply);

// A module's attempt as a whole.
enum class Verdict {
    Programmed,   // every setting confirmed (or, reading names, every name read)
    Sent,         // the settings went out without their answers being looked at
    Skipped,      // left alone: the ledger has it as programmed
    NotOpened,    // the port did not open
    LineStuck,    // a command did not go out: the line is held
    Failed,       // the port opened but could not be worked (no thread, no memory)
    LinkLost,     // the Bluetooth link dropped
    Silent,       // the module did not answer
    NotConfirmed, // a setting refused or not confirmed, or the attempt refused for its input or ledger
    Interrupted,  // a stop signal cut it short
    NotPaired,    // the Bluetooth module could not be paired with the PIN it has
    PinNotProved, // programmed, but the module did not pair again with its new PIN
};

// How an attempt ended, in the one word every front end and file uses for it: program's table and
// JSON, the station's line, event and tally, the ledger's event and result, and the ledger's summary.
inline constexpr const char* kResultProgrammed = "programmed";
inline constexpr const char* kResultSent = "sent";
inline constexpr const char* kResultSkipped = "skipped";
inline constexpr const char* kResultFailed = "failed";
// A name query's good end: its name was read, and nothing was programmed.
inline constexpr const char* kResultRead = "read";

// Where a verdict counts in a station's tally: one column per result word.
enum class TallyColumn { Programmed, Sent, Skipped, Failed };

struct VerdictWords {
    const char* result;  // kResultProgrammed, kResultSent, kResultSkipped or kResultFailed
    const char* failure; // a failed attempt's kind: "not-opened", "silent", ...; empty when it did not fail
    TallyColumn tally;
};
const VerdictWords& WordsOf(Verdict verdict);
// The result as a person reads it: "programmed", or with the kind of failure, "failed (silent)".
std::string ResultText(Verdict verdict);

} // namespace provisioning
