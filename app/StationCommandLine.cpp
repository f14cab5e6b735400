#include "StationCommandLine.h"

#include "ToolOptions.h"
#include "EscapedText.h"
#include "ZK405Version.h"

#include <CLI/CLI.hpp>

#include <chrono>

namespace {

// The command after each result and the unattended Bluetooth steps, as zk405-cli station takes them;
// the window shows them in its settings, where they can be changed unless locked.
void AddAroundOptions(CLI::App& app, StationStart& start) {
    app.add_option("--on-result", start.onResult.command,
                   "after each result record run CMD (by the shell), the record as JSON on its stdin")
        ->type_name("CMD");
    app.add_option_function<int>(
           "--on-result-timeout", [&start](int seconds) { start.onResult.timeout = std::chrono::seconds(seconds); },
           "end the --on-result command after this many seconds (default 10)")
        ->check(CLI::Range(1, 3600).description(""))
        ->type_name("SECONDS");
    app.add_flag("--discover", start.unattended.discover,
                 "with --bluetooth: take each module found that is not paired (needs the PIN: --pair-pin)");
    app.add_option("--match", start.unattended.match, "with --discover: only modules whose name matches PATTERN (* and ?)")
        ->type_name("PATTERN");
    app.add_option_function<std::string>(
           "--pair-pin", [&start](const std::string& pin) { start.unattended.pairPin = pin; },
           "pair each Bluetooth module with this PIN, the one it has now (or pair-pin= in the preset)")
        ->type_name("PIN");
    app.add_flag("--prove-pin", start.unattended.provePin,
                 "after a new PIN was confirmed: pair the module again with it and read its name once more");
    app.add_flag("--unpair-after", start.unattended.unpairAfter, "remove each module's bond at the end, whatever the result");
}

} // namespace

std::optional<int> ReadStationStart(int argc, const char* const* argv, StationStart& start, std::ostream& out,
                                    std::ostream& err) {
    CLI::App app("The ZK405 provisioning station's window: the modules that appear, programmed by hand "
                 "or each once as it appears, with the ledger keeping count.",
                 "zk405-station");
    app.set_version_flag("--version", "zk405-station " ZK405_VERSION_STRING);
    std::string preset;
    app.add_option("--preset", preset, "the settings in force, from a preset file (name=, pin=, flow=, auth=, pair-pin=)")
        ->type_name("FILE");
    app.add_option("--ledger", start.ledgerPath, "the ledger, .csv or .jsonl, shared with other stations")
        ->type_name("FILE");
    app.add_option("--watch-dir", start.watchDir, "watch this folder instead of the serial ports (links to ttys)")
        ->type_name("DIR");
    app.add_flag("--bluetooth", start.bluetooth, "also the paired modules offering the serial port");
    app.add_flag("--locked", start.locked, "show the settings read-only: the operator cannot change them");
    app.add_flag("--auto", start.automatic, "program every newly appearing module once, from the start");
    app.add_option("--once", start.once, "end after this many modules with the station's exit status (implies --auto)")
        ->check(CLI::PositiveNumber.description(""))
        ->type_name("N");
    AddAroundOptions(app, start);
    app.footer("Exit status:\n"
               "  0  the window was closed; with --once, every module programmed or skipped\n"
               "  1  bad usage (an option, or a preset that cannot be read); nothing was sent\n"
               "  2  with --once: a port could not be opened or worked, or Bluetooth could not be used\n"
               "  3  with --once: a module stayed silent, the Bluetooth link to it dropped, or it did not answer a pairing\n"
               "  4  with --once: a module refused or did not confirm a setting, or refused a pairing (a wrong PIN)\n"
               "  7  with --once: the ledger could not be opened, locked, read or written\n"
               "  128+N  stopped by signal N (130 Ctrl+C, 143 SIGTERM, 129 SIGHUP)");
    if (const std::optional<int> status = tool_options::Parse(app, argc, argv, out, err))
        return status;
    std::string error;
    if (!provisioning::LoadSettings(preset, {}, start.input, error)) {
        err << "zk405-station: " << EscapeControls(error) << "\n";
        return tool_options::kExitUsage;
    }
    provisioning::PairingPlan unused;
    if (!provisioning::SettleUnattended(start.unattended, start.bluetooth, {}, start.input, unused, error)) {
        err << "zk405-station: " << EscapeControls(error) << "\n";
        return tool_options::kExitUsage;
    }
    start.unattended.pairPin.reset(); // in input now, with the preset's
    return std::nullopt;
}

StationStart& TheStationStart() {
    static StationStart start;
    return start;
}
