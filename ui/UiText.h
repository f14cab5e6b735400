// The windows' texts are UTF-8 literals. wxString's narrow constructor goes through the C locale,
// which wx leaves as "C", so a Polish literal would come out empty: every text goes through here.
#pragma once

#include <wx/string.h>

#include <string>
#include <string_view>

inline wxString Utf8(const char* text) {
    return wxString::FromUTF8(text);
}

inline wxString Utf8(std::string_view text) {
    return wxString::FromUTF8(text.data(), text.size());
}

inline std::string WxToUtf8(const wxString& text) {
    const wxScopedCharBuffer buffer = text.utf8_str();
    return std::string(buffer.data(), buffer.length());
}
