// How the tools read their command lines: with CLI11, answering --help and --version the same way and
// sharing the first two exit statuses. Each tool numbers its own failures from 2 on.
#pragma once

#include <optional>
#include <ostream>

// CLI/CLI.hpp is for the files that build a command line; the statuses alone need none of it.
namespace CLI {
class App;
class Validator;
} // namespace CLI

namespace tool_options {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitUsage = 1;

// A whole number written in decimal (as strtol reads it in base 10) within [min, max], handed on as
// plain decimal: CLI11 itself would read "010" as octal and "0x10" as hex.
CLI::Validator DecimalIn(long min, long max);

// Parses argv (the program's name first). Nothing when the program is to go on; otherwise its exit
// status: kExitSuccess once the help or version has been written in full, kExitUsage for bad usage,
// and also when the answer could not be written (a full disk, a closed pipe), since an answer not
// given is no success.
std::optional<int> Parse(CLI::App& app, int argc, const char* const* argv, std::ostream& out, std::ostream& err);

} // namespace tool_options
