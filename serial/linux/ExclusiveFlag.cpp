#include "ExclusiveFlag.h"

#include "DeviceLocks.h"
#include "FdGuard.h"
#include "Holders.h"
#include "Processes.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace serial_os {

namespace {

using serial_result::OpenFailure;
using serial_result::OpenReason;

enum class Account { kLeftOver, kAccounted };

// Who accounts for the flag of the device open on fd: a holder, a lock, or nobody we can see. A user
// sees only the processes of their own, which hidden then says.
Account AccountFor(int fd, const std::string& path, OpenUnderWay* underWay, OpenFailure& why, bool& hidden) {
    HolderSearch search;
    if (fstat(fd, &search.device) != 0) {
        const int error = errno;
        Refuse(why, OpenReason::kExclusiveFlag, path, error);
        return Account::kAccounted;
    }
    FindHolders(search, underWay);
    hidden = search.hidden;
    if (search.holder != 0 || search.failure != 0) {
        Refuse(why, OpenReason::kExclusiveFlag, path, search.failure,
               search.failure != 0 ? "its holders could not be looked for" : "");
        NameHolder(why, search.holder);
        return Account::kAccounted;
    }
    if (NoLockHeld(fd, path, why))
        return Account::kLeftOver;
    // The flag is what refuses the port; the lock only names whose it is.
    if (why.reason == OpenReason::kLockedBy) {
        const std::string lock = why.path;
        const auto owner = static_cast<pid_t>(why.pid);
        Refuse(why, OpenReason::kExclusiveFlag, path, 0, "its lock file is " + lock);
        NameHolder(why, owner);
    }
    return Account::kAccounted;
}

} // namespace

bool ExclusiveFlagLeftOver(int fd, const std::string& path, OpenUnderWay* underWay, OpenFailure& why) {
    bool hidden = false;
    if (AccountFor(fd, path, underWay, why, hidden) != Account::kLeftOver)
        return false;
    if (hidden) {
        Refuse(why, OpenReason::kExclusiveFlag, path, 0, "some processes could not be looked into");
        return false;
    }
    return true;
}

void ExplainExclusiveFlag(const std::string& path, OpenUnderWay* underWay, OpenFailure& why) {
    // A path descriptor reaches the device's inode without opening the tty, which the flag forbids.
    FdGuard fd(open(path.c_str(), O_PATH | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || fstat(fd.get(), &st) != 0 || !S_ISCHR(st.st_mode)) {
        Refuse(why, OpenReason::kExclusiveFlag, path);
        return;
    }
    bool hidden = false;
    if (AccountFor(fd.get(), path, underWay, why, hidden) == Account::kLeftOver) {
        Refuse(why, OpenReason::kStaleExclusiveFlag, path, 0, hidden ? "only this user's programs could be looked into" : "");
    } else if (why.reason == OpenReason::kStaleLock) {
        // The killed program's own lock, which this user may not remove: the same left-over.
        const std::string lock = why.path;
        const long pid = why.pid;
        Refuse(why, OpenReason::kStaleExclusiveFlag, path, 0,
               "its lock file " + lock + " names PID " + std::to_string(pid) + ", which has ended");
    }
}

} // namespace serial_os
