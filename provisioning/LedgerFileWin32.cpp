#include "LedgerFile.h"
#include "WideText.h"

#include <windows.h>

namespace ledger_file {

namespace {

std::string Reason(const std::string& what) {
    return what + " (Windows error " + std::to_string(GetLastError()) + ")";
}

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Shared for reading and writing: every station appends, each under the lock.
HANDLE OpenShared(const std::string& path, DWORD access, DWORD disposition) {
    return CreateFileW(wide_text::Utf8ToWide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool ReadAt(HANDLE file, uint64_t offset, std::string& text, std::string& error) {
    text.clear();
    char chunk[65536];
    for (;;) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD n = 0;
        if (!ReadFile(file, chunk, sizeof chunk, &n, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF)
                return true;
            error = Reason("cannot read the ledger");
            return false;
        }
        if (n == 0)
            return true;
        text.append(chunk, n);
        offset += n;
    }
}

} // namespace

LedgerFile::~LedgerFile() {
    if (m_handle != -1) {
        Unlock();
        CloseHandle(AsHandle(m_handle));
    }
}

bool LedgerFile::Open(const std::string& path, bool create, std::string& error) {
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end of the file.
    const HANDLE file = OpenShared(path, GENERIC_READ | FILE_APPEND_DATA, create ? OPEN_ALWAYS : OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        error = Reason("cannot open the ledger " + path);
        return false;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        error = "the ledger " + path + " is not a regular file";
        return false;
    }
    m_handle = reinterpret_cast<intptr_t>(file);
    return true;
}

LockTry LedgerFile::TryLock(std::string& error) {
    OVERLAPPED whole{};
    if (LockFileEx(AsHandle(m_handle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                   &whole)) {
        m_locked = true;
        return LockTry::Taken;
    }
    if (GetLastError() == ERROR_LOCK_VIOLATION || GetLastError() == ERROR_IO_PENDING)
        return LockTry::Busy;
    error = Reason("cannot lock the ledger");
    return LockTry::Failed;
}

// Windows does not tell who holds a byte-range lock.
LockHolder LedgerFile::Holder() const {
    return {};
}

void LedgerFile::Unlock() {
    if (m_locked) {
        OVERLAPPED whole{};
        UnlockFileEx(AsHandle(m_handle), 0, MAXDWORD, MAXDWORD, &whole);
    }
    m_locked = false;
}

// Our open shares no deletion, so Windows refuses a rename over the file or its deletion while it is
// open; a server that allows them all the same (a Samba share with POSIX semantics) is caught here by
// the file's identity: its volume and its index on it.
bool LedgerFile::StillAtPath(const std::string& path, bool& same, std::string& error) const {
    BY_HANDLE_FILE_INFORMATION open{};
    if (!GetFileInformationByHandle(AsHandle(m_handle), &open)) {
        error = Reason("cannot look at the open ledger");
        return false;
    }
    const HANDLE named = CreateFileW(wide_text::Utf8ToWide(path).c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (named == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) {
            error = Reason("cannot look at the ledger " + path);
            return false;
        }
        same = false; // deleted, or moved away
        return true;
    }
    BY_HANDLE_FILE_INFORMATION now{};
    const bool ok = GetFileInformationByHandle(named, &now) != 0;
    if (!ok)
        error = Reason("cannot look at the ledger " + path);
    CloseHandle(named);
    same = ok && open.nNumberOfLinks > 0 && open.dwVolumeSerialNumber == now.dwVolumeSerialNumber &&
           open.nFileIndexHigh == now.nFileIndexHigh && open.nFileIndexLow == now.nFileIndexLow;
    return ok;
}

uint64_t LedgerFile::Size(std::string& error, bool& ok) const {
    LARGE_INTEGER size{};
    ok = GetFileSizeEx(AsHandle(m_handle), &size) != 0;
    if (!ok)
        error = Reason("cannot read the ledger's size");
    return ok ? static_cast<uint64_t>(size.QuadPart) : 0;
}

bool LedgerFile::ReadFrom(uint64_t offset, std::string& text, std::string& error) const {
    return ReadAt(AsHandle(m_handle), offset, text, error);
}

bool LedgerFile::AppendSynced(const std::string& bytes, std::string& error) {
    DWORD written = 0;
    if (!WriteFile(AsHandle(m_handle), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        error = Reason("cannot write the ledger");
        return false;
    }
    if (!FlushFileBuffers(AsHandle(m_handle))) {
        error = Reason("cannot sync the ledger to the disk");
        return false;
    }
    return true;
}

bool ReadWholeLedger(const std::string& path, std::string& text, std::string& error) {
    const HANDLE file = OpenShared(path, GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        error = Reason("cannot open the ledger " + path);
        return false;
    }
    const bool ok = ReadAt(file, 0, text, error);
    CloseHandle(file);
    return ok;
}

} // namespace ledger_file

namespace ledger_file {

bool MakePrivateFolder(const std::string& path, std::string& error) {
    const std::wstring wide = wide_text::Utf8ToWide(path);
    if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        error = Reason("cannot create the folder " + path);
        return false;
    }
    // A junction or link planted under the name would send the files elsewhere. A new folder takes its
    // parent's access, as the ledger beside it does.
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        error = path + " is not a folder";
        return false;
    }
    return true;
}

} // namespace ledger_file
