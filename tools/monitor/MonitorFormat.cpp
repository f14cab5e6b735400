#include "MonitorFormat.h"

#include "EscapedText.h"

std::string FormatMessage(std::string_view message, bool raw) {
    if (raw)
        return std::to_string(message.size()) + " " + EscapeBytes(message) + "\n";
    std::string text(message);
    if (message != "\n")
        text += '\n';
    return text;
}
