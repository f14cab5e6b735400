// The production ledger as a file several stations share: records appended whole, and a module's number
// taken with a "started" record before anything is programmed, so a station killed half-way never hands
// its number or its name to another module.
#pragma once

#include "LedgerFile.h"
#include "LedgerRecord.h"

#include <functional>
#include <mutex>
#include <set>
#include <string>

namespace provisioning {

// The ledger a station or a program run appends to. Safe to use from the jobs' threads at once; across
// processes the file's lock keeps each read-and-append whole.
class Ledger {
public:
    // Opens (creating it with its header) and reads what is there; false with the reason when the file
    // cannot be used, then nothing may be programmed.
    bool Open(const std::string& path, std::string& error);

    // Takes the next number (one past the highest any record holds) and appends the "started" record
    // under the file's lock. nameFor gives the name the module is to get with that number, or false
    // with the reason it cannot (then nothing is written). record.n and record.nameAfter are filled in.
    using NameForNumber = std::function<bool(long n, std::string& name, std::string& error)>;
    bool Start(LedgerRecord& record, const NameForNumber& nameFor, std::string& error);
    // Appends a result or any other record whole, synced to the disk before it returns.
    bool Append(const LedgerRecord& record, std::string& error);

    // Whether a module with this address (or, without one, this current name) was programmed before,
    // by this or any other station writing the file.
    bool WasProgrammed(const std::string& bluetooth, const std::string& name, bool& programmed, std::string& error);

private:
    // Reads what other stations appended since the last look; called with the file locked.
    bool CatchUp(std::string& error);
    bool AppendLocked(const std::string& line, std::string& error);

    std::mutex m_lock; // the file's lock is the process's; threads take turns here first
    ledger_file::LedgerFile m_file;
    LedgerFormat m_format = LedgerFormat::JsonLines;
    uint64_t m_consumed = 0; // bytes read up to the end of the last whole line
    long m_highest = 0;
    std::set<std::string> m_doneAddresses;
    std::set<std::string> m_doneNames;
};

} // namespace provisioning
