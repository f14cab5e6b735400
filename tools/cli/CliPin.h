// Where zk405-cli takes a PIN from: the option's value, a file, or standard input for "-". Kept out
// of the command line, it is in no process list and no shell history.
#pragma once

#include <optional>
#include <string>

namespace zk405_cli {

// pin holds the option's value (or nothing); a pinFile given, or a pin of "-", puts the PIN read in
// its place. False with the reason when it cannot be read.
bool PinFromSource(const std::string& pinFile, std::optional<std::string>& pin, std::string& error);

} // namespace zk405_cli
