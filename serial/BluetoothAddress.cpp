#include "BluetoothAddress.h"

#include "HexDigits.h"

#include <cstdio>

namespace bluetooth {

using hex_text::HexValue;

std::optional<Address> Address::Parse(std::string_view text) {
    const bool colons = text.size() == kTextLength;
    if (!colons && text.size() != 12)
        return std::nullopt;
    Address address;
    size_t at = 0;
    for (uint8_t& byte : address.m_bytes) {
        if (colons && at > 0 && text[at++] != ':')
            return std::nullopt;
        const int high = HexValue(text[at]);
        const int low = HexValue(text[at + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        byte = static_cast<uint8_t>(high * 16 + low);
        at += 2;
    }
    return address;
}

std::string Address::Joined(const char* separator) const {
    std::string text;
    char pair[3];
    for (const uint8_t byte : m_bytes) {
        if (!text.empty())
            text += separator;
        std::snprintf(pair, sizeof pair, "%02X", byte);
        text += pair;
    }
    return text;
}

std::string Address::Text() const {
    return Joined(":");
}

std::string Address::Compact() const {
    return Joined("");
}

std::string Address::ObjectPathName() const {
    return "dev_" + Joined("_");
}

bool Address::IsZero() const {
    return *this == Address{};
}

} // namespace bluetooth
