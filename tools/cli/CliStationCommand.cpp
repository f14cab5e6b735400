#include "CliCommands.h"

#include "AfterResult.h"
#include "CliOutput.h"
#include "CliPortOptions.h"
#include "CliUnattended.h"
#include "EscapedText.h"
#include "StationConsole.h"
#include "Station.h"
#include "StationProgress.h"
#include "Unattended.h"

#include <memory>

namespace zk405_cli {

Command AddStation(CLI::App& app, std::ostream& out, std::ostream& err) {
    struct State {
        StationOptions options;
        SettingsOptions settings;
        bool json = false;
        UnattendedOptions unattended;
    };
    auto state = std::make_shared<State>();
    StationOptions& options = state->options;
    CLI::App* station = app.add_subcommand(
        "station", "wait for modules and program each newly appearing one once, keeping a ledger");
    AddSettings(*station, state->settings, "the ledger's next number");
    station->add_option("--ledger", options.ledgerPath, "the ledger, .csv or .jsonl, shared by stations")
        ->required()
        ->type_name("FILE");
    station->add_option("--watch-dir", options.watchDir, "watch this folder instead of /dev (links to ttys)")
        ->type_name("FOLDER");
    station->add_flag("--bluetooth", options.bluetooth, "also modules offering the serial port over Bluetooth");
    station->add_flag("--include-present", options.includePresent, "program the ports there at the start too");
    station->add_flag("--skip-done", options.skipDone,
                      "leave out a module the ledger already has as programmed (by address, else by name)");
    station->add_option("--once", options.once, "stop after this many modules (1 or more)")
        ->check(CLI::PositiveNumber.description(""))
        ->type_name("N");
    station->add_flag("--json", state->json, "one JSON object per event on stdout");
    AddOnResult(*station, options.onResult);
    AddUnattendedOptions(*station, state->unattended, true);
    return {station, [state, &out, &err] {
                StationOptions& options = state->options;
                if (!Settle(state->settings, options.input, err) ||
                    !SettleUnattended(state->unattended, options.bluetooth, {}, options.input, options.pairing, err))
                    return Finish(kExitUsage, out, err);
                // Checked once before waiting: a bad PIN or label would fail every module; a name too
                // long for a port or a number is refused for that module alone.
                MODULE_SETTINGS sample;
                std::string error;
                if (!BuildSettings(options.input, "com1", 1, sample, error)) {
                    err << "zk405-cli: " << EscapeControls(error) << "; nothing was sent\n";
                    return kExitUsage;
                }
                options.bluetoothSource = provisioning::BluetoothSourceFor(state->unattended);
                StationConsole console(out, err, state->json, !state->json && ColourWanted(out));
                const std::unique_ptr<TerminalProgress> progress = ProgressOn(err, false, state->json);
                StationProgress shown(console, *progress, out, state->json);
                const ExitStatus status = RunStation(options, shown, error);
                progress->Stop();
                if (!error.empty() && (status == kExitUsage || status == kExitLedger))
                    err << "zk405-cli: " << EscapeControls(error) << "; nothing was sent\n";
                // The station words its own stop: it ends with 128 + the signal only when cut short.
                return Finish(status, out, err, false);
            }};
}

} // namespace zk405_cli
