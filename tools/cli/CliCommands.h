// zk405-cli's commands, one file for each kind: each adds its subcommand to the parser and gives what
// runs once that subcommand is the one parsed (CliApp.cpp picks it).
#pragma once

#include "ExitStatus.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <ostream>

namespace zk405_cli {

// A subcommand: its place in the schema and what runs once it is the one parsed.
struct Command {
    CLI::App* app = nullptr;
    std::function<provisioning::ExitStatus()> run;
};

// CliLookupCommands.cpp: the commands that read or hand over and program no module.
Command AddList(CLI::App& app, std::ostream& out, std::ostream& err);
Command AddScan(CLI::App& app, std::ostream& out, std::ostream& err);
Command AddPair(CLI::App& app, std::ostream& out, std::ostream& err);
Command AddUnpair(CLI::App& app, std::ostream& out, std::ostream& err);
Command AddLedger(CLI::App& app, std::ostream& out, std::ostream& err);
Command AddHelp(CLI::App& app, std::ostream& out, std::ostream& err);
// CliProgramCommands.cpp: the commands given their ports.
Command AddName(CLI::App& app, std::ostream& out, std::ostream& err);
Command AddProgram(CLI::App& app, std::ostream& out, std::ostream& err);
// CliStationCommand.cpp
Command AddStation(CLI::App& app, std::ostream& out, std::ostream& err);

} // namespace zk405_cli
