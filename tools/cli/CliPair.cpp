#include "CliPair.h"

#include "Bluetooth.h"
#include "CliPin.h"
#include "CliReport.h"
#include "EscapedText.h"
#include "Hints.h"
#include "PairingSteps.h"
#include "StopSignal.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <functional>

namespace zk405_cli {

namespace {

using bluetooth::PairOutcome;
using Kind = PairOutcome::Kind;

// Bluetooth's own limit for a legacy PIN.
constexpr size_t kPinMaxBytes = 16;

// The addresses of bt: names, each once; false, told, for anything else.
bool AddressesOf(const std::vector<std::string>& ports, std::vector<std::string>& addresses, std::ostream& err) {
    for (const std::string& port : ports) {
        std::string address;
        if (!bluetooth::AddressOfPortName(port.c_str(), address)) {
            err << "zk405-cli: " << EscapeControls(port) << " is no Bluetooth module: write it as "
                << bluetooth::kPortPrefix << "AA:BB:CC:DD:EE:FF; nothing was done\n";
            return false;
        }
        if (std::find(addresses.begin(), addresses.end(), address) != addresses.end()) {
            err << "zk405-cli: the module " << EscapeControls(port) << " is named twice; nothing was done\n";
            return false;
        }
        addresses.push_back(address);
    }
    return true;
}

// As the pairing steps give it, but a stop's own status is given at the end.
ExitStatus StatusOf(Kind kind) {
    return kind == Kind::kStopped ? kExitNotOpened : provisioning::PairStatus(kind);
}

// The lowest of the failures' statuses, as for ports.
ExitStatus Overall(ExitStatus so, ExitStatus next) {
    if (so == kExitOk)
        return next;
    return next == kExitOk ? so : std::min(so, next);
}

// The result on out; a failure's reason and what to do next on err as well, as for a port.
void Tell(const std::string& address, const PairOutcome& outcome, bool json, std::ostream& out, std::ostream& err) {
    const std::string port = bluetooth::kPortPrefix + address;
    const std::string hint = provisioning::HintFor(outcome, address);
    if (json)
        out << JsonLine({{"port", port},
                         {"address", address},
                         {"result", bluetooth::PairOutcomeWords(outcome.kind)},
                         {"outcome", bluetooth::PairOutcomeName(outcome.kind)},
                         {"message", outcome.reason},
                         {"hint", hint}})
            << "\n";
    else
        out << port << "\t" << bluetooth::PairOutcomeWords(outcome.kind) << "\n";
    if (!bluetooth::PairOutcomeIsGood(outcome.kind))
        err << "zk405-cli: " << port << ": " << bluetooth::PairOutcomeWords(outcome.kind) << ": "
            << EscapeControls(outcome.reason + (hint.empty() ? "" : "; " + hint)) << std::endl;
    else
        err << port << ": " << EscapeControls(outcome.reason) << std::endl;
}

ExitStatus EachModule(const std::vector<std::string>& addresses, bool json, std::ostream& out, std::ostream& err,
                      const std::function<PairOutcome(const std::string&)>& work) {
    ExitStatus status = kExitOk;
    for (const std::string& address : addresses) {
        if (StopRequested())
            break;
        const PairOutcome outcome = work(address);
        Tell(address, outcome, json, out, err);
        status = Overall(status, StatusOf(outcome.kind));
    }
    return status;
}

bool Refused(const char* command, std::ostream& err) {
    if (bluetooth::Available())
        return false;
    err << "zk405-cli: " << command << " is not available on this system; pair the module in the system's "
        << "Bluetooth settings and open the COM port it makes\n";
    return true;
}

} // namespace

void AddPairOptions(CLI::App& pair, PairOptions& options) {
    pair.add_option("modules", options.ports, "the modules, e.g. bt:AA:BB:CC:DD:EE:FF")->required()->type_name("MODULE");
    CLI::Option* pin = pair.add_option_function<std::string>(
                              "--pin", [&options](const std::string& text) { options.pin = text; },
                              "the PIN each module has now; - reads it from standard input (not echoed on a "
                              "terminal)")
                           ->type_name("PIN");
    pair.add_option("--pin-file", options.pinFile, "the PIN from the first line of this file")
        ->excludes(pin)
        ->type_name("FILE");
    pair.add_option("--timeout", options.timeoutSeconds, "give a module up after this many seconds (1 to 600; 30)")
        ->check(CLI::Range(1, 600).description(""))
        ->type_name("SECONDS");
    pair.add_flag("--json", options.json, "one JSON object per module on stdout");
}

ExitStatus PairModules(PairOptions options, std::ostream& out, std::ostream& err) {
    std::vector<std::string> addresses;
    std::string error;
    if (Refused("pair", err) || !AddressesOf(options.ports, addresses, err))
        return kExitUsage;
    if (!PinFromSource(options.pinFile, options.pin, error)) {
        err << "zk405-cli: " << EscapeControls(error) << "; nothing was done\n";
        return kExitUsage;
    }
    if (!options.pin || options.pin->empty() || options.pin->size() > kPinMaxBytes) {
        err << "zk405-cli: give the PIN the modules have now (1 to " << kPinMaxBytes
            << " characters) with --pin or --pin-file; nothing was done\n";
        return kExitUsage;
    }
    const auto timeout = std::chrono::seconds(options.timeoutSeconds);
    return EachModule(addresses, options.json, out, err, [&](const std::string& address) {
        err << bluetooth::kPortPrefix << address << ": pairing (up to " << options.timeoutSeconds << " s)" << std::endl;
        return bluetooth::Pair(address, *options.pin, timeout);
    });
}

void AddUnpairOptions(CLI::App& unpair, UnpairOptions& options) {
    unpair.add_option("modules", options.ports, "the modules, e.g. bt:AA:BB:CC:DD:EE:FF")
        ->required()
        ->type_name("MODULE");
    unpair.add_flag("--json", options.json, "one JSON object per module on stdout");
}

ExitStatus UnpairModules(const UnpairOptions& options, std::ostream& out, std::ostream& err) {
    std::vector<std::string> addresses;
    if (Refused("unpair", err) || !AddressesOf(options.ports, addresses, err))
        return kExitUsage;
    return EachModule(addresses, options.json, out, err, bluetooth::Unpair);
}

} // namespace zk405_cli
