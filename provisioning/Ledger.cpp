#include "Ledger.h"

#include <algorithm>

namespace provisioning {

namespace {

// The first key of every JSON record this program writes (the keys go out in order): a first line
// cut off by a crash begins so too.
constexpr std::string_view kJsonRecordStart = R"({"attempt":")";

// Whether text begins as a ledger does; appending our records to another program's file would spoil
// both, and numbering from a file that holds none would start again from 1.
bool BeginsAsLedger(std::string_view text, LedgerFormat format) {
    if (format == LedgerFormat::Csv)
        return text.substr(0, CsvHeader().size()) == CsvHeader();
    if (text.empty())
        return true;
    const std::string_view first = text.substr(0, text.find('\n'));
    LedgerRecord record;
    return first.substr(0, kJsonRecordStart.size()) == kJsonRecordStart.substr(0, first.size()) ||
           ParseRecord(first, format, record);
}

// What --skip-done leaves alone: a module programmed, or sent its settings without their answers
// being looked at, as ledgers have counted it done from the first station.
bool Done(const LedgerRecord& record) {
    return record.event == kResultProgrammed || record.event == kResultSent;
}

// The current file is unlocked on every way out, whichever file that is by then.
class UnlockOnExit {
public:
    explicit UnlockOnExit(std::unique_ptr<ledger_file::LedgerFile>& file) : m_file(file) {}
    ~UnlockOnExit() {
        if (m_file)
            m_file->Unlock();
    }
    UnlockOnExit(const UnlockOnExit&) = delete;
    UnlockOnExit& operator=(const UnlockOnExit&) = delete;

private:
    std::unique_ptr<ledger_file::LedgerFile>& m_file;
};

} // namespace

bool Ledger::Open(const std::string& path, std::string& error) {
    if (!LedgerFormatOf(path, m_format, error))
        return false;
    const std::lock_guard<std::mutex> lock(m_lock);
    m_path = path;
    auto file = std::make_unique<ledger_file::LedgerFile>();
    if (!file->Open(path, true, error) || !LockFile(*file, true, error))
        return false;
    m_file = std::move(file);
    const UnlockOnExit unlock(m_file);
    return Prepare(error) && CatchUp(error);
}

bool Ledger::Prepare(std::string& error) {
    bool ok = true;
    const uint64_t size = m_file->Size(error, ok);
    return ok && (size > 0 || m_format != LedgerFormat::Csv || m_file->AppendSynced(CsvHeader(), error));
}

bool Ledger::Refuse(const std::string& reason, std::string& error) {
    if (m_refusal.empty())
        m_refusal = reason;
    error = m_refusal;
    return false;
}

bool Ledger::LockCurrent(bool stoppable, std::string& error) {
    if (!m_refusal.empty())
        return Refuse(m_refusal, error);
    if (!m_file) {
        error = "the ledger is not open";
        return false;
    }
    return LockFile(*m_file, stoppable, error) && FollowReplaced(stoppable, error);
}

// A file renamed over the ledger (an editor's or a sync tool's save) is followed, so that records go
// where every later reader looks. It must hold every number the replaced file held: a copy made
// before this station's last records would have their numbers given again.
bool Ledger::FollowReplaced(bool stoppable, std::string& error) {
    bool same = true;
    if (!m_file->StillAtPath(m_path, same, error))
        return false;
    if (same)
        return true;
    if (!CatchUp(error)) // whatever the replaced file holds, with this lock still on it
        return false;
    auto fresh = std::make_unique<ledger_file::LedgerFile>();
    if (!fresh->Open(m_path, false, error))
        return Refuse("the ledger " + m_path + " was deleted or replaced while in use, and " + error, error);
    if (!LockFile(*fresh, stoppable, error))
        return false;
    const std::int64_t before = m_highest;
    m_file = std::move(fresh); // the replaced file is closed, and its lock goes with it
    m_consumed = 0;
    m_lines = 0;
    m_unreadableLine = 0;
    m_highest = 0;
    if (!Prepare(error) || !CatchUp(error))
        return false;
    if (m_highest < before) {
        const std::string reached = std::to_string(m_highest);
        m_highest = before;
        return Refuse("the ledger " + m_path + " was replaced while in use by a file whose numbers end at " +
                          reached + ", while the one it replaced reached " + std::to_string(before) +
                          ": its records since are missing from it, and their numbers could be given again",
                      error);
    }
    return true;
}

bool Ledger::CatchUp(std::string& error) {
    std::string text;
    if (!m_file->ReadFrom(m_consumed, text, error))
        return false;
    if (m_consumed == 0 && !BeginsAsLedger(text, m_format))
        return Refuse("the ledger " + m_path +
                          (m_format == LedgerFormat::Csv ? " does not begin with the ledger's header line"
                                                         : " does not begin with a ledger record"),
                      error);
    // A torn tail stays unread until a line feed follows it.
    const LedgerContents contents = ParseLedger(text, m_format);
    for (const LedgerRecord& record : contents.records) {
        m_highest = std::max(m_highest, record.n);
        m_modules.Take(record);
    }
    if (m_unreadableLine == 0 && !contents.unreadable.empty())
        m_unreadableLine = m_lines + contents.unreadable.front();
    m_lines += static_cast<size_t>(std::count(text.begin(), text.begin() + contents.whole, '\n'));
    m_consumed += contents.whole;
    return true;
}

// A record that cannot be read may be the one holding the highest number, or the module's "done".
bool Ledger::Readable(std::string& error) const {
    if (m_unreadableLine == 0)
        return true;
    error = "line " + std::to_string(m_unreadableLine) + " of the ledger " + m_path +
            " is a record that cannot be read; no number is taken until it is mended";
    return false;
}

bool Ledger::AppendLocked(const std::string& line, std::string& error) {
    bool ok = true;
    const uint64_t size = m_file->Size(error, ok);
    if (!ok)
        return false;
    std::string last;
    if (size > 0 && !m_file->ReadFrom(size - 1, last, error))
        return false;
    // Never glued onto a torn line: a record starts on a line of its own.
    return m_file->AppendSynced(!last.empty() && last.back() != '\n' ? "\n" + line : line, error);
}

bool Ledger::Start(LedgerRecord& record, const NameForNumber& nameFor, std::string& error) {
    const std::lock_guard<std::mutex> lock(m_lock);
    bool ok = LockCurrent(true, error);
    const UnlockOnExit unlock(m_file);
    ok = ok && CatchUp(error) && Readable(error);
    const std::int64_t retry = ok ? m_modules.Retry(record.bluetooth, record.nameBefore) : 0;
    if (ok && retry == 0 && m_highest >= kLedgerMaxNumber) {
        error = "the ledger " + m_path + " has used up its numbers (the last is " + std::to_string(m_highest) + ")";
        ok = false;
    }
    if (ok) {
        record.n = retry != 0 ? retry : m_highest + 1;
        record.event = kLedgerStarted;
        ok = nameFor(record.n, record.nameAfter, error) && AppendLocked(FormatRecord(record, m_format), error);
    }
    bool same = true;
    ok = ok && m_file->StillAtPath(m_path, same, error);
    if (ok && !same) {
        // Replaced while the record went out: it may be in the replaced file only, so the number is not
        // the module's; the next call follows the new file.
        error = "the ledger " + m_path + " was replaced while a number was taken";
        ok = false;
    }
    if (ok) {
        m_highest = std::max(m_highest, record.n);
    } else {
        // Not taken: a result recorded for this attempt must not claim the number.
        record.n = 0;
        record.nameAfter.clear();
    }
    return ok;
}

bool Ledger::Append(const LedgerRecord& record, std::string& error) {
    const std::lock_guard<std::mutex> lock(m_lock);
    // A programmed module's result: worth the whole wait even after a stop.
    bool ok = LockCurrent(false, error);
    const UnlockOnExit unlock(m_file);
    ok = ok && AppendLocked(FormatRecord(record, m_format), error);
    // Known as programmed at once, even should the file be replaced by one that lacks the record.
    if (ok && Done(record))
        m_modules.Take(record);
    return ok;
}

bool Ledger::WasProgrammed(const std::string& bluetooth, const std::string& name,
                           std::optional<LedgerModule>& programmed, std::string& error) {
    const std::lock_guard<std::mutex> lock(m_lock);
    bool ok = LockCurrent(true, error);
    const UnlockOnExit unlock(m_file);
    ok = ok && CatchUp(error) && Readable(error);
    programmed = ok ? m_modules.Programmed(bluetooth, name) : std::nullopt;
    return ok;
}

} // namespace provisioning
