#include "Outcome.h"

#include "ModuleCommands.h"

namespace provisioning {

namespace {

// The ledger's "done" and "failed" are the words ledgers have been written with since the first
// station; they stay, so that every ledger on the line reads back.
constexpr VerdictWords kWords[] = {
    /* Programmed   */ {"ok", "PROGRAMMED", "done", "programmed", TallyColumn::Programmed},
    /* Sent         */ {"sent", "SENT", "done", "sent", TallyColumn::Sent},
    /* Skipped      */ {"skipped", "SKIPPED", "skipped", "skipped", TallyColumn::Skipped},
    /* NotOpened    */ {"not opened", "FAILED", "failed", "failed", TallyColumn::Failed},
    /* LineStuck    */ {"line stuck", "FAILED", "failed", "failed", TallyColumn::Failed},
    /* Failed       */ {"failed", "FAILED", "failed", "failed", TallyColumn::Failed},
    /* LinkLost     */ {"link lost", "FAILED", "failed", "failed", TallyColumn::Failed},
    /* Silent       */ {"silent", "FAILED", "failed", "failed", TallyColumn::Failed},
    /* NotConfirmed */ {"not confirmed", "FAILED", "failed", "failed", TallyColumn::Failed},
    /* Interrupted  */ {"interrupted", "FAILED", "failed", "failed", TallyColumn::Failed},
};
static_assert(std::size(kWords) == static_cast<size_t>(Verdict::Interrupted) + 1);

} // namespace

const VerdictWords& WordsOf(Verdict verdict) {
    return kWords[static_cast<size_t>(verdict)];
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
