#include "LedgerFile.h"

#include "Processes.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ledger_file {

namespace {

std::string Reason(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// fcntl locks are the ones NFS and SMB mounts pass on to the server; flock may stay local there. The
// open-file-description kind (F_OFD_*) belongs to this open file, not to the process: two opens in one
// process exclude each other too, and closing another descriptor of the file does not drop it.
bool SetLock(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET; // start 0, length 0: the whole file, however far it grows
    int result;
    do
        result = fcntl(fd, F_OFD_SETLK, &lock);
    while (result != 0 && errno == EINTR);
    return result == 0;
}

// The ledger at path opened with flags, never waiting on a FIFO nor taking a terminal; -1, with error
// filled, unless it is a regular file.
int OpenRegular(const std::string& path, int flags, std::string& error) {
    const int fd = open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0) {
        error = Reason(("cannot open the ledger " + path).c_str());
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        error = "the ledger " + path + " is not a regular file";
        return -1;
    }
    return fd;
}

} // namespace

LedgerFile::~LedgerFile() {
    if (m_handle >= 0) {
        Unlock();
        close(static_cast<int>(m_handle));
    }
}

bool LedgerFile::Open(const std::string& path, bool create, std::string& error) {
    // O_APPEND: every write lands at the end, whatever another station wrote meanwhile. Not a FIFO or
    // a device: only a regular file is a ledger.
    const int fd = OpenRegular(path, O_RDWR | O_APPEND | (create ? O_CREAT : 0), error);
    if (fd < 0)
        return false;
    m_handle = fd;
    return true;
}

LockTry LedgerFile::TryLock(std::string& error) {
    if (SetLock(static_cast<int>(m_handle), F_WRLCK)) {
        m_locked = true;
        return LockTry::Taken;
    }
    if (errno == EAGAIN || errno == EACCES)
        return LockTry::Busy;
    error = Reason("cannot lock the ledger");
    return LockTry::Failed;
}

LockHolder LedgerFile::Holder() const {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    LockHolder holder;
    // l_pid is -1 for the lock of an open file (another station's): the system names no process then.
    if (fcntl(static_cast<int>(m_handle), F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK && lock.l_pid > 0) {
        holder.pid = lock.l_pid;
        holder.program = serial_os::ProgramOf(lock.l_pid);
    }
    return holder;
}

void LedgerFile::Unlock() {
    if (m_locked)
        SetLock(static_cast<int>(m_handle), F_UNLCK);
    m_locked = false;
}

bool LedgerFile::StillAtPath(const std::string& path, bool& same, std::string& error) const {
    struct stat open {};
    struct stat named {};
    if (fstat(static_cast<int>(m_handle), &open) != 0) {
        error = Reason("cannot look at the open ledger");
        return false;
    }
    if (stat(path.c_str(), &named) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            error = Reason(("cannot look at the ledger " + path).c_str());
            return false;
        }
        same = false; // deleted, or moved away
        return true;
    }
    same = open.st_nlink > 0 && open.st_dev == named.st_dev && open.st_ino == named.st_ino;
    return true;
}

uint64_t LedgerFile::Size(std::string& error, bool& ok) const {
    struct stat st {};
    ok = fstat(static_cast<int>(m_handle), &st) == 0;
    if (!ok)
        error = Reason("cannot read the ledger's size");
    return ok ? static_cast<uint64_t>(st.st_size) : 0;
}

bool LedgerFile::ReadFrom(uint64_t offset, std::string& text, std::string& error) const {
    text.clear();
    char chunk[65536];
    for (;;) {
        const ssize_t n = pread(static_cast<int>(m_handle), chunk, sizeof chunk, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = Reason("cannot read the ledger");
            return false;
        }
        if (n == 0)
            return true;
        text.append(chunk, static_cast<size_t>(n));
        offset += static_cast<uint64_t>(n);
    }
}

bool LedgerFile::AppendSynced(const std::string& bytes, std::string& error) {
    const int fd = static_cast<int>(m_handle);
    ssize_t n;
    do
        n = write(fd, bytes.data(), bytes.size());
    while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(bytes.size())) {
        // A short write leaves a torn line, which readers skip; the next record starts on a line of its own.
        error = n < 0 ? Reason("cannot write the ledger") : "the ledger took only part of a record (disk full?)";
        return false;
    }
    if (fsync(fd) != 0) {
        error = Reason("cannot sync the ledger to the disk");
        return false;
    }
    return true;
}

bool ReadWholeLedger(const std::string& path, std::string& text, std::string& error) {
    const int fd = OpenRegular(path, O_RDONLY, error);
    if (fd < 0)
        return false;
    text.clear();
    char chunk[65536];
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) != 0) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = Reason(("cannot read the ledger " + path).c_str());
            close(fd);
            return false;
        }
        text.append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

} // namespace ledger_file

namespace ledger_file {

bool MakePrivateFolder(const std::string& path, std::string& error) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        error = Reason(("cannot create the folder " + path).c_str());
        return false;
    }
    // Opened without following a link, so that the checks and the mode change are the folder's own.
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = errno == ELOOP || errno == ENOTDIR ? path + " is not a folder"
                                                   : Reason(("cannot open the folder " + path).c_str());
        return false;
    }
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && st.st_uid == geteuid();
    if (!ok)
        error = "the folder " + path + " belongs to another user";
    else if ((st.st_mode & 07777) != 0700 && fchmod(fd, 0700) != 0) {
        error = Reason(("cannot make the folder " + path + " private").c_str());
        ok = false;
    }
    close(fd);
    return ok;
}

} // namespace ledger_file
