// The traffic log each port of a run writes: the windows' "TxRx.log" for a single port, one file per
// port otherwise.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace provisioning {

// "TxRx.log" for a single port, else "TxRx-<port>.log" with characters unsafe in a file name replaced.
std::string LogFileFor(const std::string& port, size_t portCount);
// The log of each port of one command, distinct even where two names map to one file name (or differ
// only in case, as Windows' file names do): a later one gets "-2", "-3", ... before ".log".
std::vector<std::string> LogFilesFor(const std::vector<std::string>& ports);

} // namespace provisioning
