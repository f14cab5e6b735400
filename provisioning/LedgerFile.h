// The ledger file as the operating system keeps it: opened for appending only, locked against other
// processes (stations on other machines sharing the file on a network drive included) while a record
// is read and written, each record written at once and synced to the disk. One file per platform
// (LedgerFilePosix.cpp with fcntl locks, LedgerFileWin32.cpp with LockFileEx), chosen by CMake.
#pragma once

#include <cstdint>
#include <string>

namespace ledger_file {

enum class LockTry { Taken, Busy, Failed };

// Who holds the lock, where the system tells: a process's own (POSIX) lock names its PID; the lock of
// an open file, which this program takes, and a Windows lock name none (pid 0).
struct LockHolder {
    long long pid = 0;
    std::string program; // as ps shows it; empty when unknown
};

class LedgerFile {
public:
    LedgerFile() = default;
    ~LedgerFile();
    LedgerFile(const LedgerFile&) = delete;
    LedgerFile& operator=(const LedgerFile&) = delete;

    // Opens (or, with create, creates) the file at a UTF-8 path, for appending and reading.
    bool Open(const std::string& path, bool create, std::string& error);
    // Takes the whole file's exclusive lock unless another open holds it (Busy), without waiting:
    // the ledger's wait is bounded, tells whom it waits for and ends on a stop. Unlock gives it back.
    LockTry TryLock(std::string& error);
    LockHolder Holder() const;
    void Unlock();
    // Whether the open file is still the one at path: not deleted, nor replaced by another file renamed
    // over it (as editors and sync tools save). False with the reason when that cannot be told.
    bool StillAtPath(const std::string& path, bool& same, std::string& error) const;
    uint64_t Size(std::string& error, bool& ok) const;
    // Bytes from offset to the end of the file.
    bool ReadFrom(uint64_t offset, std::string& text, std::string& error) const;
    // The bytes in one write at the end of the file, then synced; false unless every byte is on disk.
    bool AppendSynced(const std::string& bytes, std::string& error);

private:
    intptr_t m_handle = -1;
    bool m_locked = false;
};

// A folder beside the ledger for what only its owner may read (the transcripts hold the PIN's bytes):
// created 0700 when missing; one already there must be a folder of this user's own, not a link to
// one, and is made 0700. False with the reason otherwise.
bool MakePrivateFolder(const std::string& path, std::string& error);

// The whole file, for reading a ledger back without taking part in it.
bool ReadWholeLedger(const std::string& path, std::string& text, std::string& error);

} // namespace ledger_file
