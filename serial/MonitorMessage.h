// How a message to the monitor says which port it comes from when several ports mirror at once:
// SOH, the port's tag, STX, then the piece of the dump. The dump itself never holds either control
// byte, so an untagged message (a single port, the windows) is exactly the piece as the log has it.
#pragma once

#include <cstddef>
#include <string_view>

namespace monitor_message {

inline constexpr char kTagStart = '\x01';
inline constexpr char kTagEnd = '\x02';
// A longer tag is cut: it only has to tell a handful of ports apart.
inline constexpr size_t kMaxTagBytes = 64;

// The tag and the piece of a message; false, with the whole message as the piece, for an untagged one.
inline bool SplitTagged(std::string_view message, std::string_view& tagOut, std::string_view& pieceOut) {
    const size_t end = message.find(kTagEnd);
    if (message.empty() || message.front() != kTagStart || end == std::string_view::npos) {
        tagOut = {};
        pieceOut = message;
        return false;
    }
    tagOut = message.substr(1, end - 1);
    pieceOut = message.substr(end + 1);
    return true;
}

} // namespace monitor_message
