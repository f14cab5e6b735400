#include "Ledger.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>

namespace zk405_cli {

namespace {

using Json = nlohmann::json;

constexpr size_t kCsvFields = 15;

bool EndsWith(std::string lower, const std::string& suffix) {
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower.size() > suffix.size() && lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string Join(const std::vector<std::string>& items, char separator) {
    std::string joined;
    for (const std::string& item : items) {
        if (!joined.empty())
            joined += separator;
        joined += item;
    }
    return joined;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> items;
    if (text.empty())
        return items;
    size_t start = 0;
    for (size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1)
        items.push_back(text.substr(start, end - start));
    items.push_back(text.substr(start));
    return items;
}

std::string SecondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

// A module's name is the module's to choose: "=HYPERLINK(...)" must stay text in a spreadsheet.
std::string CsvField(const std::string& value) {
    std::string field = value;
    if (!field.empty() && std::string_view("=+-@'\t\r").find(field[0]) != std::string_view::npos)
        field.insert(0, 1, '\'');
    if (field.find_first_of(",\"\r\n'") == std::string::npos)
        return field;
    std::string quoted = "\"";
    for (const char c : field) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string CsvUnescape(std::string field) {
    if (!field.empty() && field[0] == '\'')
        field.erase(0, 1);
    return field;
}

// RFC 4180 fields of one line (line feeds inside quotes are never written: values hold no control
// characters, and messages are the program's own).
bool SplitCsv(std::string_view line, std::vector<std::string>& fields) {
    fields.clear();
    std::string field;
    bool quoted = false, wasQuoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"' && field.empty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == ',') {
            fields.push_back(CsvUnescape(field));
            field.clear();
            wasQuoted = false;
        } else if (wasQuoted) {
            return false; // text after a closing quote
        } else {
            field += c;
        }
    }
    if (quoted)
        return false;
    fields.push_back(CsvUnescape(field));
    return true;
}

bool ToNumber(const std::string& text, long& value) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789-") != std::string::npos)
        return false;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return *end == '\0';
}

bool KnownEvent(const std::string& event) {
    return event == kLedgerStarted || event == kLedgerDone || event == kLedgerFailed || event == kLedgerSkipped;
}

bool ParseCsv(std::string_view line, LedgerRecord& out) {
    std::vector<std::string> f;
    if (!SplitCsv(line, f) || f.size() != kCsvFields)
        return false;
    LedgerRecord r;
    long status = -1;
    r.time = f[0];
    r.station = f[1];
    r.attempt = f[2];
    r.event = f[3];
    if (!KnownEvent(r.event) || r.attempt.empty() || !ToNumber(f[4], r.n) || r.n < 0)
        return false;
    r.port = f[5];
    r.device = f[6];
    r.bluetooth = f[7];
    r.nameBefore = f[8];
    r.nameAfter = f[9];
    r.settings = Split(f[10], ';');
    r.result = f[11];
    if (!f[12].empty() && !ToNumber(f[12], status))
        return false;
    r.status = static_cast<int>(status);
    r.message = f[13];
    char* end = nullptr;
    r.seconds = f[14].empty() ? 0 : std::strtod(f[14].c_str(), &end);
    if (end != nullptr && *end != '\0')
        return false;
    out = std::move(r);
    return true;
}

bool ParseJson(std::string_view line, LedgerRecord& out) {
    const Json json = Json::parse(line.begin(), line.end(), nullptr, false);
    if (!json.is_object())
        return false;
    LedgerRecord r;
    const auto text = [&](const char* key, std::string& value) {
        const auto it = json.find(key);
        if (it == json.end())
            return true;
        if (!it->is_string())
            return false;
        value = it->get<std::string>();
        return true;
    };
    if (!text("time", r.time) || !text("station", r.station) || !text("attempt", r.attempt) ||
        !text("event", r.event) || !text("port", r.port) || !text("device", r.device) ||
        !text("bluetooth", r.bluetooth) || !text("name_before", r.nameBefore) || !text("name_after", r.nameAfter) ||
        !text("result", r.result) || !text("message", r.message))
        return false;
    if (!KnownEvent(r.event) || r.attempt.empty())
        return false;
    const auto n = json.find("n");
    if (n != json.end()) {
        if (!n->is_number_integer() || n->get<long>() < 0)
            return false;
        r.n = n->get<long>();
    }
    const auto status = json.find("status");
    if (status != json.end()) {
        if (!status->is_number_integer())
            return false;
        r.status = status->get<int>();
    }
    const auto seconds = json.find("seconds");
    if (seconds != json.end()) {
        if (!seconds->is_number())
            return false;
        r.seconds = seconds->get<double>();
    }
    const auto settings = json.find("settings");
    if (settings != json.end()) {
        if (!settings->is_array())
            return false;
        for (const Json& item : *settings) {
            if (!item.is_string())
                return false;
            r.settings.push_back(item.get<std::string>());
        }
    }
    out = std::move(r);
    return true;
}

std::string Trimmed(std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return std::string(line);
}

} // namespace

bool LedgerFormatOf(const std::string& path, LedgerFormat& format, std::string& error) {
    if (EndsWith(path, ".csv")) {
        format = LedgerFormat::Csv;
        return true;
    }
    if (EndsWith(path, ".jsonl")) {
        format = LedgerFormat::JsonLines;
        return true;
    }
    error = "the ledger " + path + " must end in .csv or .jsonl";
    return false;
}

const std::string& CsvHeader() {
    static const std::string header = "time,station,attempt,event,n,port,device,bluetooth,name_before,name_after,"
                                      "settings,result,status,message,seconds\n";
    return header;
}

std::string FormatRecord(const LedgerRecord& r, LedgerFormat format) {
    const bool started = r.event == kLedgerStarted;
    if (format == LedgerFormat::Csv) {
        const std::vector<std::string> fields = {
            r.time, r.station, r.attempt, r.event, std::to_string(r.n), r.port, r.device, r.bluetooth, r.nameBefore,
            r.nameAfter, Join(r.settings, ';'), r.result, started ? "" : std::to_string(r.status), r.message,
            started ? "" : SecondsText(r.seconds)};
        std::string line;
        for (const std::string& field : fields) {
            if (!line.empty() || &field != &fields.front())
                line += ',';
            line += CsvField(field);
        }
        return line + "\n";
    }
    Json json = {{"time", r.time},       {"station", r.station}, {"attempt", r.attempt},
                 {"event", r.event},     {"n", r.n},             {"port", r.port},
                 {"device", r.device},   {"name_before", r.nameBefore}, {"name_after", r.nameAfter},
                 {"settings", r.settings}};
    if (!r.bluetooth.empty())
        json["bluetooth"] = r.bluetooth;
    if (!started) {
        json["result"] = r.result;
        json["status"] = r.status;
        json["seconds"] = std::stod(SecondsText(r.seconds));
    }
    if (!r.message.empty())
        json["message"] = r.message;
    return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool ParseRecord(std::string_view line, LedgerFormat format, LedgerRecord& out) {
    const std::string text = Trimmed(line);
    return format == LedgerFormat::Csv ? ParseCsv(text, out) : ParseJson(text, out);
}

LedgerContents ParseLedger(std::string_view text, LedgerFormat format) {
    LedgerContents contents;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const bool whole = end != std::string_view::npos;
        const std::string_view line = text.substr(start, whole ? end - start : std::string_view::npos);
        ++contents.lines;
        LedgerRecord record;
        const bool header = format == LedgerFormat::Csv && contents.lines == 1 && whole &&
                            Trimmed(line) + "\n" == CsvHeader();
        if (header) {
        } else if (line.empty() || Trimmed(line).empty()) {
            // The line feed put before a record that followed a torn line leaves nothing to skip.
        } else if (whole && ParseRecord(line, format, record)) {
            contents.records.push_back(std::move(record));
        } else {
            contents.badLines.push_back(contents.lines);
        }
        start = whole ? end + 1 : text.size();
    }
    return contents;
}

std::string LedgerTime() {
    // The C++20 calendar instead of gmtime_r or gmtime_s, which differ between the platforms.
    const auto now = std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
    const auto days = std::chrono::floor<std::chrono::days>(now);
    const std::chrono::year_month_day date{days};
    const std::chrono::hh_mm_ss time{now - days};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return text;
}

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

LedgerSummary Summarize(const LedgerContents& contents) {
    LedgerSummary summary;
    summary.badLines = contents.badLines.size();
    std::map<std::string, bool> resolved; // attempt -> a result followed its start
    std::map<std::string, size_t> failures;
    for (const LedgerRecord& record : contents.records) {
        summary.lastNumber = std::max(summary.lastNumber, record.n);
        if (record.event == kLedgerStarted) {
            resolved.emplace(record.attempt, false);
            continue;
        }
        resolved[record.attempt] = true;
        if (record.event == kLedgerDone)
            ++summary.programmed;
        else if (record.event == kLedgerSkipped)
            ++summary.skipped;
        else
            ++failures[record.message.empty() ? "(no reason given)" : record.message];
    }
    for (const auto& [attempt, done] : resolved)
        summary.interrupted += done ? 0 : 1;
    summary.failures.assign(failures.begin(), failures.end());
    std::stable_sort(summary.failures.begin(), summary.failures.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return summary;
}

} // namespace zk405_cli
