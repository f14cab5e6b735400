// Whether a PIN shows in a report, a ledger or a window's text.
#pragma once

#include <cctype>
#include <string_view>

// A PIN is digits, and reports are full of digits of their own: durations ("0.012344349"), times and
// attempt numbers in hex. Only an appearance that stands as a token of its own is a leak; a plain find
// fails a test whenever a duration happens to hold the PIN's digits.
inline bool ShowsPin(std::string_view text, std::string_view pin) {
    const auto part = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    for (std::size_t at = text.find(pin); at != std::string_view::npos; at = text.find(pin, at + 1)) {
        const bool before = at > 0 && part(text[at - 1]);
        const bool after = at + pin.size() < text.size() && part(text[at + pin.size()]);
        if (!before && !after)
            return true;
    }
    return false;
}
