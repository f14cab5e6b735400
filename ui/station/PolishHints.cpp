#include "PolishHints.h"

namespace station_ui {

namespace {

// In HintKey's order, with the same placeholders as the English table.
constexpr provisioning::HintWords kPolish = {
    /* None                  */ "",
    /* Missing               */ "Podłącz adapter modułu albo wybierz port, który jest na liście",
    /* Permission            */ "Dodaj się do grupy dialout (sudo usermod -aG dialout $USER) i zaloguj się ponownie",
    /* NotSerialLine         */ "Wybierz port szeregowy",
    /* HeldByProgram         */ "Zamknij {program} (PID {pid}) albo wybierz inny port",
    /* HeldByPid             */ "Zamknij program o PID {pid} albo wybierz inny port",
    /* HeldByOther           */ "Zamknij inny program, który używa {device}, albo wybierz inny port",
    /* StaleExclusiveFlag    */ "Odłącz adapter i podłącz go ponownie",
    /* StaleLock             */ "Usuń pozostawioną blokadę: sudo rm {path}",
    /* NoLock                */ "Dołącz do grupy właściciela folderu {path} i zaloguj się ponownie",
    /* ResourceLimit         */ "Zamknij niepotrzebne programy i porty, potem spróbuj ponownie",
    /* BluetoothNotRunning   */ "Uruchom usługę Bluetooth (sudo systemctl start bluetooth) i spróbuj ponownie",
    /* BluetoothNotAnswering */ "Uruchom ponownie usługę Bluetooth (sudo systemctl restart bluetooth)",
    /* NoAdapter             */ "Podłącz albo włącz adapter Bluetooth",
    /* NotPaired             */ "Sparuj moduł {address} i spróbuj ponownie",
    /* NoSerialProfile       */ "Wybierz adres samego modułu (urządzenie z portem szeregowym)",
    /* ConnectionRefused     */ "Włącz moduł i spróbuj ponownie; jeśli znów odmówi, sparuj go od nowa",
    /* ConnectionTimedOut    */ "Włącz moduł, zbliż go na kilka metrów i spróbuj ponownie",
    /* OpenStopped           */ "Zaprogramuj ten port ponownie, gdy będziesz gotów",
    /* OpenOther             */ "Sprawdź kabel i nazwę portu, potem spróbuj ponownie",
    /* NoThreadOrMemory      */ "Zamknij niepotrzebne programy albo programuj mniej portów naraz",
    /* LineStuck             */ "Sprawdź kabel i adapter (kontrola przepływu zatrzymała linię), potem spróbuj ponownie",
    /* LinkLost              */ "Trzymaj moduł włączony i w zasięgu, potem zaprogramuj go ponownie",
    /* Silent                */ "Moduł nie odpowiada: sprawdź, czy jest w trybie konfiguracji i czy to jego port",
    /* RefusedName           */ "Zaprogramuj ponownie; jeśli znów odrzuci nazwę, odłóż moduł",
    /* RefusedPin            */ "Zaprogramuj ponownie; jeśli znów odrzuci PIN, odłóż moduł",
    /* RefusedFlow           */ "Zaprogramuj ponownie; jeśli znów odrzuci kontrolę przepływu, odłóż moduł",
    /* RefusedAuth           */ "Zaprogramuj ponownie; jeśli znów odrzuci uwierzytelnianie, odłóż moduł",
    /* Unconfirmed           */ "Zaprogramuj ponownie; jeśli znów nie potwierdzi, odłóż moduł (jego dziennik "
                                "pokazuje odpowiedzi)",
    /* NameDiffers           */ "Zaprogramuj ponownie; jeśli odczytana nazwa znów się różni, odłóż moduł",
    /* NameDoesNotFit        */ "Skróć nazwę, żeby zmieściła się z tym numerem, i zaprogramuj moduł ponownie",
    /* Ledger                */ "Napraw albo przenieś rejestr (zk405-cli ledger --check PLIK), potem zacznij od nowa",
    /* Interrupted           */ "Zaprogramuj moduł ponownie, żeby dokończyć",
    /* PairWrongPin          */ "Podaj PIN, który moduł ma teraz (nowy ma często 1234 lub 0000), i sparuj ponownie",
    /* PairRefused           */ "Włącz moduł w trybie parowania i sparuj ponownie; jeśli znów odmówi, usuń go i "
                                "sparuj od nowa",
    /* PairNoAnswer          */ "Włącz moduł, zbliż go na kilka metrów i sparuj ponownie",
    /* PairUnknownDevice     */ "Włącz moduł i poczekaj, aż wyszukiwanie go znajdzie, potem sparuj ponownie",
    /* PinNotProved          */ "Moduł przyjął ustawienia, ale nie nowy PIN: odłóż go albo zaprogramuj PIN ponownie i "
                                "sparuj z nowym (zk405-cli pair bt:{address} --pin PIN)",
};

} // namespace

const provisioning::HintWords& PolishHints() {
    return kPolish;
}

} // namespace station_ui
