#include "SystemErrors.h"

#include "SerialSystem.h"

#include <cerrno>
#include <cstring>

namespace serial_os {

bool OutOfResources(int error) {
    switch (error) {
    case EMFILE:
    case ENFILE:
    case ENOMEM:
    case ENOSPC:
    case EDQUOT:
    case ENOBUFS:
        return true;
    default:
        return false;
    }
}

std::string ErrorText(int osError) {
    char buffer[256];
    // The GNU strerror_r, which may hand back a text of its own instead of filling the buffer.
    const char* text = strerror_r(osError, buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : std::string();
}

} // namespace serial_os
