// Windows-1250, the single-byte code page the module's name and PIN travel in, to and from UTF-8,
// the text of the windows and of this source.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cp1250 {

inline constexpr char kReplacement = '?';

struct Encoded {
    std::string bytes;          // one byte per character
    size_t unrepresentable = 0; // characters (or malformed UTF-8 sequences) sent as kReplacement
};

Encoded Utf8ToCp1250(std::string_view utf8);
// Every byte has a character: the ones the code page leaves undefined become the C1 controls of the
// same number (U+0081 for 0x81), so Utf8ToCp1250 gives every byte back unchanged.
std::string Cp1250ToUtf8(std::string_view bytes);

} // namespace cp1250
