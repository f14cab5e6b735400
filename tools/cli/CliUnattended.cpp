#include "CliUnattended.h"

#include "Bluetooth.h"
#include "EscapedText.h"

#include <CLI/CLI.hpp>

namespace zk405_cli {

namespace {

// Bluetooth's own limit for a legacy PIN.
constexpr size_t kPairPinMaxBytes = 16;

bool Refuse(const char* why, std::ostream& err) {
    err << "zk405-cli: " << why << "; nothing was sent\n";
    return false;
}

} // namespace

void AddUnattendedOptions(CLI::App& command, UnattendedOptions& options, bool station) {
    command
        .add_option_function<std::string>(
            "--pair-pin", [&options](const std::string& text) { options.pairPin = text; },
            "pair each Bluetooth module with this PIN, the one it has now, before programming it")
        ->type_name("PIN");
    command.add_flag("--prove-pin", options.provePin,
                     "after a new PIN was confirmed: remove the bond, find the module again, pair it with the "
                     "new PIN and read its name once more");
    command.add_flag("--unpair-after", options.unpairAfter, "remove each module's bond at the end, whatever the result");
    if (!station)
        return;
    command.add_flag("--discover", options.discover,
                     "with --bluetooth: keep a discovery running and take each module found that is not paired "
                     "(needs the PIN: --pair-pin)");
    command.add_option("--match", options.match, "with --discover: only modules whose name matches PATTERN (* and ?)")
        ->type_name("PATTERN");
}

bool SettleUnattended(const UnattendedOptions& options, bool bluetooth, const std::vector<std::string>& ports,
                      provisioning::SettingsInput& input, provisioning::PairingPlan& plan, std::ostream& err) {
    if (options.pairPin)
        input.pairPin = options.pairPin;
    plan.pair = input.pairPin.has_value();
    plan.provePin = options.provePin;
    plan.unpairAfter = options.unpairAfter;
    if (!options.match.empty() && !options.discover)
        return Refuse("--match chooses among the modules --discover finds", err);
    if (options.discover && !bluetooth)
        return Refuse("--discover finds Bluetooth modules: give --bluetooth as well", err);
    if ((options.discover || plan.provePin) && !plan.pair)
        return Refuse("give the PIN the modules have now: --pair-pin PIN, or pair-pin= in the preset", err);
    if (plan.pair && (input.pairPin->empty() || input.pairPin->size() > kPairPinMaxBytes))
        return Refuse("the pairing PIN takes 1 to 16 characters", err);
    if (plan.provePin && !input.pin)
        return Refuse("--prove-pin proves a new PIN: give it with --pin, --pin-file or pin= in the preset", err);
    if (!provisioning::AnyStep(plan))
        return true;
    for (const std::string& port : ports) {
        std::string address;
        if (!bluetooth::AddressOfPortName(port.c_str(), address)) {
            err << "zk405-cli: " << EscapeControls(port) << " is no Bluetooth module: pairing takes ports written as "
                << bluetooth::kPortPrefix << "AA:BB:CC:DD:EE:FF; nothing was sent\n";
            return false;
        }
    }
    return true;
}

} // namespace zk405_cli
