// Windows-1250 both ways: every byte string comes back from UTF-8 unchanged, and any input taken as
// UTF-8 converts to bytes that convert back to the same UTF-8 whenever nothing was replaced.
#include "Cp1250.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "code page conversion: %s\n", what);
        std::abort();
    }
}

// Well-formed UTF-8: shortest forms, no surrogates, nothing past U+10FFFF.
bool IsUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t extra;
        unsigned cp;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1, cp = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2, cp = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3, cp = lead & 0x07u;
        } else {
            return false;
        }
        if (i + extra >= text.size())
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (next & 0x3Fu);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    // Bytes from the module: shown as UTF-8, sent back as they were.
    const std::string shown = cp1250::Cp1250ToUtf8(input);
    Check(IsUtf8(shown), "a module's bytes become well-formed UTF-8");
    const cp1250::Encoded back = cp1250::Utf8ToCp1250(shown);
    Check(back.bytes == input, "every byte comes back");
    Check(back.unrepresentable == 0, "nothing replaced on the way back");

    // Text typed in the window: one byte per character or malformed sequence.
    const cp1250::Encoded typed = cp1250::Utf8ToCp1250(input);
    Check(typed.bytes.size() <= input.size(), "never more bytes than UTF-8 bytes");
    Check(typed.unrepresentable <= typed.bytes.size(), "replacements counted once each");
    const std::string again = cp1250::Cp1250ToUtf8(typed.bytes);
    Check(cp1250::Utf8ToCp1250(again).bytes == typed.bytes, "the bytes are stable");
    if (typed.unrepresentable == 0)
        Check(again == input && IsUtf8(input), "text without replacements comes back as typed");
    return 0;
}
