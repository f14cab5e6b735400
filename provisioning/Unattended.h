// The unattended station's Bluetooth steps as a front end asks for them (zk405-cli's options, the
// window's fields): checked against the settings and turned into the PairingPlan and the source of
// modules, so that every front end refuses and runs them alike.
#pragma once

#include "PairingSteps.h"
#include "PortSource.h"
#include "Settings.h"

#include <optional>
#include <string>
#include <vector>

namespace provisioning {

// Bluetooth's own limit for a legacy PIN.
inline constexpr size_t kPairPinMaxBytes = 16;

struct UnattendedChoice {
    std::optional<std::string> pairPin; // over the preset's pair-pin=
    bool provePin = false;
    bool unpairAfter = false;
    bool discover = false; // a station alone
    std::string match;     // with discover
};

// The plan for choice, with the pairing PIN put into input. False with the reason (naming the options,
// as zk405-cli takes them) when they cannot go together: a step without the PIN it needs, a discovery
// without Bluetooth, the steps for ports that are not "bt:" ones (ports empty for a station). A port
// in why is as given: a front end escapes it.
bool SettleUnattended(const UnattendedChoice& choice, bool bluetooth, const std::vector<std::string>& ports,
                      SettingsInput& input, PairingPlan& plan, std::string& why);

// The paired modules, or with discover the modules found unpaired whose name matches.
SourceFactory BluetoothSourceFor(const UnattendedChoice& choice);

} // namespace provisioning
