// The digits a byte is written with in hexadecimal, upper case: the traffic log's dump and the
// tools' escaped text write bytes alike, and read back the same digits (escapes, Bluetooth addresses).
#pragma once

namespace hex_text {

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// The value of one hexadecimal digit in either case; -1 for any other character.
constexpr int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace hex_text
