#include "cli/csv.h"

namespace tarnel::cli {

void AppendCsvField(std::string_view field, std::string& out)
{
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

void WriteCsvRecord(std::ostream& out, const std::vector<std::string>& fields)
{
    std::string line;
    for (size_t k = 0; k < fields.size(); ++k) {
        if (k) line += ',';
        AppendCsvField(fields[k], line);
    }
    line += "\r\n";
    out << line;
}

} // namespace tarnel::cli
