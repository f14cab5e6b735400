// Bytes of the line shown as one line of plain text: printable ASCII stays, a backslash doubles,
// CR, LF and TAB become \r, \n and \t, every other byte \xHH. Used by the simulator's transcript and
// the monitor's raw output, which tests read back.
#pragma once

#include <string>
#include <string_view>

std::string EscapeBytes(std::string_view bytes);
// The inverse; false for a malformed escape.
bool UnescapeBytes(std::string_view text, std::string& bytesOut);
