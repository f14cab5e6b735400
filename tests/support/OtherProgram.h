// Another program that holds a file open, as a terminal program or a stray cat would: a child process
// with the file on one of its descriptors, ended (and reaped) when the object goes.
#pragma once

#include "TempDir.h"

#include <string>
#include <vector>
#include <sys/types.h>

class OtherProgram {
public:
    // Opens path plainly for reading and writing, taking no lock of any kind.
    explicit OtherProgram(const std::string& path);
    // A program that has already ended, so that its PID names no process.
    OtherProgram();
    ~OtherProgram();
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    bool m_running = false;
};

// Another program holding a process's (POSIX) lock on the whole of a file, as a stuck program or a
// script with lockf would, until the test lets it go: a child process, whose PID the lock names.
class FileLockHolder {
public:
    explicit FileLockHolder(const std::string& path);
    ~FileLockHolder() { Release(); }
    FileLockHolder(const FileLockHolder&) = delete;
    FileLockHolder& operator=(const FileLockHolder&) = delete;

    // Whether the child took the lock (false when another holds it).
    bool Locked() const { return m_locked; }
    pid_t Pid() const { return m_pid; }
    // The child lets go and ends; it is reaped before this returns.
    void Release();

private:
    int m_release = -1; // the child holds the lock until this pipe closes
    pid_t m_pid = -1;
    bool m_locked = false;
};

// A lock folder of the test's own, world-writable and sticky as /run/lock is, in place of the
// system's while the object lives.
class PrivateLockFolder {
public:
    PrivateLockFolder();
    ~PrivateLockFolder();
    PrivateLockFolder(const PrivateLockFolder&) = delete;
    PrivateLockFolder& operator=(const PrivateLockFolder&) = delete;

    const std::string& Path() const { return m_dir.Path(); }
    // The names in the folder, sorted.
    std::vector<std::string> Entries() const;

private:
    TempDir m_dir{false};
    std::vector<std::string> m_previous;
};

// Where minicom, cu and this program put the UUCP lock of a device, e.g. /run/lock/LCK..pts_3 (in
// the first lock folder in use).
std::string UucpLockPath(const std::string& devicePath);
// Writes a lock naming pid the way those programs do; false when the lock directory is closed to us.
bool WriteUucpLock(const std::string& devicePath, pid_t pid);
