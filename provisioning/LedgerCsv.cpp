#include "LedgerCsv.h"

namespace ledger_csv {

namespace {

std::string CsvUnescape(std::string field) {
    if (!field.empty() && field[0] == '\'')
        field.erase(0, 1);
    return field;
}

} // namespace

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

size_t CsvRecordEnd(std::string_view text, size_t start) {
    bool quoted = false;
    for (size_t i = start; i < text.size(); ++i) {
        if (text[i] == '"')
            quoted = !quoted; // a doubled quote inside a quoted field turns it off and on again
        else if (text[i] == '\n' && !quoted)
            return i;
    }
    return std::string_view::npos;
}

} // namespace ledger_csv
