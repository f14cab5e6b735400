#include "MonitorPath.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace monitor_path {

std::string Directory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/')
        return runtime;
    return "/tmp/zk405-" + std::to_string(geteuid());
}

std::string SocketPath() {
    return Directory() + "/" + kEndpointName;
}

bool IsPrivateDirectory(const std::string& directory, bool create) {
    if (create && mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (lstat(directory.c_str(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

} // namespace monitor_path
