// The UUCP lock files of the devices this process opens, and the names of the ones it holds. The
// lock folder is writable by every local user, so whatever stands there under a lock's name is
// judged by what it is, never trusted for what it claims: only a regular file naming a living
// process holds a device.
#include "DeviceLocks.h"

#include "FdGuard.h"
#include "Processes.h"
#include "SystemErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace serial_os {

namespace {

using serial_result::OpenFailure;
using serial_result::OpenReason;

// A lock that names no PID may be half written by its owner this very moment; once it is older than
// this it never will be finished.
constexpr time_t kHalfWrittenGraceSeconds = 2;
// Our temporary names are random, so a name someone planted is met only by chance; a few fresh
// tries get past any such chance.
constexpr int kTemporaryNameTries = 8;

std::vector<std::string>& Directories() {
    static std::vector<std::string> directories = {"/run/lock", "/var/lock"};
    return directories;
}

// The UUCP lock files that minicom, cu and the like honour: "LCK.." and the device's name below /dev
// (slashes as underscores; the base name for a device elsewhere), holding the owner's PID.
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

// "LTMP." or "LDEL." and 16 random hex digits; empty when the system gives no random bytes.
std::string RandomName(const std::string& directory, const char* prefix) {
    unsigned char bytes[8];
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes))
        return {};
    std::string name = directory + "/" + prefix;
    char hex[3];
    for (const unsigned char byte : bytes) {
        std::snprintf(hex, sizeof hex, "%02x", byte);
        name += hex;
    }
    return name;
}

enum class OwnerRead { kPid, kNoPid, kOutOfResources };

// The PID the lock file at lockPath names, read only when it is still the file lstat found (st). A
// PID is ASCII digits, with blanks before and a line feed after, in the range a PID can take.
OwnerRead ReadOwner(const std::string& lockPath, const struct stat& st, pid_t& pid) {
    pid = 0;
    FdGuard fd(open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0)
        return OutOfResources(errno) ? OwnerRead::kOutOfResources : OwnerRead::kNoPid;
    struct stat opened {};
    if (fstat(fd.get(), &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino)
        return OwnerRead::kNoPid;
    char text[32] = {};
    const ssize_t n = read(fd.get(), text, sizeof text - 1);
    if (n <= 0)
        return OwnerRead::kNoPid;
    size_t at = 0;
    while (at < static_cast<size_t>(n) && text[at] == ' ')
        ++at;
    long value = 0;
    size_t digits = 0;
    for (; at < static_cast<size_t>(n) && text[at] >= '0' && text[at] <= '9' && digits < 10; ++at, ++digits)
        value = value * 10 + (text[at] - '0');
    const bool ended = at == static_cast<size_t>(n) || (text[at] == '\n' && at + 1 == static_cast<size_t>(n));
    if (digits == 0 || !ended || value <= 0 || value > INT32_MAX)
        return OwnerRead::kNoPid;
    pid = static_cast<pid_t>(value);
    return OwnerRead::kPid;
}

// Several ports may be opened and closed at once from different threads, so the lock files and the
// names of the ones held are changed only under this mutex.
std::mutex& LockTableMutex() {
    static std::mutex mutex;
    return mutex;
}

// The paths of the locks this process holds: a lock naming our own PID is stale unless it is here.
std::vector<std::string>& HeldPaths() {
    static std::vector<std::string> paths;
    return paths;
}

bool IsOurs(const std::string& lockPath) {
    const std::vector<std::string>& held = HeldPaths();
    return std::find(held.begin(), held.end(), lockPath) != held.end();
}

struct TakenLock {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
};

// Takes a stale entry out of the way without ever taking a lock made meanwhile in its place: it is
// first renamed to a name of ours, and only removed when what was renamed is the very entry judged
// stale; anything else is put back. True when no entry stands at lockPath any more.
bool RemoveStaleEntry(const std::string& lockPath, const struct stat& judged, pid_t deadPid, OpenFailure& why) {
    const std::string directory = lockPath.substr(0, lockPath.rfind('/'));
    const std::string aside = RandomName(directory, "LDEL.");
    if (aside.empty() || rename(lockPath.c_str(), aside.c_str()) != 0) {
        if (!aside.empty() && errno == ENOENT)
            return true;
        // Root's lock in the sticky lock folder, seen by a user: only its owner may take it away.
        const int error = errno;
        Refuse(why, error == EPERM || error == EACCES || error == EROFS ? OpenReason::kStaleLock : OpenReason::kOther,
               lockPath, error);
        why.pid = deadPid;
        return false;
    }
    struct stat moved {};
    if (lstat(aside.c_str(), &moved) == 0 && moved.st_dev == judged.st_dev && moved.st_ino == judged.st_ino) {
        if (S_ISDIR(moved.st_mode) ? rmdir(aside.c_str()) != 0 : unlink(aside.c_str()) != 0) {
            // A directory with something in it stays aside under its random name, out of the way.
        }
        return true;
    }
    // A lock made between the judgement and the rename: it goes back where its owner put it.
    if (renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, lockPath.c_str(), RENAME_NOREPLACE) != 0 &&
        link(aside.c_str(), lockPath.c_str()) == 0)
        unlink(aside.c_str());
    Refuse(why, OpenReason::kBusy, lockPath, 0, "its lock file changed while it was checked");
    return false;
}

// True when no lock stands at lockPath: there was none, or the entry there was stale and has been
// removed. Stale is anything that cannot be a lock (no regular file; no PID once the grace for a
// half-written one is over) and a lock whose process is gone or one of ours that no open holds any
// more. False, with why filled, when another live process or another open of ours holds it, or when
// it cannot be told.
bool RemoveLockUnlessHeld(const std::string& lockPath, OpenFailure& why) {
    struct stat st {};
    if (lstat(lockPath.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return true;
        const int error = errno;
        Refuse(why, OutOfResources(error) ? OpenReason::kResourceLimit : OpenReason::kOther, lockPath, error);
        return false;
    }
    pid_t owner = 0;
    if (S_ISREG(st.st_mode)) {
        switch (ReadOwner(lockPath, st, owner)) {
        case OwnerRead::kOutOfResources:
            Refuse(why, OpenReason::kResourceLimit, lockPath, 0, "its lock file could not be read");
            return false;
        case OwnerRead::kNoPid:
            if (time(nullptr) - st.st_mtime < kHalfWrittenGraceSeconds) {
                Refuse(why, OpenReason::kLockedBy, lockPath, 0, "a lock file is being written");
                return false;
            }
            break;
        case OwnerRead::kPid:
            if (owner == getpid() ? IsOurs(lockPath) : IsRunning(owner)) {
                Refuse(why, OpenReason::kLockedBy, lockPath);
                NameHolder(why, owner);
                return false;
            }
            break;
        }
    }
    return RemoveStaleEntry(lockPath, st, owner, why);
}

enum class LockResult { kTaken, kHeld, kNotMade };

// Written under a fresh random name first and linked into place, so that no one ever reads a
// half-written lock of ours and no name planted beforehand can take the place of our file.
LockResult TakeLock(const std::string& directory, const std::string& name, TakenLock& taken, OpenFailure& why) {
    const std::string lockPath = directory + "/" + name;
    std::string temporary;
    int created = -1;
    for (int attempt = 0; attempt < kTemporaryNameTries && created < 0; ++attempt) {
        temporary = RandomName(directory, "LTMP.");
        if (temporary.empty())
            break;
        created = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (created < 0 && errno != EEXIST)
            break;
    }
    FdGuard fd(created);
    if (fd.get() < 0) {
        const int error = errno;
        Refuse(why, OutOfResources(error) ? OpenReason::kResourceLimit : OpenReason::kNoLock, lockPath, error);
        return LockResult::kNotMade;
    }
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
    struct stat made {};
    LockResult result = LockResult::kNotMade;
    if (write(fd.get(), text, static_cast<size_t>(length)) == length && fstat(fd.get(), &made) == 0) {
        result = LockResult::kHeld;
        for (int attempt = 0; attempt < 2 && result == LockResult::kHeld; ++attempt) {
            if (link(temporary.c_str(), lockPath.c_str()) == 0) {
                taken = {lockPath, made.st_dev, made.st_ino};
                result = LockResult::kTaken;
            } else if (errno != EEXIST)
                result = LockResult::kNotMade;
            else if (!RemoveLockUnlessHeld(lockPath, why))
                break;
        }
    }
    if (result == LockResult::kNotMade) {
        const int error = errno;
        Refuse(why, OutOfResources(error) ? OpenReason::kResourceLimit : OpenReason::kNoLock, lockPath, error);
    }
    unlink(temporary.c_str());
    return result;
}

} // namespace

void SetLockDirectories(const std::vector<std::string>& directories) {
    const std::lock_guard<std::mutex> guard(LockTableMutex());
    Directories() = directories;
}

std::vector<std::string> LockDirectories() {
    const std::lock_guard<std::mutex> guard(LockTableMutex());
    return Directories();
}

namespace {

// True when no lock of another holder stands under either name of the device; name is set to the
// lock's name for its real path.
bool NoLockUnderEitherName(int fd, const std::string& openedName, std::string& name, OpenFailure& why) {
    const std::string path = OpenedPath(fd);
    if (path.empty()) {
        const int error = errno;
        Refuse(why, OutOfResources(error) ? OpenReason::kResourceLimit : OpenReason::kOther, openedName, error,
               "its real path could not be read");
        return false;
    }
    name = LockFileName(path);
    const std::string alias = LockFileName(openedName);
    for (const std::string& directory : Directories()) {
        const std::string base = directory + "/";
        if (!RemoveLockUnlessHeld(base + name, why) || (alias != name && !RemoveLockUnlessHeld(base + alias, why)))
            return false;
    }
    return true;
}

} // namespace

bool NoLockHeld(int fd, const std::string& openedName, OpenFailure& why) {
    const std::lock_guard<std::mutex> guard(LockTableMutex());
    std::string name;
    return NoLockUnderEitherName(fd, openedName, name, why);
}

namespace {

enum class Placed { kTaken, kNoFolder, kRefused };

// Ours in the first lock folder we may write to, among the names of the held ones. Under the mutex.
Placed PlaceLock(const std::string& name, TakenLock& taken, OpenFailure& why) {
    for (const std::string& directory : Directories()) {
        if (access(directory.c_str(), W_OK) != 0)
            continue;
        if (TakeLock(directory, name, taken, why) != LockResult::kTaken)
            return Placed::kRefused;
        try {
            HeldPaths().push_back(taken.path);
        } catch (const std::bad_alloc&) {
            unlink(taken.path.c_str());
            Refuse(why, OpenReason::kResourceLimit, taken.path, ENOMEM);
            return Placed::kRefused;
        }
        return Placed::kTaken;
    }
    return Placed::kNoFolder;
}

} // namespace

DeviceLock::DeviceLock(DeviceLock&& other) noexcept
    : m_path(std::exchange(other.m_path, std::string())), m_device(other.m_device), m_inode(other.m_inode) {}

DeviceLock& DeviceLock::operator=(DeviceLock&& other) noexcept {
    if (this != &other) {
        Release();
        m_path = std::exchange(other.m_path, std::string());
        m_device = other.m_device;
        m_inode = other.m_inode;
    }
    return *this;
}

void DeviceLock::Release() {
    if (!Held())
        return;
    const std::lock_guard<std::mutex> guard(LockTableMutex());
    // Only the very file we linked into place: whatever replaced it is someone else's.
    struct stat st {};
    if (lstat(m_path.c_str(), &st) == 0 && st.st_dev == m_device && st.st_ino == m_inode)
        unlink(m_path.c_str());
    std::vector<std::string>& held = HeldPaths();
    const auto found = std::find(held.begin(), held.end(), m_path);
    if (found != held.end())
        held.erase(found);
    m_path.clear();
}

void DeviceLock::Adopt(std::string path, dev_t device, ino_t inode) {
    m_path = std::move(path);
    m_device = device;
    m_inode = inode;
}

bool LockDevice(int fd, const std::string& openedName, DeviceLock& lock, OpenFailure& why) {
    const std::lock_guard<std::mutex> guard(LockTableMutex());
    std::string name;
    if (!NoLockUnderEitherName(fd, openedName, name, why))
        return false;
    // A folder closed to us (a user outside the lock group) takes no lock of ours; one we may write to
    // but where no lock could be made leaves the port unused.
    TakenLock taken;
    switch (PlaceLock(name, taken, why)) {
    case Placed::kTaken:
        lock.Adopt(std::move(taken.path), taken.device, taken.inode);
        return true;
    case Placed::kNoFolder:
        return true;
    case Placed::kRefused:
        break;
    }
    return false;
}

bool LockName(const std::string& name, DeviceLock& lock, OpenFailure& why) {
    const std::lock_guard<std::mutex> guard(LockTableMutex());
    for (const std::string& directory : Directories())
        if (!RemoveLockUnlessHeld(directory + "/" + name, why))
            return false;
    TakenLock taken;
    switch (PlaceLock(name, taken, why)) {
    case Placed::kTaken:
        lock.Adopt(std::move(taken.path), taken.device, taken.inode);
        return true;
    case Placed::kNoFolder:
        break;
    case Placed::kRefused:
        return false;
    }
    const std::vector<std::string>& directories = Directories();
    Refuse(why, OpenReason::kNoLock, (directories.empty() ? std::string() : directories.front() + "/") + name, 0,
           "no lock folder may be written to");
    return false;
}

} // namespace serial_os
