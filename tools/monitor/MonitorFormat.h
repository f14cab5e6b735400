// How the monitor prints a message. Plainly, a message is followed by a line feed unless it is a lone
// line feed itself, which gives back exactly the text of "TxRx.log" (the tool writes the line feeds
// after headers and dump lines to the file only). A message tagged with its port (several ports at
// once, serial/MonitorMessage.h) prints with "[tag] " before its line. Raw, every message is one
// line: its length, a space and its bytes escaped, tag frame included, so the boundaries show.
#pragma once

#include <string>
#include <string_view>

std::string FormatMessage(std::string_view message, bool raw);
