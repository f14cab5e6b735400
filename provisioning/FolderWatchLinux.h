// The inotify watch on the folder a station watches, kept on whatever folder its path names: a folder
// removed, moved away or replaced (by a new folder, or a link to another) is reported lost, and the
// folder under the path is watched again as soon as there is one. Linux only (DeviceWatcherLinux.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <sys/inotify.h>
#include <sys/types.h>
#include <vector>

namespace provisioning {

struct FolderEvent {
    // Entry: news of a name in the folder (inotify's mask and cookie); Overflow: news was lost and
    // only a fresh look says what is there; Lost: no folder is watched, message says why; Back: the
    // folder under the path is watched (again), and a fresh look says what is in it.
    enum class Kind { Entry, Overflow, Lost, Back };
    Kind kind = Kind::Entry;
    uint32_t mask = 0;
    uint32_t cookie = 0;
    std::string name;
    std::string message;
};

class FolderWatch {
public:
    // Refused with the reason (and, for a limit of the system's, what to do about it) in error.
    static std::unique_ptr<FolderWatch> Open(const std::string& path, std::string& error);
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // What happened, waiting up to waitMs for something to; at once on a stop. While no folder is
    // watched, the path is looked at again every little while as well as on its parent's news.
    std::vector<FolderEvent> Wait(int waitMs);

private:
    FolderWatch(std::string path, int inotify);
    bool WatchFolder(std::string& error);
    void WatchParent();
    void Handle(const inotify_event& event, std::vector<FolderEvent>& events);
    void Check(const char* why, bool gone, std::vector<FolderEvent>& events);
    void Retry(std::vector<FolderEvent>& events);

    std::string m_path;
    std::string m_parent; // "" for the root, which has none
    std::string m_base;
    int m_inotify;
    int m_folder = -1; // the watches; -1 while there is none
    int m_parentWatch = -1;
    dev_t m_device = 0; // the watched folder itself, to tell it from another under the same path
    ino_t m_inode = 0;
};

} // namespace provisioning
