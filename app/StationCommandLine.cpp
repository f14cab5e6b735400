#include "StationCommandLine.h"

#include "ToolOptions.h"
#include "EscapedText.h"
#include "ZK405Version.h"

#include <CLI/CLI.hpp>

std::optional<int> ReadStationStart(int argc, const char* const* argv, StationStart& start, std::ostream& out,
                                    std::ostream& err) {
    CLI::App app("The ZK405 provisioning station's window: the modules that appear, programmed by hand "
                 "or each once as it appears, with the ledger keeping count.",
                 "zk405-station");
    app.set_version_flag("--version", "zk405-station " ZK405_VERSION_STRING);
    std::string preset;
    app.add_option("--preset", preset, "the settings in force, from a preset file (name=, pin=, flow=, auth=)")
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
    app.footer("Exit status:\n"
               "  0  the window was closed; with --once, every module programmed or skipped\n"
               "  1  bad usage (an option, or a preset that cannot be read); nothing was sent\n"
               "  2  with --once: a port could not be opened or worked\n"
               "  3  with --once: a module stayed silent, or the Bluetooth link to it dropped\n"
               "  4  with --once: a module refused or did not confirm a setting\n"
               "  7  with --once: the ledger could not be opened, locked, read or written\n"
               "  128+N  stopped by signal N (130 Ctrl+C, 143 SIGTERM, 129 SIGHUP)");
    if (const std::optional<int> status = tool_options::Parse(app, argc, argv, out, err))
        return status;
    std::string error;
    if (!provisioning::LoadSettings(preset, {}, start.input, error)) {
        err << "zk405-station: " << EscapeControls(error) << "\n";
        return tool_options::kExitUsage;
    }
    return std::nullopt;
}

StationStart& TheStationStart() {
    static StationStart start;
    return start;
}
