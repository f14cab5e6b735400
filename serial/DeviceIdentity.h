// What a port name reaches, so that two spellings of one device are known as one before anything is
// sent: on POSIX the device itself (a link, a doubled slash or a com name all lead to the same one),
// on Windows the COM name as the system reads it. One file per platform, chosen by CMake.
#pragma once

#include <string>

namespace device_identity {

// Equal for two names exactly when they reach the same device; for a name that reaches nothing yet,
// the name itself as the open would take it.
std::string IdentityOf(const std::string& portName);

} // namespace device_identity
