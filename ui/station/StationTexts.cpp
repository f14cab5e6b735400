#include "StationTexts.h"

#include <array>

namespace station_ui {

namespace {

using provisioning::Outcome;
using provisioning::Verdict;

struct OutcomeWord {
    Outcome outcome;
    const char* label;
};
constexpr OutcomeWord kOutcomes[] = {
    {Outcome::Confirmed, "potwierdzone"}, {Outcome::Refused, "odrzucone"},
    {Outcome::Unconfirmed, "niepotwierdzone"}, {Outcome::Silent, "brak odpowiedzi"},
    {Outcome::Sent, "wysłane"}, {Outcome::NameFound, "odczytana"},
    {Outcome::LinkLost, "utracone połączenie"}, {Outcome::Stuck, "linia zablokowana"},
    {Outcome::Interrupted, "przerwane"},
};

struct VerdictWord {
    Verdict verdict;
    const char* label;
};
// The failure's kind in brackets, as ResultText gives it in English.
constexpr VerdictWord kVerdicts[] = {
    {Verdict::Programmed, "ZAPROGRAMOWANY"},
    {Verdict::Sent, "WYSŁANY"},
    {Verdict::Skipped, "POMINIĘTY"},
    {Verdict::NotOpened, "BŁĄD (nie otwarto portu)"},
    {Verdict::LineStuck, "BŁĄD (linia zablokowana)"},
    {Verdict::Failed, "BŁĄD"},
    {Verdict::LinkLost, "BŁĄD (utracone połączenie)"},
    {Verdict::Silent, "BŁĄD (brak odpowiedzi)"},
    {Verdict::NotConfirmed, "BŁĄD (niepotwierdzony)"},
    {Verdict::Interrupted, "BŁĄD (przerwany)"},
};

wxColour ColourOf(provisioning::TallyColumn column) {
    switch (column) {
    case provisioning::TallyColumn::Programmed:
        return wxColour(0, 128, 0);
    case provisioning::TallyColumn::Failed:
        return wxColour(192, 0, 0);
    case provisioning::TallyColumn::Sent:
    case provisioning::TallyColumn::Skipped:
        break;
    }
    return wxColour(160, 110, 0);
}

} // namespace

const char* OutcomeLabel(Outcome outcome) {
    for (const OutcomeWord& word : kOutcomes)
        if (word.outcome == outcome)
            return word.label;
    return provisioning::OutcomeName(outcome);
}

ResultLook LookOf(Verdict verdict) {
    ResultLook look{provisioning::ResultText(verdict), ColourOf(provisioning::WordsOf(verdict).tally)};
    for (const VerdictWord& word : kVerdicts)
        if (word.verdict == verdict)
            look.word = word.label;
    return look;
}

std::string ResultCommandWords(const provisioning::ResultCommandRun& run) {
    using End = provisioning::ResultCommandRun::End;
    switch (run.end) {
    case End::Exited:
        return "zakończyło się kodem " + std::to_string(run.code);
    case End::Signalled:
        return "przerwane sygnałem " + std::to_string(run.code);
    case End::TimedOut:
        return "przerwane po limicie czasu";
    case End::NotStarted:
        return "nie ruszyło: " + run.reason;
    case End::NotRun:
        break;
    }
    return "nie uruchomione";
}

} // namespace station_ui
