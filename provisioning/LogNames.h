// The traffic log each port of a run writes: the windows' "TxRx.log" for a single port, one file per
// port otherwise.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace provisioning {

// The text with every character unsafe in a file name (anything but letters, digits, "-", "." and
// "_") replaced by "_": a port's or a module's address's part of a file's name.
std::string SafeFileNamePart(const std::string& text);
// "TxRx.log" for a single port, else "TxRx-<port>.log" with characters unsafe in a file name replaced.
std::string LogFileFor(const std::string& port, size_t portCount);
// The log of each port of one command, distinct even where two names map to one file name (or differ
// only in case, as Windows' file names do): a later one gets "-2", "-3", ... before ".log".
std::vector<std::string> LogFilesFor(const std::vector<std::string>& ports);

} // namespace provisioning
