#include "LedgerCsv.h"
#include "LedgerRecord.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <limits>

namespace provisioning {

namespace {

using Json = nlohmann::json;
using ledger_csv::CsvField;
using ledger_csv::CsvRecordEnd;
using ledger_csv::SplitCsv;

// The ledger's columns, in their order: the CSV header, both writers and both readers follow this
// table, so a column added here is written and read everywhere at once.
enum class FieldKind { Text, Number, Status, Seconds, Settings, Steps };
enum FieldFlags : unsigned {
    kAlways = 0,
    kOmitWhenEmpty = 1, // left out of a JSON record when empty
    kResultOnly = 2,    // empty in CSV and left out of JSON in a "started" record
    kJsonOnly = 4,      // no CSV column: a CSV ledger keeps the columns every reader of it knows
};
struct Field {
    const char* name; // the CSV column and the JSON key
    FieldKind kind;
    std::string LedgerRecord::*text; // for FieldKind::Text; each other kind is one member of its own
    unsigned flags;
};
constexpr Field kFields[] = {
    {"time", FieldKind::Text, &LedgerRecord::time, kAlways},
    {"station", FieldKind::Text, &LedgerRecord::station, kAlways},
    {"attempt", FieldKind::Text, &LedgerRecord::attempt, kAlways},
    {"event", FieldKind::Text, &LedgerRecord::event, kAlways},
    {"n", FieldKind::Number, nullptr, kAlways},
    {"port", FieldKind::Text, &LedgerRecord::port, kAlways},
    {"device", FieldKind::Text, &LedgerRecord::device, kAlways},
    {"bluetooth", FieldKind::Text, &LedgerRecord::bluetooth, kOmitWhenEmpty},
    {"name_before", FieldKind::Text, &LedgerRecord::nameBefore, kAlways},
    {"name_after", FieldKind::Text, &LedgerRecord::nameAfter, kAlways},
    {"settings", FieldKind::Settings, nullptr, kAlways},
    {"result", FieldKind::Text, &LedgerRecord::result, kResultOnly},
    {"status", FieldKind::Status, nullptr, kResultOnly},
    {"message", FieldKind::Text, &LedgerRecord::message, kOmitWhenEmpty},
    {"seconds", FieldKind::Seconds, nullptr, kResultOnly},
    {"failure", FieldKind::Text, &LedgerRecord::failure, kOmitWhenEmpty | kResultOnly | kJsonOnly},
    {"transcript", FieldKind::Text, &LedgerRecord::transcript, kOmitWhenEmpty | kJsonOnly},
    {"steps", FieldKind::Steps, nullptr, kOmitWhenEmpty | kResultOnly | kJsonOnly},
};
// The CSV columns are the fields before the first one of JSON alone.
constexpr size_t kCsvColumns = [] {
    size_t columns = 0;
    while (columns < std::size(kFields) && (kFields[columns].flags & kJsonOnly) == 0)
        ++columns;
    return columns;
}();
static_assert(std::all_of(std::begin(kFields) + kCsvColumns, std::end(kFields),
                          [](const Field& field) { return (field.flags & kJsonOnly) != 0; }));

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

// Digits only, at most 18 of them: every number the writers write, in the range every reader takes.
bool ToNumber(const std::string& text, std::int64_t& value) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// A status is written as -1 (none yet) or an exit status.
bool ToStatus(const std::string& text, int& status) {
    std::int64_t value = 0;
    if (text == "-1")
        status = -1;
    else if (!ToNumber(text, value) || value > std::numeric_limits<int>::max())
        return false;
    else
        status = static_cast<int>(value);
    return true;
}

bool Omitted(const Field& field, const LedgerRecord& r) {
    return (field.flags & kResultOnly) != 0 && r.event == kLedgerStarted;
}

std::string CsvText(const Field& field, const LedgerRecord& r) {
    if (Omitted(field, r))
        return "";
    switch (field.kind) {
    case FieldKind::Text:
        return r.*field.text;
    case FieldKind::Number:
        return std::to_string(r.n);
    case FieldKind::Status:
        return std::to_string(r.status);
    case FieldKind::Seconds:
        return SecondsText(r.seconds);
    case FieldKind::Settings: {
        std::vector<std::string> both = r.settings;
        if (r.event != kLedgerStarted)
            both.insert(both.end(), r.steps.begin(), r.steps.end());
        return Join(both, ';');
    }
    case FieldKind::Steps:
        break; // in the settings column
    }
    return "";
}

bool FromCsv(const Field& field, const std::string& text, LedgerRecord& r) {
    char* end = nullptr;
    switch (field.kind) {
    case FieldKind::Text:
        r.*field.text = text;
        return true;
    case FieldKind::Number:
        return ToNumber(text, r.n) && r.n <= kLedgerMaxNumber;
    case FieldKind::Status:
        return text.empty() || ToStatus(text, r.status);
    case FieldKind::Seconds:
        r.seconds = text.empty() ? 0 : std::strtod(text.c_str(), &end);
        return end == nullptr || *end == '\0';
    case FieldKind::Settings:
        for (std::string& item : Split(text, ';'))
            (item.find('=') == std::string::npos ? r.settings : r.steps).push_back(std::move(item));
        return true;
    case FieldKind::Steps:
        return true;
    }
    return false;
}

void ToJson(const Field& field, const LedgerRecord& r, Json& json) {
    if (Omitted(field, r))
        return;
    switch (field.kind) {
    case FieldKind::Text:
        if ((field.flags & kOmitWhenEmpty) == 0 || !(r.*field.text).empty())
            json[field.name] = r.*field.text;
        return;
    case FieldKind::Number:
        json[field.name] = r.n;
        return;
    case FieldKind::Status:
        json[field.name] = r.status;
        return;
    case FieldKind::Seconds:
        json[field.name] = std::stod(SecondsText(r.seconds));
        return;
    case FieldKind::Settings:
        json[field.name] = r.settings;
        return;
    case FieldKind::Steps:
        if (!r.steps.empty())
            json[field.name] = r.steps;
        return;
    }
}

// A key that is absent leaves the field as a new record has it.
bool FromJson(const Field& field, const Json& value, LedgerRecord& r) {
    switch (field.kind) {
    case FieldKind::Text:
        if (!value.is_string())
            return false;
        r.*field.text = value.get<std::string>();
        return true;
    case FieldKind::Number:
        // A number the reader cannot hold is refused, not wrapped: JSON's non-negative integers are unsigned.
        if (!value.is_number_unsigned() || value.get<std::uint64_t>() > static_cast<std::uint64_t>(kLedgerMaxNumber))
            return false;
        r.n = static_cast<std::int64_t>(value.get<std::uint64_t>());
        return true;
    case FieldKind::Status:
        if (!value.is_number_integer() ||
            (value.is_number_unsigned() ? value.get<std::uint64_t>() > std::numeric_limits<int>::max()
                                        : value.get<std::int64_t>() < -1))
            return false;
        r.status = static_cast<int>(value.get<std::int64_t>());
        return true;
    case FieldKind::Seconds:
        if (!value.is_number())
            return false;
        r.seconds = value.get<double>();
        return true;
    case FieldKind::Settings:
    case FieldKind::Steps: {
        if (!value.is_array())
            return false;
        std::vector<std::string>& items = field.kind == FieldKind::Settings ? r.settings : r.steps;
        for (const Json& item : value) {
            if (!item.is_string())
                return false;
            items.push_back(item.get<std::string>());
        }
        return true;
    }
    }
    return false;
}

// Whether a line is a record, no record at all (torn, mangled, another program's), or a record of the
// ledger's shape that cannot be read, which may hold a number.
enum class LineKind { Record, NotARecord, Unreadable };

LineKind ParseCsv(std::string_view line, LedgerRecord& out) {
    std::vector<std::string> texts;
    if (!SplitCsv(line, texts) || texts.size() != kCsvColumns)
        return LineKind::NotARecord;
    LedgerRecord r;
    for (size_t i = 0; i < texts.size(); ++i)
        if (!FromCsv(kFields[i], texts[i], r))
            return LineKind::Unreadable;
    if (!ReadOutcomeWords(r) || r.attempt.empty())
        return LineKind::Unreadable;
    out = std::move(r);
    return LineKind::Record;
}

LineKind ParseJson(std::string_view line, LedgerRecord& out) {
    const Json json = Json::parse(line.begin(), line.end(), nullptr, false);
    if (!json.is_object())
        return LineKind::NotARecord;
    LedgerRecord r;
    for (const Field& field : kFields) {
        const auto it = json.find(field.name);
        if (it != json.end() && !FromJson(field, *it, r))
            return LineKind::Unreadable;
    }
    if (!ReadOutcomeWords(r) || r.attempt.empty())
        return LineKind::Unreadable;
    out = std::move(r);
    return LineKind::Record;
}

std::string Trimmed(std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return std::string(line);
}

LineKind Classify(std::string_view line, LedgerFormat format, LedgerRecord& out) {
    const std::string text = Trimmed(line);
    return format == LedgerFormat::Csv ? ParseCsv(text, out) : ParseJson(text, out);
}

bool IsHeader(std::string_view line, LedgerFormat format) {
    return format == LedgerFormat::Csv && Trimmed(line) + "\n" == CsvHeader();
}

// A CSV record over several lines (a quoted line feed) when it reads as one: otherwise the line is
// judged on its own, so that a torn record's open quote never swallows the records after it.
bool JoinedCsvRecord(std::string_view text, size_t start, size_t lineEnd, LedgerContents& contents) {
    const size_t end = CsvRecordEnd(text, start);
    LedgerRecord record;
    if (end == lineEnd || end == std::string_view::npos ||
        Classify(text.substr(start, end - start), LedgerFormat::Csv, record) != LineKind::Record)
        return false;
    contents.records.push_back(std::move(record));
    contents.lines += static_cast<size_t>(std::count(text.begin() + start, text.begin() + end, '\n'));
    contents.whole = end + 1;
    return true;
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
    static const std::string header = [] {
        std::string line;
        for (size_t i = 0; i < kCsvColumns; ++i)
            line.append(line.empty() ? "" : ",").append(kFields[i].name);
        return line + "\n";
    }();
    return header;
}

std::string FormatRecord(const LedgerRecord& r, LedgerFormat format) {
    if (format == LedgerFormat::Csv) {
        std::string line;
        for (size_t i = 0; i < kCsvColumns; ++i) {
            if (i > 0)
                line += ',';
            line += CsvField(CsvText(kFields[i], r));
        }
        return line + "\n";
    }
    Json json = Json::object();
    for (const Field& field : kFields)
        ToJson(field, r, json);
    return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool ParseRecord(std::string_view line, LedgerFormat format, LedgerRecord& out) {
    return Classify(line, format, out) == LineKind::Record;
}

LedgerContents ParseLedger(std::string_view text, LedgerFormat format) {
    LedgerContents contents;
    while (contents.whole < text.size()) {
        const size_t start = contents.whole;
        const size_t end = text.find('\n', start);
        ++contents.lines;
        if (end == std::string_view::npos) {
            contents.badLines.push_back(contents.lines); // not whole: a writer's record cut off, or one under way
            break;
        }
        const std::string_view line = text.substr(start, end - start);
        LedgerRecord record;
        if (format == LedgerFormat::Csv && JoinedCsvRecord(text, start, end, contents))
            continue;
        contents.whole = end + 1;
        // A header again (ledgers joined end to end) and the line feed put before a record that
        // followed a torn line are nothing to read.
        if (IsHeader(line, format) || Trimmed(line).empty())
            continue;
        switch (Classify(line, format, record)) {
        case LineKind::Record:
            contents.records.push_back(std::move(record));
            break;
        case LineKind::Unreadable:
            contents.unreadable.push_back(contents.lines);
            [[fallthrough]];
        case LineKind::NotARecord:
            contents.badLines.push_back(contents.lines);
            break;
        }
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

} // namespace provisioning
