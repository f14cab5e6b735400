// What zk405-cli needs from the operating system as a console program: its arguments as UTF-8, a
// console that shows UTF-8, and whether a person reads its output in colour. One file per platform
// (CliPlatformPosix.cpp, CliPlatformWin32.cpp), chosen by CMake.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

namespace cli_platform {

// Windows hands main() its arguments in the ANSI code page; the values are taken as UTF-8 everywhere.
std::vector<std::string> Utf8Arguments(int argc, char** argv);
void PrepareConsole();
// Whether standard output is a terminal that shows colour escapes (on Windows a console with
// virtual-terminal processing, which this turns on).
bool StdoutIsColourTerminal();
// Whether standard error is a terminal, where a line can be rewritten in place; eraseEscape tells
// whether it takes the erase-line escape (on Windows a console with virtual-terminal processing,
// which this turns on) or the line must be blanked with spaces.
bool StderrIsTerminal(bool& eraseEscape);
// The columns of the terminal on standard error; 0 when it does not say.
size_t StderrColumns();
// One line from standard input, without its line end; on a terminal asked for with prompt on
// standard error and not echoed. False with the reason on an empty input, a read error or a stop
// signal; the terminal is given back as it was in every case.
bool ReadSecretLine(const char* prompt, std::string& line, std::string& error);
// The local zone's date and time of a moment (TZ where it is set), safe from any thread; false when the
// system cannot tell it.
bool LocalTimeOf(std::time_t time, std::tm& local);

} // namespace cli_platform
