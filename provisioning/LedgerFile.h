// The ledger file as the operating system keeps it: opened for appending only, locked against other
// processes (stations on other machines sharing the file on a network drive included) while a record
// is read and written, each record written at once and synced to the disk. One file per platform
// (LedgerFilePosix.cpp with fcntl locks, LedgerFileWin32.cpp with LockFileEx), chosen by CMake.
#pragma once

#include <cstdint>
#include <string>

namespace ledger_file {

class LedgerFile {
public:
    LedgerFile() = default;
    ~LedgerFile();
    LedgerFile(const LedgerFile&) = delete;
    LedgerFile& operator=(const LedgerFile&) = delete;

    // Opens or creates the file (UTF-8 path), for appending and reading.
    bool Open(const std::string& path, std::string& error);
    // Waits for the whole file's exclusive lock; Unlock gives it back.
    bool Lock(std::string& error);
    void Unlock();
    uint64_t Size(std::string& error, bool& ok) const;
    // Bytes from offset to the end of the file.
    bool ReadFrom(uint64_t offset, std::string& text, std::string& error) const;
    // The bytes in one write at the end of the file, then synced; false unless every byte is on disk.
    bool AppendSynced(const std::string& bytes, std::string& error);

private:
    intptr_t m_handle = -1;
    bool m_locked = false;
};

// The whole file, for reading a ledger back without taking part in it.
bool ReadWholeLedger(const std::string& path, std::string& text, std::string& error);

} // namespace ledger_file
