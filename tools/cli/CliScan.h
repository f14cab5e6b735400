// zk405-cli scan: the Bluetooth devices that offer the Serial Port Profile, as a table or JSON lines.
#pragma once

#include "Bluetooth.h"
#include "CliReport.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <ostream>
#include <string>

namespace zk405_cli {

// match, when given, is a pattern for the names (NameMatches): each device tells whether it matches.
nlohmann::json ToJson(const bluetooth::SerialDevice& device, const std::optional<std::string>& match = {});
// Paired devices at once; with discoverSeconds above zero also those found nearby in that time.
ExitStatus Scan(int discoverSeconds, bool json, const std::string& sysfsRoot, const std::optional<std::string>& match,
                std::ostream& out, std::ostream& err);

} // namespace zk405_cli
