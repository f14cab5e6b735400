// A Bluetooth device's address: the one reading of the ways it is written (by BlueZ, by sysfs, in a
// port name, in a Windows device instance) and the one place each written form is made.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace bluetooth {

class Address {
public:
    // "AA:BB:CC:DD:EE:FF" is 17 characters; the colons make a name an address and not a file name.
    static constexpr size_t kTextLength = 17;

    // Six pairs of hex digits in any letter case, with a colon between each pair or with nothing
    // between them; nullopt for anything else (another separator, a digit short or over, a blank).
    static std::optional<Address> Parse(std::string_view text);

    // "00:1A:7D:DA:71:13": how BlueZ, the port names and the messages show it.
    std::string Text() const;
    // "001A7DDA7113": as a file name may hold it (the lock of a link).
    std::string Compact() const;
    // "dev_00_1A_7D_DA_71_13": the device's object below its adapter's in BlueZ.
    std::string ObjectPathName() const;
    // 00:00:00:00:00:00, the remote address of a port that waits for calls.
    bool IsZero() const;

    friend auto operator<=>(const Address&, const Address&) = default;

private:
    std::string Joined(const char* separator) const;

    std::array<uint8_t, 6> m_bytes{};
};

} // namespace bluetooth
