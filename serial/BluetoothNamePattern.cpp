// A device's name against a pattern a person types, the same on every platform. Names are UTF-8:
// ? takes a whole character, and only ASCII letters are folded, so that a byte of a Polish letter is
// never taken for another.
#include "Bluetooth.h"

#include <cctype>

namespace bluetooth {

namespace {

char Folded(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x80 ? static_cast<char>(std::tolower(byte)) : c;
}

// The length in bytes of the UTF-8 character that starts at at.
size_t CharacterLength(const std::string& text, size_t at) {
    size_t end = at + 1;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        ++end;
    return end - at;
}

} // namespace

// The last * seen is where a failed match takes up again, one character further each time: no
// recursion, and at most name × pattern steps.
bool NameMatches(const std::string& name, const std::string& pattern) {
    size_t n = 0;
    size_t p = 0;
    size_t starAt = std::string::npos;
    size_t resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += CharacterLength(name, n);
        } else if (p < pattern.size() && Folded(pattern[p]) == Folded(name[n])) {
            ++p;
            ++n;
        } else if (starAt != std::string::npos) {
            p = starAt + 1;
            resumeAt += CharacterLength(name, resumeAt);
            n = resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace bluetooth
