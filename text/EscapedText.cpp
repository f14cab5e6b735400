#include "EscapedText.h"

#include "HexDigits.h"

#include <utility>

namespace {

using hex_text::HexValue;
using hex_text::kHexDigits;

} // namespace

std::string EscapeBytes(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            text += "\\\\";
        } else if (c == '\r') {
            text += "\\r";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\t') {
            text += "\\t";
        } else if (byte >= 0x20 && byte <= 0x7E) {
            text += c;
        } else {
            text += "\\x";
            text += kHexDigits[byte >> 4];
            text += kHexDigits[byte & 0x0F];
        }
    }
    return text;
}

namespace {

// The bytes of the well-formed character at utf8[i], or 0 when none starts there (a stray
// continuation byte, an overlong form, a surrogate, beyond U+10FFFF, or cut short).
size_t CharacterLength(std::string_view utf8, size_t i) {
    const auto at = [&](size_t k) { return i + k < utf8.size() ? static_cast<unsigned char>(utf8[i + k]) : 0; };
    const unsigned char lead = at(0);
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at(1) < low || at(1) > high)
        return 0;
    for (size_t k = 2; k < length; ++k)
        if (at(k) < 0x80 || at(k) > 0xBF)
            return 0;
    return length;
}

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

std::string EscapeControls(std::string_view utf8) {
    std::string text;
    text.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        const size_t length = CharacterLength(utf8, i);
        const auto second = length == 2 ? static_cast<unsigned char>(utf8[i + 1]) : 0;
        if (byte == 0xC2 && second >= 0x80 && second <= 0x9F) {
            text += "\\u00";
            text += kHexDigits[second >> 4];
            text += kHexDigits[second & 0x0F];
        } else if (length == 0 || byte < 0x20 || byte == 0x7F || byte == '\\') {
            text += EscapeBytes(utf8.substr(i, 1));
        } else {
            text += utf8.substr(i, length);
        }
        i += length == 0 ? 1 : length;
    }
    return text;
}

std::string_view CutUtf8(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    size_t end = maxBytes;
    while (end > 0 && IsContinuation(text[end]))
        --end;
    return text.substr(0, end);
}

size_t DisplayWidth(std::string_view utf8) {
    size_t width = 0;
    for (const char c : utf8)
        width += IsContinuation(c) ? 0 : 1;
    return width;
}

bool UnescapeBytes(std::string_view text, std::string& bytesOut) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i]) {
        case '\\':
            bytes += '\\';
            break;
        case 'r':
            bytes += '\r';
            break;
        case 'n':
            bytes += '\n';
            break;
        case 't':
            bytes += '\t';
            break;
        case 'x': {
            if (i + 2 >= text.size())
                return false;
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high < 0 || low < 0)
                return false;
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    bytesOut = std::move(bytes);
    return true;
}
