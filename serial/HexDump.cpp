#include "HexDump.h"

#include "HexDigits.h"

#include <cstring>

namespace hex_dump {

size_t FormatLine(const unsigned char* bytes, uint32_t count, char* out) {
    using hex_text::kHexDigits;
    if (count > kBytesPerLine)
        count = kBytesPerLine;
    char* const start = out;
    for (uint32_t i = 0; i < count; ++i) {
        *out++ = kHexDigits[bytes[i] >> 4];
        *out++ = kHexDigits[bytes[i] & 0x0F];
        *out++ = ' ';
    }
    const uint32_t padding = 3 * (kBytesPerLine - count) + 3;
    std::memset(out, ' ', padding);
    out += padding;
    for (uint32_t i = 0; i < count; ++i)
        *out++ = bytes[i] >= 0x20 && bytes[i] <= 0x7E ? static_cast<char>(bytes[i]) : '.';
    return static_cast<size_t>(out - start);
}

} // namespace hex_dump
