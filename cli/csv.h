#pragma once
#include <cstdint>
// CSV output (RFC 4180): fields quoted when they hold a comma, a quote or a
// line break; quotes doubled; lines end in CR LF.
#include <ostream>
#include <string>
#include <vector>

#include "engine/dataset.h"

namespace tarnel {

void WriteCsvField(std::ostream& out, const std::string& text);
void WriteCsvRow(std::ostream& out, const std::vector<std::string>& fields);
// A header row of field names, then every row from the first, in the engine's text.
// The data set's field names, then its rows (at most `limit` of them; negative: all).
void WriteCsv(std::ostream& out, DataSet& data, std::int64_t limit = -1);

} // namespace tarnel
