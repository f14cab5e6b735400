// The Bluetooth steps of program and station, for a module nobody paired: the options that ask for
// them and their check against the settings, mapped onto the core's PairingPlan.
#pragma once

#include "PairingSteps.h"
#include "Settings.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace zk405_cli {

struct UnattendedOptions {
    std::optional<std::string> pairPin;
    bool provePin = false;
    bool unpairAfter = false;
    bool discover = false; // station alone
    std::string match;     // station alone, with discover
};

// station adds --discover and --match as well.
void AddUnattendedOptions(CLI::App& command, UnattendedOptions& options, bool station);

// The plan for the options, with the pairing PIN (an option's over the preset's) put into input.
// False, told on err, when they cannot go together: a step without the PIN it needs, a discovery
// without --bluetooth, the steps for ports that are not "bt:" ones (ports empty for a station).
bool SettleUnattended(const UnattendedOptions& options, bool bluetooth, const std::vector<std::string>& ports,
                      provisioning::SettingsInput& input, provisioning::PairingPlan& plan, std::ostream& err);

} // namespace zk405_cli
