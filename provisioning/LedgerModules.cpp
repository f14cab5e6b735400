#include "LedgerModules.h"

namespace provisioning {

void LedgerModules::Take(const LedgerRecord& record) {
    if (record.n == 0)
        return; // a skip, or a failure before any number was taken: no module of the ledger's
    Number& number = m_numbers[record.n];
    if (record.event == kLedgerStarted) {
        number.failedLast = false;
    } else if (record.event == kResultProgrammed || record.event == kResultSent) {
        number.programmed = true;
        number.failedLast = false;
        const LedgerModule module{record.n, record.nameAfter};
        // Programmed since it failed: the module is done, whichever number its failure had.
        if (!record.bluetooth.empty()) {
            m_doneAddresses[record.bluetooth] = module;
            m_failedAddresses.erase(record.bluetooth);
        }
        if (!record.nameAfter.empty()) {
            m_doneNames[record.nameAfter] = module;
            m_failedNames.erase(record.nameAfter);
        }
    } else if (record.event == kResultFailed) {
        number.failedLast = true;
        if (!record.bluetooth.empty())
            m_failedAddresses[record.bluetooth] = record.n;
        if (!record.nameAfter.empty())
            m_failedNames[record.nameAfter] = record.n;
    }
}

std::optional<LedgerModule> LedgerModules::Programmed(const std::string& bluetooth, const std::string& name) const {
    // By the address first; then by the name, so that a module programmed where its address was not
    // known (through its serial pins) is still known as done when it comes back over Bluetooth.
    if (const auto found = m_doneAddresses.find(bluetooth); !bluetooth.empty() && found != m_doneAddresses.end())
        return found->second;
    if (const auto found = m_doneNames.find(name); !name.empty() && found != m_doneNames.end())
        return found->second;
    return std::nullopt;
}

std::int64_t LedgerModules::Retry(const std::string& bluetooth, const std::string& name) const {
    std::int64_t n = 0;
    if (!bluetooth.empty()) {
        const auto found = m_failedAddresses.find(bluetooth);
        n = found == m_failedAddresses.end() ? 0 : found->second;
    } else if (!name.empty() && m_doneNames.count(name) == 0) {
        const auto found = m_failedNames.find(name);
        n = found == m_failedNames.end() ? 0 : found->second;
    }
    const auto number = m_numbers.find(n);
    if (number == m_numbers.end() || number->second.programmed || !number->second.failedLast)
        return 0;
    return n;
}

} // namespace provisioning
