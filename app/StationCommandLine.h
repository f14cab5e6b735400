// zk405-station's command line, read before the toolkit starts: --help and --version need no display,
// and a preset that cannot be read is said on the terminal, as zk405-cli says it.
#pragma once

#include "ResultCommand.h"
#include "Settings.h"
#include "Unattended.h"

#include <optional>
#include <ostream>
#include <string>

struct StationStart {
    provisioning::SettingsInput input; // the preset's, when one is given
    provisioning::ResultCommand onResult;
    provisioning::UnattendedChoice unattended; // its pairPin, when given, is put into input
    std::string ledgerPath;
    std::string watchDir;
    bool bluetooth = false;
    bool locked = false;
    bool automatic = false;
    size_t once = 0;
};

// Nothing when the window is to start with start filled in; otherwise the exit status, the answer
// (help, version) written to out and a refusal to err.
std::optional<int> ReadStationStart(int argc, const char* const* argv, StationStart& start, std::ostream& out,
                                    std::ostream& err);

// What the entry read, for the application object that wx creates.
StationStart& TheStationStart();
