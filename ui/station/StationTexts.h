// The station window's texts, UTF-8, in one place: the labels, the columns, and the Polish words for
// the one vocabulary of outcomes and results (provisioning/Outcome.h), one table each.
#pragma once

#include "Job.h"
#include "Outcome.h"
#include "ResultCommand.h"

#include <wx/colour.h>

#include <string>

namespace station_ui {

namespace text {
inline constexpr const char* kTitle = "ZK405 — stanowisko programowania";
inline constexpr const char* kProgram = "&Programuj";
inline constexpr const char* kAutomatic = "&Automatycznie";
inline constexpr const char* kName = "&Nazwa:";
inline constexpr const char* kNameHint = "{n} — numer z rejestru, {port} — nazwa portu";
inline constexpr const char* kPin = "P&IN:";
inline constexpr const char* kPinSet = "PIN: ustawiony";
inline constexpr const char* kPinNotSet = "PIN: nieustawiony";
inline constexpr const char* kPairPinSet = "PIN parowania: ustawiony";
inline constexpr const char* kPairPinNotSet = "PIN parowania: nieustawiony";
inline constexpr const char* kOnResult = "Pol&ecenie po wyniku:";
inline constexpr const char* kOnResultHint = "uruchamiane po każdym wyniku; wpis z rejestru jako JSON na wejściu";
inline constexpr const char* kDiscover = "Wyszukuj niesparowane moduły &Bluetooth";
inline constexpr const char* kMatch = "Nazwa pa&suje do:";
inline constexpr const char* kMatchHint = "wzorzec nazwy modułu, * i ?";
inline constexpr const char* kProvePin = "Sprawdź nowy PIN parowanie&m";
inline constexpr const char* kUnpairAfter = "Usuń p&owiązanie na końcu";
inline constexpr const char* kTranscriptAt = ". Zapis rozmowy: ";
inline constexpr const char* kOnResultFailed = ": polecenie po wyniku ";
inline constexpr const char* kNoTranscript = "brak zapisu rozmowy: ";
inline constexpr const char* kResultStands = "; wynik modułu bez zmian.";
inline constexpr const char* kFlow = "&Kontrola przepływu:";
inline constexpr const char* kAuth = "&Uwierzytelnianie:";
inline constexpr const char* kUnchanged = "(bez zmian)";
inline constexpr const char* kAuthAlways = "pytaj za każdym razem";
inline constexpr const char* kAuthRemember = "pamiętaj ostatni PIN";
inline constexpr const char* kLoadPreset = "&Wczytaj ustawienia…";
inline constexpr const char* kSavePreset = "&Zapisz ustawienia…";
inline constexpr const char* kLocked = "Ustawienia zablokowane (--locked): nie można ich zmienić.";
inline constexpr const char* kLedger = "&Rejestr:";
inline constexpr const char* kChooseLedger = "W&ybierz rejestr…";
inline constexpr const char* kNoLedger = "(nie wybrano)";
inline constexpr const char* kPresetFiles = "Ustawienia (*.preset;*.txt)|*.preset;*.txt|Wszystkie pliki|*";
inline constexpr const char* kLedgerFiles = "Rejestr (*.jsonl;*.csv)|*.jsonl;*.csv";
inline constexpr const char* kProgrammed = "Zaprogramowane";
inline constexpr const char* kFailed = "Błędy";
inline constexpr const char* kSkipped = "Pominięte";
inline constexpr const char* kNoFailure = "Brak błędów.";
inline constexpr const char* kError = "Błąd";
inline constexpr const char* kInFlight = "programowanie…";
inline constexpr const char* kWaiting = "czeka";
inline constexpr const char* kGone = "odłączony";
inline constexpr const char* kCannotOpen = "nie można otworzyć: ";
inline constexpr const char* kBusyRow = "Ten moduł jest właśnie programowany.";
inline constexpr const char* kSelectRow = "Wybierz moduł z listy.";
inline constexpr const char* kNeedLedger = "Wybierz rejestr, zanim zaczniesz programować.";
inline constexpr const char* kStationRefused = "Stanowisko nie ruszyło: ";
inline constexpr const char* kWatchLost = "Folder nie jest już obserwowany: ";
inline constexpr const char* kLedgerWaiting = "Rejestr zajęty przez inny program, czekam: ";
inline constexpr const char* kLedgerBroken = "Nie można zapisać rejestru: ";

// The list's columns, left to right.
inline constexpr const char* kColumns[] = {"Czas",  "Port",   "Opis / adres", "Nazwa przed", "Nazwa po",
                                           "Nazwa", "PIN",    "Przepływ",     "Uwierz.",     "Czas [s]",
                                           "Wynik"};
} // namespace text

enum Column { kColTime, kColPort, kColDescription, kColNameBefore, kColNameAfter, kColName, kColPin, kColFlow,
              kColAuth, kColSeconds, kColResult, kColumnCount };

// "potwierdzone", "odrzucone", ...: the Polish word for each of the vocabulary's outcomes.
const char* OutcomeLabel(provisioning::Outcome outcome);

// How the command after a result ended: "zakończyło się kodem 3", "przerwane po limicie czasu", ...
std::string ResultCommandWords(const provisioning::ResultCommandRun& run);

// A result as the list shows it: a word (never the colour alone) and its colour.
struct ResultLook {
    std::string word;
    wxColour colour;
};
ResultLook LookOf(provisioning::Verdict verdict);

} // namespace station_ui
