#include "MonitorFormat.h"

#include "EscapedText.h"
#include "MonitorMessage.h"

std::string FormatMessage(std::string_view message, bool raw) {
    if (raw)
        return std::to_string(message.size()) + " " + EscapeBytes(message) + "\n";
    std::string_view tag;
    std::string_view piece;
    std::string text;
    // The blank line before a header stays blank: it belongs to no port's line.
    if (monitor_message::SplitTagged(message, tag, piece) && piece != "\n") {
        text += '[';
        text += EscapeBytes(tag);
        text += "] ";
    }
    text += piece;
    if (piece != "\n")
        text += '\n';
    return text;
}
