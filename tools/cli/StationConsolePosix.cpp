#include "StationConsole.h"

#include <unistd.h>

namespace station_console {

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "unknown";
    return name;
}

bool StdoutIsColourTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

} // namespace station_console
