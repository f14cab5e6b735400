// How zk405-cli answers a command line it cannot run: a word that is no command, with the nearest one
// suggested; CLI11's own refusals worded as every other error line; and the help command.
#pragma once

#include "ExitStatus.h"

#include <ostream>
#include <string>
#include <vector>

namespace CLI {
class App;
} // namespace CLI

namespace zk405_cli {

// The command a mistyped word most likely meant: the only one it begins, else the nearest within two
// edits (a letter added, dropped, changed or two swapped); "" when none is that near.
std::string NearestCommand(const std::string& word, const std::vector<std::string>& commands);

// Words CLI11's refusals as "zk405-cli: [command: ]what; where to read more", escaped for a terminal.
void WordUsageErrors(CLI::App& app);

// True, with the refusal told on err, when args (the program's name first) start with a word that is
// no command of app.
bool RefusedAsNoCommand(const CLI::App& app, const std::vector<std::string>& args, std::ostream& err);

// `help` alone is the program's --help, `help COMMAND` that command's --help; an unknown topic is
// refused as an unknown command is. kExitUsage also when the help could not be written.
provisioning::ExitStatus AnswerHelp(const CLI::App& app, const std::string& topic, std::ostream& out,
                                    std::ostream& err);

} // namespace zk405_cli
