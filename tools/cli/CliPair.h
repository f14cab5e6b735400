// zk405-cli pair and unpair: each module bonded with the PIN it has now through the program's own
// pairing agent, or its bond removed, with one outcome a device as text or JSON lines.
#pragma once

#include "ExitStatus.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace zk405_cli {

struct PairOptions {
    std::vector<std::string> ports; // bt:AA:BB:CC:DD:EE:FF
    std::optional<std::string> pin;
    std::string pinFile;
    int timeoutSeconds = 30;
    bool json = false;
};
void AddPairOptions(CLI::App& pair, PairOptions& options);
// One module after another, each within the time-out; a stop signal ends the one under way and the rest.
provisioning::ExitStatus PairModules(PairOptions options, std::ostream& out, std::ostream& err);

struct UnpairOptions {
    std::vector<std::string> ports;
    bool json = false;
};
void AddUnpairOptions(CLI::App& unpair, UnpairOptions& options);
provisioning::ExitStatus UnpairModules(const UnpairOptions& options, std::ostream& out, std::ostream& err);

} // namespace zk405_cli
