#include "Outcome.h"

#include "ModuleCommands.h"

namespace provisioning {

namespace {

// The failure words are written as one token each, so that a script splits a line of text on spaces
// and a ledger's message never has to be looked at to tell the kinds apart.
constexpr VerdictWords kWords[] = {
    /* Programmed   */ {kResultProgrammed, "", TallyColumn::Programmed},
    /* Sent         */ {kResultSent, "", TallyColumn::Sent},
    /* Skipped      */ {kResultSkipped, "", TallyColumn::Skipped},
    /* NotOpened    */ {kResultFailed, "not-opened", TallyColumn::Failed},
    /* LineStuck    */ {kResultFailed, "line-stuck", TallyColumn::Failed},
    /* Failed       */ {kResultFailed, "error", TallyColumn::Failed},
    /* LinkLost     */ {kResultFailed, "link-lost", TallyColumn::Failed},
    /* Silent       */ {kResultFailed, "silent", TallyColumn::Failed},
    /* NotConfirmed */ {kResultFailed, "not-confirmed", TallyColumn::Failed},
    /* Interrupted  */ {kResultFailed, "interrupted", TallyColumn::Failed},
    /* NotPaired    */ {kResultFailed, "not-paired", TallyColumn::Failed},
    /* PinNotProved */ {kResultFailed, "pin-not-proved", TallyColumn::Failed},
};
static_assert(std::size(kWords) == static_cast<size_t>(Verdict::PinNotProved) + 1);

} // namespace

const VerdictWords& WordsOf(Verdict verdict) {
    return kWords[static_cast<size_t>(verdict)];
}

std::string ResultText(Verdict verdict) {
    const VerdictWords& words = WordsOf(verdict);
    std::string text = words.result;
    if (*words.failure != '\0')
        text.append(" (").append(words.failure).append(")");
    return text;
}

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Confirmed:
        return "confirmed";
    case Outcome::Refused:
        return "refused";
    case Outcome::Unconfirmed:
        return "unconfirmed";
    case Outcome::Silent:
        return "silent";
    case Outcome::Sent:
        return "sent";
    case Outcome::NameFound:
        return "found";
    case Outcome::LinkLost:
        return "link-lost";
    case Outcome::Stuck:
        return "stuck";
    case Outcome::Interrupted:
        return "interrupted";
    }
    return "";
}

bool OutcomeIsGood(Outcome outcome) {
    return outcome == Outcome::Confirmed || outcome == Outcome::Sent || outcome == Outcome::NameFound;
}

Outcome JudgeReply(const std::string& reply) {
    switch (module_commands::FinalLineOf(reply)) {
    case module_commands::FinalLine::Ok:
        return Outcome::Confirmed;
    case module_commands::FinalLine::Error:
        return Outcome::Refused;
    case module_commands::FinalLine::None:
        break;
    }
    // "0" is the channel's word for nothing received.
    return reply == "0" || reply.empty() ? Outcome::Silent : Outcome::Unconfirmed;
}

} // namespace provisioning
