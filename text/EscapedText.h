// Bytes of the line shown as one line of plain text: printable ASCII stays, a backslash doubles,
// CR, LF and TAB become \r, \n and \t, every other byte \xHH. Used by the simulator's transcript and
// the monitor's raw output, which tests read back.
#pragma once

#include <string>
#include <string_view>

std::string EscapeBytes(std::string_view bytes);
// UTF-8 text for a terminal: the same escapes, but only for what a terminal would act on rather
// than show (C0 controls, DEL, a backslash, and the C1 controls U+0080 to U+009F, written \u0080 to
// \u009F); every other character, Polish letters included, stays as it is. A byte that is not part of
// a well-formed character is written \xHH, so that what comes out is always UTF-8. Every text from
// another device (a module's name, a Bluetooth alias, a USB string) reaches text output through here.
std::string EscapeControls(std::string_view utf8);
// The longest beginning of text of at most maxBytes that does not end inside a character.
std::string_view CutUtf8(std::string_view text, size_t maxBytes);
// The columns text takes on a terminal, one per character, for lining tables up.
size_t DisplayWidth(std::string_view utf8);
// The inverse; false for a malformed escape.
bool UnescapeBytes(std::string_view text, std::string& bytesOut);
