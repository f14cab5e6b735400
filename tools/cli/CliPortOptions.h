// What name, program and station share: the ports and output options of the commands given their
// ports, the settings options with a preset under them, and the run of the ports given.
#pragma once

#include "Batch.h"
#include "CliProgress.h"
#include "Settings.h"

#include <CLI/CLI.hpp>

#include <ostream>
#include <string>
#include <vector>

namespace zk405_cli {

struct Common {
    std::vector<std::string> ports;
    bool json = false;
    bool quiet = false;
    bool fixedWait = false;
};

void AddCommon(CLI::App& command, Common& common);

// The settings options of program and station, bound once: an option not given leaves the preset's
// value (or nothing) in place.
struct SettingsOptions {
    SettingsInput given;
    std::string preset;
    std::string pinFile;
};

void AddSettings(CLI::App& command, SettingsOptions& settings, const char* numberMeaning);

// The preset with the options over it; false, with the reason told, when nothing may be sent.
bool Settle(const SettingsOptions& options, SettingsInput& input, std::ostream& err);

// A task for each port given, in their order, each with its traffic log.
std::vector<PortTask> Tasks(const Common& common);

// Runs the tasks, telling each step on err as it ends (only failures with --quiet), each port that
// could not be worked, and with --json one object per port on out. The steps under way are shown on
// progress, which is taken away before anything after the run is written.
std::vector<PortResult> RunAll(std::vector<PortTask> tasks, const Common& common, TerminalProgress& progress,
                               std::ostream& out, std::ostream& err, const PortRunner& runner = RunPlain);

} // namespace zk405_cli
