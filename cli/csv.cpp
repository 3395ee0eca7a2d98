#include "cli/csv.h"

namespace tarnel {

namespace {

bool NeedsQuotes(char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; }

// Quotes the field that starts at `from` in line when its text needs it.
void QuoteFieldFrom(std::string& line, size_t from)
{
    size_t k = from;
    while (k < line.size() && !NeedsQuotes(line[k])) ++k;
    if (k == line.size()) return;
    const std::string text = line.substr(from);
    line.resize(from);
    line += '"';
    for (char c : text) {
        if (c == '"') line += '"';
        line += c;
    }
    line += '"';
}

} // namespace

void WriteCsvField(std::ostream& out, const std::string& text)
{
    std::string field = text;
    QuoteFieldFrom(field, 0);
    out << field;
}

void WriteCsvRow(std::ostream& out, const std::vector<std::string>& fields)
{
    for (size_t k = 0; k < fields.size(); ++k) {
        if (k) out << ',';
        WriteCsvField(out, fields[k]);
    }
    out << "\r\n";
}

void WriteCsv(std::ostream& out, DataSet& data, std::int64_t limit)
{
    std::vector<std::string> row;
    for (const auto& f : data.fields()) row.push_back(f.name);
    WriteCsvRow(out, row);
    const int n = data.fieldCount();
    // Rows are written into one buffer that goes out whenever it fills.
    constexpr size_t kFlushAt = size_t(1) << 16;
    std::string buffer;
    buffer.reserve(kFlushAt + 1024);
    for (data.first(); !data.eof() && limit != 0; data.next(), --limit) {
        for (int k = 0; k < n; ++k) {
            if (k) buffer += ',';
            const size_t from = buffer.size();
            data.appendText(k, buffer);
            QuoteFieldFrom(buffer, from);
        }
        buffer += "\r\n";
        if (buffer.size() >= kFlushAt) {
            out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            buffer.clear();
        }
    }
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
}

} // namespace tarnel
