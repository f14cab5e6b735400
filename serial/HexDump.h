// One line of the traffic log's hex dump, as a pure function: the log and the attempt transcripts
// write their lines alike, byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hex_dump {

inline constexpr uint32_t kBytesPerLine = 16;
// Sixteen bytes as "41 " each, the padding, and the bytes as text: 3 * 16 + 3 + 16.
inline constexpr size_t kMaxLineChars = 67;

// Up to kBytesPerLine bytes in hex, padded to the text column, then the bytes themselves with "." for
// any that is not printable ASCII; no line feed. out must have room for kMaxLineChars; returns the
// characters written.
size_t FormatLine(const unsigned char* bytes, uint32_t count, char* out);

} // namespace hex_dump
