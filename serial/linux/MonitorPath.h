// Where the monitor's datagram socket lives on Linux: "Vexl_MailSlot" in the user's runtime directory
// ($XDG_RUNTIME_DIR, else /tmp/zk405-<uid>). The dump carries the PIN, so the directory must be the
// user's own and closed to others before anything is sent there.
#pragma once

#include <string>

namespace monitor_path {

inline constexpr const char* kEndpointName = "Vexl_MailSlot";

std::string Directory();
std::string SocketPath();
// True when the directory exists (or, with create, was made) as a real directory owned by this user
// with no access for group or others.
bool IsPrivateDirectory(const std::string& directory, bool create);

} // namespace monitor_path
