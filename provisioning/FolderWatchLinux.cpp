#include "FolderWatchLinux.h"

#include "StopSignal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace provisioning {

namespace {

constexpr uint32_t kEntryMask = IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE | IN_MOVED_FROM;
// The parent's news of the folder's own name: it was removed, renamed, made again or linked anew.
constexpr uint32_t kParentMask = IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_ONLYDIR;
// How often a lost folder's path is looked at when its parent cannot tell (it went as well).
constexpr int kRetryMs = 100;

// The system's own words, with what to do when one of its limits is the reason.
std::string WatchError(int error) {
    if (error == ENOSPC)
        return "the system's limit of inotify watches is reached; raise fs.inotify.max_user_watches "
               "(sysctl) or end a program that watches many files";
    if (error == EMFILE)
        return "the system's limit of inotify instances is reached; raise fs.inotify.max_user_instances "
               "(sysctl) or end a program that watches files";
    if (error == ENOTDIR)
        return "it is not a folder";
    return std::strerror(error);
}

// The path without a trailing slash, split at its last one: "/tmp/bench" is "/tmp" and "bench".
void Split(std::string& path, std::string& parent, std::string& base) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const size_t slash = path.rfind('/');
    if (path == "/") {
        parent.clear();
        base.clear();
    } else if (slash == std::string::npos) {
        parent = ".";
        base = path;
    } else {
        parent = slash == 0 ? "/" : path.substr(0, slash);
        base = path.substr(slash + 1);
    }
}

} // namespace

FolderWatch::FolderWatch(std::string path, int inotify) : m_path(std::move(path)), m_inotify(inotify) {
    Split(m_path, m_parent, m_base);
}

FolderWatch::~FolderWatch() {
    close(m_inotify);
}

std::unique_ptr<FolderWatch> FolderWatch::Open(const std::string& path, std::string& error) {
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        error = "cannot watch for new devices: " + WatchError(errno);
        return nullptr;
    }
    std::unique_ptr<FolderWatch> watch(new FolderWatch(path, fd));
    // The parent first: a folder replaced between the two is then heard of.
    watch->WatchParent();
    std::string why;
    if (!watch->WatchFolder(why)) {
        error = "cannot watch " + watch->m_path + ": " + why;
        return nullptr;
    }
    return watch;
}

bool FolderWatch::WatchFolder(std::string& error) {
    const int wd = inotify_add_watch(m_inotify, m_path.c_str(), kEntryMask | IN_ONLYDIR | IN_DELETE_SELF | IN_MOVE_SELF);
    struct stat st {};
    if (wd < 0 || stat(m_path.c_str(), &st) != 0) {
        error = WatchError(errno);
        if (wd >= 0)
            inotify_rm_watch(m_inotify, wd);
        return false;
    }
    m_folder = wd;
    m_device = st.st_dev;
    m_inode = st.st_ino;
    return true;
}

// Without it (a parent that cannot be read, or none) a lost folder is still found by looking again.
void FolderWatch::WatchParent() {
    if (!m_parent.empty() && m_parentWatch < 0)
        m_parentWatch = inotify_add_watch(m_inotify, m_parent.c_str(), kParentMask);
}

std::vector<FolderEvent> FolderWatch::Wait(int waitMs) {
    std::vector<FolderEvent> events;
    Retry(events);
    if (!events.empty() || StopRequested())
        return events;
    const int wait = m_folder < 0 ? std::min(waitMs, kRetryMs) : waitMs;
    pollfd fds[2] = {{m_inotify, POLLIN, 0}, {StopWakeDescriptor(), POLLIN, 0}};
    if (poll(fds, fds[1].fd >= 0 ? 2 : 1, wait) > 0 && (fds[0].revents & POLLIN) != 0) {
        alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
        ssize_t n;
        while ((n = read(m_inotify, buffer, sizeof buffer)) > 0)
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                Handle(*event, events);
            }
    }
    Retry(events);
    return events;
}

void FolderWatch::Handle(const inotify_event& event, std::vector<FolderEvent>& events) {
    if ((event.mask & IN_Q_OVERFLOW) != 0) {
        // What was lost may have been the folder's own news as well as its names'.
        events.push_back({FolderEvent::Kind::Overflow, 0, 0, {}, {}});
        return Check("another folder took its place", false, events);
    }
    if (event.wd == m_parentWatch) {
        if ((event.mask & IN_IGNORED) != 0)
            m_parentWatch = -1;
        else if (event.len > 0 && m_base == event.name)
            Check((event.mask & IN_DELETE) != 0       ? "it was removed"
                  : (event.mask & IN_MOVED_FROM) != 0 ? "it was moved away"
                                                      : "another folder took its place",
                  false, events);
        return;
    }
    if (m_folder < 0 || event.wd != m_folder)
        return; // a watch given up already
    if ((event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) != 0) {
        const char* why = (event.mask & IN_DELETE_SELF) != 0 ? "it was removed"
                          : (event.mask & IN_MOVE_SELF) != 0 ? "it was moved away"
                                                              : "it can no longer be watched";
        // Given up even if the path shows the same inode: a new folder may have been given the number.
        return Check(why, true, events);
    }
    if (event.len > 0)
        events.push_back({FolderEvent::Kind::Entry, event.mask, event.cookie, event.name, {}});
}

// Is the folder watched still the one under the path? If not, the watch is given up and the path's
// folder, if there is one, watched instead.
void FolderWatch::Check(const char* why, bool gone, std::vector<FolderEvent>& events) {
    if (m_folder >= 0 && !gone) {
        struct stat st {};
        if (stat(m_path.c_str(), &st) == 0 && st.st_dev == m_device && st.st_ino == m_inode)
            return;
    }
    if (m_folder >= 0) {
        inotify_rm_watch(m_inotify, m_folder); // fails harmlessly when the system gave it up itself
        m_folder = -1;
        events.push_back({FolderEvent::Kind::Lost, 0, 0, {}, why});
    }
    Retry(events);
}

void FolderWatch::Retry(std::vector<FolderEvent>& events) {
    if (m_folder >= 0)
        return;
    WatchParent();
    std::string why;
    if (WatchFolder(why))
        events.push_back({FolderEvent::Kind::Back, 0, 0, {}, {}});
}

} // namespace provisioning
