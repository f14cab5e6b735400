// The ledger's CSV spelling at the level of text (RFC 4180): a field quoted when it must be, a
// record's fields split back, and where a record that may span lines ends.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ledger_csv {

// The field as written: quoted when it holds a comma, a quote, a line break or a leading "'", and
// with a leading "'" when a spreadsheet would take it for a formula.
std::string CsvField(const std::string& value);
// The fields of one record, the leading "'" of each taken off; false when the quotes do not close.
bool SplitCsv(std::string_view record, std::vector<std::string>& fields);
// Where the record that starts at start ends: at the first line feed outside quotes; npos when the
// text ends first.
size_t CsvRecordEnd(std::string_view text, size_t start);

} // namespace ledger_csv
