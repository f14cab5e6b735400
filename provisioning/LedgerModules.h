// The modules a ledger knows, from its records in the order they were written: the ones programmed,
// and the numbers whose attempts failed, which a retry of the same module takes again. A module is
// known by its Bluetooth address where it has one, otherwise by the name this ledger gave it.
#pragma once

#include "LedgerRecord.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace provisioning {

// A module as the ledger has it: its number and the name it was to get with it ("" without one).
struct LedgerModule {
    std::int64_t n = 0;
    std::string name;
};

class LedgerModules {
public:
    // Each record in the order of the file. A record taken once more after the ones before it (one's
    // own result, taken as it is written and again as it is read back) leaves what it left.
    void Take(const LedgerRecord& record);

    // The module programmed with this address (or, without one, under this current name).
    std::optional<LedgerModule> Programmed(const std::string& bluetooth, const std::string& name) const;

    // The number a retry of this module takes again, 0 for a new one: the latest number of this
    // address, or (without one) whose attempt gave the module the name it has now, when its last
    // attempt failed and none programmed it. A name a programmed module has too says nothing of
    // which module this is, and a number with an attempt started since is another's to finish.
    std::int64_t Retry(const std::string& bluetooth, const std::string& name) const;

private:
    struct Number {
        bool programmed = false;
        bool failedLast = false; // its latest record is a failure
    };
    std::map<std::int64_t, Number> m_numbers;
    std::map<std::string, LedgerModule> m_doneAddresses;
    std::map<std::string, LedgerModule> m_doneNames;
    std::map<std::string, std::int64_t> m_failedAddresses; // the latest failed number of each
    std::map<std::string, std::int64_t> m_failedNames;
};

} // namespace provisioning
