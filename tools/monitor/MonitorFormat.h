// How the monitor prints a message. Plainly, a message is followed by a line feed unless it is a lone
// line feed itself, which gives back exactly the text of "TxRx.log" (the tool writes the line feeds
// after headers and dump lines to the file only). Raw, every message is one line: its length, a
// space and its bytes escaped, so the boundaries between messages show.
#pragma once

#include <string>
#include <string_view>

std::string FormatMessage(std::string_view message, bool raw);
