// What zk405-cli's help says beyond the options: for the program every exit status, for each command
// two or three examples of it and only the exit statuses it can give.
#pragma once

namespace CLI {
class App;
} // namespace CLI

namespace zk405_cli {

// Sets the footers of app and of each of its commands; the commands are added first.
void DescribeCommands(CLI::App& app);

} // namespace zk405_cli
