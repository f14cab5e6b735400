// The UUCP lock files of the devices this process opens, and the table of the locks it holds.
#include "DeviceLocks.h"

#include "FdGuard.h"
#include "Processes.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace serial_os {

namespace {

// The UUCP lock files that minicom, cu and the like honour: "LCK.." and the device's name below /dev
// (slashes as underscores; the base name for a device elsewhere), holding the owner's PID.
constexpr const char* kLockDirectories[] = {"/run/lock", "/var/lock"};

std::string LockFileName(const std::string& devicePath) {
    std::string name = devicePath.rfind("/dev/", 0) == 0 ? devicePath.substr(5)
                                                         : devicePath.substr(devicePath.rfind('/') + 1);
    for (char& c : name)
        if (c == '/')
            c = '_';
    return "LCK.." + name;
}

// The path this process opened fd by, as the kernel tells it (links resolved).
std::string OpenedPath(int fd) {
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = readlink(link.c_str(), target, sizeof target);
    return n > 0 && static_cast<size_t>(n) < sizeof target ? std::string(target, static_cast<size_t>(n))
                                                           : std::string();
}

// The PID a lock file names; 0 when it names none that can be read.
pid_t LockOwner(const std::string& lockPath) {
    FdGuard fd(open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    char text[32] = {};
    if (fd.get() < 0 || read(fd.get(), text, sizeof text - 1) <= 0)
        return 0;
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    return end != text && pid > 0 && pid <= INT32_MAX ? static_cast<pid_t>(pid) : 0;
}

// The locks this process holds, by the descriptor of the device they lock. Kept here rather than
// worked out again at close, when the device may be gone (a pseudo-terminal whose master closed).
// Several ports may be opened and closed at once from different threads, so the table and the lock
// files it speaks for are changed only under this mutex.
std::mutex& LockTableMutex() {
    static std::mutex mutex;
    return mutex;
}

struct HeldLock {
    int fd;
    std::string path;
};

std::vector<HeldLock>& HeldLocks() {
    static std::vector<HeldLock> locks;
    return locks;
}

bool IsOurs(const std::string& lockPath) {
    for (const HeldLock& lock : HeldLocks())
        if (lock.path == lockPath)
            return true;
    return false;
}

// True when no lock stands at lockPath: there was none, or it was stale and has been removed (its
// process is gone, or it is one of ours that no open holds any more). False when another live
// process, or another open of ours, holds it. A lock that names no PID may be half
// written by its owner this very moment, so it counts as held.
bool RemoveLockUnlessHeld(const std::string& lockPath, serial_result::OpenFailure& why) {
    struct stat st {};
    if (lstat(lockPath.c_str(), &st) != 0)
        return errno == ENOENT;
    const pid_t owner = LockOwner(lockPath);
    if (owner == 0 || (owner == getpid() ? IsOurs(lockPath) : IsRunning(owner))) {
        Refuse(why, serial_result::OpenReason::kLockedBy, lockPath, owner);
        return false;
    }
    unlink(lockPath.c_str());
    return true;
}

enum class LockResult { kTaken, kHeld, kNoLockDirectory };

// Written under another name first and linked into place, so that no one ever reads a half-written
// lock of ours.
LockResult TakeLock(int device, const char* directory, const std::string& name, serial_result::OpenFailure& why) {
    const std::string lockPath = std::string(directory) + "/" + name;
    // Unique within the process as well, since another thread may be taking a lock this moment.
    static std::atomic<unsigned> serial{0};
    const std::string temporary =
        std::string(directory) + "/LTMP." + std::to_string(getpid()) + "." + std::to_string(serial++);
    FdGuard fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.get() < 0)
        return LockResult::kNoLockDirectory;
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
    const bool written = write(fd.get(), text, static_cast<size_t>(length)) == length;
    LockResult result = LockResult::kNoLockDirectory;
    if (written) {
        result = LockResult::kHeld;
        for (int attempt = 0; attempt < 2 && result == LockResult::kHeld; ++attempt) {
            if (link(temporary.c_str(), lockPath.c_str()) == 0) {
                HeldLocks().push_back({device, lockPath});
                result = LockResult::kTaken;
            } else if (errno != EEXIST)
                result = LockResult::kNoLockDirectory;
            else if (!RemoveLockUnlessHeld(lockPath, why))
                break;
        }
    }
    unlink(temporary.c_str());
    return result;
}

} // namespace

// Removes the lock this process took for the device open on fd, unless someone replaced it since.
void ReleaseLock(int fd) {
    const std::lock_guard<std::mutex> guard(LockTableMutex());
    std::vector<HeldLock>& locks = HeldLocks();
    for (auto lock = locks.begin(); lock != locks.end(); ++lock) {
        if (lock->fd == fd) {
            if (LockOwner(lock->path) == getpid())
                unlink(lock->path.c_str());
            locks.erase(lock);
            return;
        }
    }
}

// True when the device is free of every lock file naming it, by the name it was opened with or by
// its real one, and then ours is taken. Without a lock directory we may write to, nothing is taken.
bool LockDevice(int fd, const std::string& openedName, serial_result::OpenFailure& why) {
    const std::lock_guard<std::mutex> guard(LockTableMutex());
    const std::string path = OpenedPath(fd);
    if (path.empty()) {
        Refuse(why, serial_result::OpenReason::kOther, openedName);
        why.detail = "its real path could not be read";
        return false;
    }
    const std::string name = LockFileName(path);
    const std::string alias = LockFileName(openedName);
    for (const char* directory : kLockDirectories) {
        const std::string base = std::string(directory) + "/";
        if (!RemoveLockUnlessHeld(base + name, why) || (alias != name && !RemoveLockUnlessHeld(base + alias, why)))
            return false;
    }
    for (const char* directory : kLockDirectories) {
        switch (TakeLock(fd, directory, name, why)) {
        case LockResult::kTaken:
            return true;
        case LockResult::kHeld:
            return false;
        case LockResult::kNoLockDirectory:
            break;
        }
    }
    return true;
}

bool LockName(const std::string& name, int key, serial_result::OpenFailure& why) {
    const std::lock_guard<std::mutex> guard(LockTableMutex());
    for (const char* directory : kLockDirectories)
        if (!RemoveLockUnlessHeld(std::string(directory) + "/" + name, why))
            return false;
    for (const char* directory : kLockDirectories) {
        switch (TakeLock(key, directory, name, why)) {
        case LockResult::kTaken:
            return true;
        case LockResult::kHeld:
            return false;
        case LockResult::kNoLockDirectory:
            break;
        }
    }
    Refuse(why, serial_result::OpenReason::kNoLock, std::string(kLockDirectories[0]) + "/" + name);
    return false;
}

void RekeyLock(int from, int to) {
    const std::lock_guard<std::mutex> guard(LockTableMutex());
    for (HeldLock& lock : HeldLocks())
        if (lock.fd == from)
            lock.fd = to;
}

} // namespace serial_os
