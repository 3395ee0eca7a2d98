#pragma once
// CSV as RFC 4180 writes it: fields separated by commas, records ended by
// CR LF; a field holding a comma, a double quote, CR or LF is enclosed in
// double quotes, with each double quote inside doubled.
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tarnel::cli {

void AppendCsvField(std::string_view field, std::string& out);
void WriteCsvRecord(std::ostream& out, const std::vector<std::string>& fields);

} // namespace tarnel::cli
