#include "Unattended.h"

#include "Bluetooth.h"
#include "BluetoothSource.h"

namespace provisioning {

bool SettleUnattended(const UnattendedChoice& choice, bool bluetooth, const std::vector<std::string>& ports,
                      SettingsInput& input, PairingPlan& plan, std::string& why) {
    if (choice.pairPin)
        input.pairPin = choice.pairPin;
    plan.pair = input.pairPin.has_value();
    plan.provePin = choice.provePin;
    plan.unpairAfter = choice.unpairAfter;
    why.clear();
    if (!choice.match.empty() && !choice.discover)
        why = "--match chooses among the modules --discover finds";
    else if (choice.discover && !bluetooth)
        why = "--discover finds Bluetooth modules: give --bluetooth as well";
    else if ((choice.discover || plan.provePin) && !plan.pair)
        why = "give the PIN the modules have now: --pair-pin PIN, or pair-pin= in the preset";
    else if (plan.pair && (input.pairPin->empty() || input.pairPin->size() > kPairPinMaxBytes))
        why = "the pairing PIN takes 1 to 16 characters";
    else if (plan.provePin && !input.pin)
        why = "--prove-pin proves a new PIN: give it with --pin, --pin-file or pin= in the preset";
    if (!why.empty() || !AnyStep(plan))
        return why.empty();
    for (const std::string& port : ports) {
        std::string address;
        if (!bluetooth::AddressOfPortName(port.c_str(), address)) {
            why = port + " is no Bluetooth module: pairing takes ports written as " +
                  bluetooth::kPortPrefix + "AA:BB:CC:DD:EE:FF";
            return false;
        }
    }
    return true;
}

SourceFactory BluetoothSourceFor(const UnattendedChoice& choice) {
    if (!choice.discover)
        return MakeBluetoothSource;
    return [match = choice.match](std::string& error) { return MakeDiscoveringBluetoothSource(match, error); };
}

} // namespace provisioning
