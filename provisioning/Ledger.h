// The production ledger as a file several stations share: records appended whole, and a module's number
// taken with a "started" record before anything is programmed, so a station killed half-way never hands
// its number or its name to another module.
#pragma once

#include "LedgerFile.h"
#include "LedgerModules.h"
#include "LedgerRecord.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace provisioning {

// How long the ledger waits for a lock another holds. Another station holds it for one read and one
// append: milliseconds, a second or two on a slow network drive. What holds it for half a minute is
// stuck, or is no station at all, and the run is better stopped with the reason than left hanging.
inline constexpr std::chrono::milliseconds kLedgerLockWait{30000};

// A wait for the ledger's lock, told to the front end when the lock is found held.
struct LedgerLockWait {
    std::string path;
    long long pid = 0;    // the holder, when the system names it (0 when not)
    std::string program;  // the program it runs, when known
    std::chrono::milliseconds bound{0};
    bool stoppable = true; // false while a programmed module's result waits to be recorded
};

// The ledger a station or a program run appends to. Safe to use from the jobs' threads at once; across
// processes the file's lock keeps each read-and-append whole. Every refusal is the ledger's: nothing is
// programmed on a ledger that refused, and a run ends with kExitLedger.
class Ledger {
public:
    using LockWaitReport = std::function<void(const LedgerLockWait&)>;
    // Set before Open. report hears each wait that finds the lock held, from the thread that waits
    // (it may be empty); a wait ends with the lock, after bound, or (taking a number) on a stop signal.
    void SetLockWait(LockWaitReport report, std::chrono::milliseconds bound = kLedgerLockWait);

    // Opens (creating it with its header) and reads what is there; false with the reason when the file
    // cannot be used, then nothing may be programmed. A file that is not empty must begin as a ledger
    // does: a CSV with the header line, JSON Lines with a record.
    bool Open(const std::string& path, std::string& error);
    const std::string& Path() const { return m_path; }

    // Takes the module's number and appends the "started" record under the file's lock: for a retry of
    // a module whose attempts failed (LedgerModules::Retry, by record.bluetooth, else record.nameBefore)
    // the number it had, otherwise the next (one past the highest any record holds). nameFor gives the name the module is to get with that number, or false
    // with the reason it cannot (then nothing is written). record.n and record.nameAfter are filled in.
    // Refused while the file holds a record that cannot be read (it may hold a higher number), and
    // once kLedgerMaxNumber is taken.
    using NameForNumber = std::function<bool(std::int64_t n, std::string& name, std::string& error)>;
    bool Start(LedgerRecord& record, const NameForNumber& nameFor, std::string& error);
    // Appends a result or any other record whole, synced to the disk before it returns.
    bool Append(const LedgerRecord& record, std::string& error);

    // The module with this address (or, without one, this current name) programmed before, by this or
    // any other station writing the file; programmed is empty when there is none.
    bool WasProgrammed(const std::string& bluetooth, const std::string& name, std::optional<LedgerModule>& programmed,
                       std::string& error);

private:
    bool LockFile(ledger_file::LedgerFile& file, bool stoppable, std::string& error);
    // Locks the current file and follows the path to a file renamed over it; false with the reason.
    bool LockCurrent(bool stoppable, std::string& error);
    bool FollowReplaced(bool stoppable, std::string& error);
    // A new CSV file gets its header; called with the file locked.
    bool Prepare(std::string& error);
    // Reads what other stations appended since the last look; called with the file locked.
    bool CatchUp(std::string& error);
    bool Readable(std::string& error) const;
    bool AppendLocked(const std::string& line, std::string& error);
    bool Refuse(const std::string& reason, std::string& error);

    std::mutex m_lock; // the file's lock is the process's; threads take turns here first
    std::string m_path;
    std::unique_ptr<ledger_file::LedgerFile> m_file;
    LedgerFormat m_format = LedgerFormat::JsonLines;
    LockWaitReport m_lockWaitReport;
    std::chrono::milliseconds m_lockWait = kLedgerLockWait;
    uint64_t m_consumed = 0; // bytes read up to the end of the last whole line
    size_t m_lines = 0;      // the lines in them
    size_t m_unreadableLine = 0; // the first record that cannot be read, 0 while there is none
    std::string m_refusal;       // once the ledger cannot be trusted, every call gets this
    std::int64_t m_highest = 0;
    LedgerModules m_modules;
};

} // namespace provisioning
