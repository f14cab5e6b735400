// The "bt:" port names, the same on every platform.
#include "Bluetooth.h"

#include "BluetoothAddress.h"

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
    // Only the colon form, and nothing after it.
    const std::string_view text = portName + prefixLength;
    const std::optional<Address> parsed = text.size() == Address::kTextLength ? Address::Parse(text) : std::nullopt;
    if (!parsed)
        return false;
    address = parsed->Text();
    return true;
}

} // namespace bluetooth
