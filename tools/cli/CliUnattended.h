// The Bluetooth steps of program and station, for a module nobody paired: the options that ask for
// them, checked and mapped onto the core's PairingPlan by provisioning's Unattended.h.
#pragma once

#include "PairingSteps.h"
#include "Settings.h"
#include "Unattended.h"

#include <ostream>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace zk405_cli {

using UnattendedOptions = provisioning::UnattendedChoice;

// station adds --discover and --match as well.
void AddUnattendedOptions(CLI::App& command, UnattendedOptions& options, bool station);

// The plan for the options, with the pairing PIN (an option's over the preset's) put into input.
// False, told on err, when they cannot go together (provisioning::SettleUnattended).
bool SettleUnattended(const UnattendedOptions& options, bool bluetooth, const std::vector<std::string>& ports,
                      provisioning::SettingsInput& input, provisioning::PairingPlan& plan, std::ostream& err);

} // namespace zk405_cli
