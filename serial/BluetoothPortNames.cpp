// The "bt:" port names, the same on every platform.
#include "Bluetooth.h"

#include <cctype>
#include <cstring>

namespace bluetooth {

bool AddressOfPortName(const char* portName, std::string& address) {
    if (portName == nullptr)
        return false;
    const size_t prefixLength = std::strlen(kPortPrefix);
    for (size_t i = 0; i < prefixLength; ++i)
        if (std::tolower(static_cast<unsigned char>(portName[i])) != kPortPrefix[i])
            return false;
    const char* text = portName + prefixLength;
    // Six pairs of hex digits with a colon between each pair, and nothing after them.
    constexpr size_t kLength = 17;
    if (std::strlen(text) != kLength)
        return false;
    std::string upper(kLength, ':');
    for (size_t i = 0; i < kLength; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (i % 3 == 2) {
            if (c != ':')
                return false;
            continue;
        }
        if (!std::isxdigit(c))
            return false;
        upper[i] = static_cast<char>(std::toupper(c));
    }
    address = upper;
    return true;
}

std::string CompactAddress(const std::string& address) {
    std::string compact;
    for (const char c : address)
        if (c != ':')
            compact += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return compact;
}

} // namespace bluetooth
