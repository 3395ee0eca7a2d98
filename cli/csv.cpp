#include "cli/csv.h"

namespace tarnel {

void WriteCsvField(std::ostream& out, const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out << text;
        return;
    }
    out << '"';
    for (char c : text) {
        if (c == '"') out << '"';
        out << c;
    }
    out << '"';
}

void WriteCsvRow(std::ostream& out, const std::vector<std::string>& fields)
{
    for (size_t k = 0; k < fields.size(); ++k) {
        if (k) out << ',';
        WriteCsvField(out, fields[k]);
    }
    out << "\r\n";
}

void WriteCsv(std::ostream& out, DataSet& data)
{
    std::vector<std::string> row;
    for (const auto& f : data.fields()) row.push_back(f.name);
    WriteCsvRow(out, row);
    const int n = data.fieldCount();
    for (data.first(); !data.eof(); data.next()) {
        for (int k = 0; k < n; ++k) {
            if (k) out << ',';
            WriteCsvField(out, data.asText(k));
        }
        out << "\r\n";
    }
}

} // namespace tarnel
