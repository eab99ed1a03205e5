// Visits as text: CSV (RFC 4180), JSON, and printable lines, for the command line and the
// service report.
#pragma once

#include "ServiceRecord.h"

#include <string>
#include <vector>

namespace vq5::record {

std::string CsvField(const std::string& s);   // quoted when it holds a comma, quote or line break
std::string JsonString(const std::string& s); // with its quotes; control characters as \uXXXX
// Control characters and the backslash as \xHH and \\, so that a value stays one line.
std::string Printable(const std::string& s);

std::string CsvHeader();
std::string CsvLine(const Visit& v);
// One visit as a JSON object; with `items` its items too, with `changes` the differences to
// `previous` (null when there is none).
std::string JsonVisit(const Visit& v, bool items, const Visit* previous = nullptr);

} // namespace vq5::record
