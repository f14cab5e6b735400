#include "Ledger.h"

#include <algorithm>

namespace provisioning {

bool Ledger::Open(const std::string& path, std::string& error) {
    if (!LedgerFormatOf(path, m_format, error) || !m_file.Open(path, error))
        return false;
    const std::lock_guard<std::mutex> lock(m_lock);
    if (!m_file.Lock(error))
        return false;
    bool ok = true;
    const uint64_t size = m_file.Size(error, ok);
    if (ok && size == 0 && m_format == LedgerFormat::Csv)
        ok = m_file.AppendSynced(CsvHeader(), error);
    if (ok && m_format == LedgerFormat::Csv) {
        std::string first;
        ok = m_file.ReadFrom(0, first, error);
        // Appending our columns to another table would spoil both.
        if (ok && first.compare(0, CsvHeader().size(), CsvHeader()) != 0) {
            error = "the ledger " + path + " does not begin with the ledger's header line";
            ok = false;
        }
    }
    ok = ok && CatchUp(error);
    m_file.Unlock();
    return ok;
}

bool Ledger::CatchUp(std::string& error) {
    std::string text;
    if (!m_file.ReadFrom(m_consumed, text, error))
        return false;
    const size_t lastFeed = text.rfind('\n');
    if (lastFeed == std::string::npos)
        return true; // nothing whole yet; a torn tail stays unread until a line feed follows it
    const LedgerContents contents = ParseLedger(std::string_view(text).substr(0, lastFeed + 1), m_format);
    for (const LedgerRecord& record : contents.records) {
        m_highest = std::max(m_highest, record.n);
        if (record.event == kLedgerDone) {
            if (!record.bluetooth.empty())
                m_doneAddresses.insert(record.bluetooth);
            if (!record.nameAfter.empty())
                m_doneNames.insert(record.nameAfter);
        }
    }
    m_consumed += lastFeed + 1;
    return true;
}

bool Ledger::AppendLocked(const std::string& line, std::string& error) {
    bool ok = true;
    const uint64_t size = m_file.Size(error, ok);
    if (!ok)
        return false;
    std::string last;
    if (size > 0 && !m_file.ReadFrom(size - 1, last, error))
        return false;
    // Never glued onto a torn line: a record starts on a line of its own.
    return m_file.AppendSynced(!last.empty() && last.back() != '\n' ? "\n" + line : line, error);
}

bool Ledger::Start(LedgerRecord& record, const NameForNumber& nameFor, std::string& error) {
    const std::lock_guard<std::mutex> lock(m_lock);
    if (!m_file.Lock(error))
        return false;
    bool ok = CatchUp(error);
    if (ok) {
        record.n = m_highest + 1;
        record.event = kLedgerStarted;
        ok = nameFor(record.n, record.nameAfter, error) && AppendLocked(FormatRecord(record, m_format), error);
    }
    if (ok) {
        m_highest = record.n;
    } else {
        // Not taken: a result recorded for this attempt must not claim the number.
        record.n = 0;
        record.nameAfter.clear();
    }
    m_file.Unlock();
    return ok;
}

bool Ledger::Append(const LedgerRecord& record, std::string& error) {
    const std::lock_guard<std::mutex> lock(m_lock);
    if (!m_file.Lock(error))
        return false;
    const bool ok = AppendLocked(FormatRecord(record, m_format), error);
    if (ok && record.event == kLedgerDone) {
        if (!record.bluetooth.empty())
            m_doneAddresses.insert(record.bluetooth);
        if (!record.nameAfter.empty())
            m_doneNames.insert(record.nameAfter);
    }
    m_file.Unlock();
    return ok;
}

bool Ledger::WasProgrammed(const std::string& bluetooth, const std::string& name, bool& programmed,
                           std::string& error) {
    const std::lock_guard<std::mutex> lock(m_lock);
    if (!m_file.Lock(error))
        return false;
    const bool ok = CatchUp(error);
    m_file.Unlock();
    programmed = ok && (!bluetooth.empty() ? m_doneAddresses.count(bluetooth) > 0 : m_doneNames.count(name) > 0);
    return ok;
}

} // namespace provisioning
