#include "CliPlatform.h"

#include <unistd.h>

namespace cli_platform {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void PrepareConsole() {}

bool StdoutIsColourTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

} // namespace cli_platform
