#include "CliUnattended.h"

#include "EscapedText.h"

#include <CLI/CLI.hpp>

namespace zk405_cli {

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
    std::string why;
    if (provisioning::SettleUnattended(options, bluetooth, ports, input, plan, why))
        return true;
    err << "zk405-cli: " << EscapeControls(why) << "; nothing was sent\n";
    return false;
}

} // namespace zk405_cli
