// The digits a byte is written with in hexadecimal, upper case: the traffic log's dump and the
// tools' escaped text write bytes alike.
#pragma once

namespace hex_text {

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

} // namespace hex_text
