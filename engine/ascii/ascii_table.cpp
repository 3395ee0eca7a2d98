#include "engine/ascii/ascii_table.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <sys/stat.h>

#include "engine/daynum.h"
#include "engine/error.h"
#include "engine/number_format.h"
#include "engine/value_convert.h"

namespace tarnel::ascii {

namespace {
constexpr size_t kChunk = 1 << 20;
constexpr char kEndOfFile = 0x1A;
constexpr std::int64_t kMaxRow = 16 << 20;

std::string TrimRight(std::string s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

std::string Trim(std::string s)
{
    s = TrimRight(std::move(s));
    size_t a = s.find_first_not_of(" \t");
    return a == std::string::npos ? std::string() : s.substr(a);
}

std::string Upper(std::string s)
{
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool ParseClock(std::string t, double& fraction)
{
    std::string u = Upper(t);
    bool pm = false, am = false;
    if (u.size() > 3 && (u.ends_with(" PM") || u.ends_with(" AM"))) {
        pm = u.ends_with(" PM");
        am = !pm;
        t = Trim(t.substr(0, t.size() - 3));
    }
    if (!ParseTimeText(t, fraction)) return false;
    if (am || pm) {
        double hours = std::floor(fraction * 24 + 1e-9);
        if (hours < 1 || hours > 12) return false;
        if (am && hours == 12) fraction -= 0.5;
        if (pm && hours != 12) fraction += 0.5;
    }
    return true;
}

std::string UsDate(std::int64_t day)
{
    CivilDate d = DateOfDayNumber(day);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d.month, d.day, d.year);
    return buf;
}

} // namespace

AsciiTable::AsciiTable(const std::string& path, bool readOnly) : path_(path), name_(BaseName(path)), readOnly_(readOnly)
{
    schemaPath_ = fileio::WithExtension(path, ".sch");
    if (!fileio::FileExists(schemaPath_))
        throw EngineError(BaseName(path) + ": the schema file " + BaseName(schemaPath_) +
                          " that describes this ASCII table is missing");
    lock_ = File::open(schemaPath_, true);
    std::int64_t schemaSize = lock_.size();
    if (schemaSize > (1 << 20)) throw EngineError(BaseName(schemaPath_) + ": too large for a schema file");
    std::string text(static_cast<size_t>(schemaSize), '\0');
    lock_.readExact(0, text.data(), text.size(), "data");
    schema_ = ParseSchema(text, BaseName(schemaPath_));
    cp_ = CodePage::get(schema_.codePage);
    for (const auto& c : schema_.columns) defs_.push_back(c.def);
    data_ = File::open(path, readOnly);
    readOnly_ = readOnly || !data_.writable();
    indexRows();
}

void AsciiTable::noteFile()
{
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0)
        indexed_ = {static_cast<long>(st.st_ino), static_cast<long>(st.st_size), static_cast<long>(st.st_mtim.tv_sec),
                    st.st_mtim.tv_nsec};
}

void AsciiTable::indexRows()
{
    noteFile();
    rows_.clear();
    cachedRecord_ = -1;
    std::int64_t size = data_.size();
    // A DOS end-of-file mark ends the data.
    while (size > 0) {
        char c = 0;
        data_.readExact(size - 1, &c, 1, "data");
        if (c != kEndOfFile) break;
        --size;
    }
    bool quoteAware = !schema_.fixed;
    bool endSeen = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        rows_.clear();
        bool inQuote = false;
        std::int64_t rowStart = 0;
        std::string buf(kChunk, '\0');
        char previous = 0;
        for (std::int64_t pos = 0; pos < size;) {
            size_t n = data_.readAt(pos, buf.data(), static_cast<size_t>(std::min<std::int64_t>(kChunk, size - pos)));
            if (n == 0) break;
            for (size_t k = 0; k < n; ++k) {
                char c = buf[k];
                if (quoteAware && c == schema_.delimiter) inQuote = !inQuote;
                else if (c == '\n' && !inQuote) {
                    std::int64_t at = pos + static_cast<std::int64_t>(k);
                    std::int64_t length = at - rowStart - (previous == '\r' ? 1 : 0);
                    if (!endSeen) {
                        lineEnd_ = previous == '\r' ? "\r\n" : "\n";
                        endSeen = true;
                    }
                    if (length > 0) rows_.push_back({rowStart, length, at + 1});
                    rowStart = at + 1;
                }
                previous = c;
            }
            pos += static_cast<std::int64_t>(n);
        }
        if (inQuote && quoteAware) {   // an unclosed delimiter: rows are lines after all
            quoteAware = false;
            continue;
        }
        std::int64_t length = size - rowStart - (previous == '\r' ? 1 : 0);
        if (length > 0) rows_.push_back({rowStart, length, size});
        break;
    }
}

void AsciiTable::checkRecord(std::int64_t record) const
{
    if (record < 0 || record >= static_cast<std::int64_t>(rows_.size()))
        throw EngineError(name_ + ": row " + std::to_string(record + 1) + " does not exist (the table has " +
                          std::to_string(rows_.size()) + " rows)");
}

const std::vector<std::string>& AsciiTable::cells(std::int64_t record)
{
    checkRecord(record);
    if (cachedRecord_ == record) return cache_;
    const Row& row = rows_[static_cast<size_t>(record)];
    if (row.length > kMaxRow)
        throw EngineError(name_ + ": row " + std::to_string(record + 1) + " is longer than " +
                          std::to_string(kMaxRow >> 20) + " MB; this is not a table of text rows");
    std::string line(static_cast<size_t>(row.length), '\0');
    data_.readExact(row.start, line.data(), line.size(), "data");
    cache_.assign(schema_.columns.size(), std::string());
    if (schema_.fixed) {
        for (size_t k = 0; k < schema_.columns.size(); ++k) {
            const Column& c = schema_.columns[k];
            if (static_cast<size_t>(c.offset) >= line.size()) continue;
            cache_[k] = TrimRight(line.substr(static_cast<size_t>(c.offset), static_cast<size_t>(c.width)));
        }
    } else {
        const char d = schema_.delimiter, sep = schema_.separator;
        size_t pos = 0;
        for (size_t k = 0; k < schema_.columns.size() && pos <= line.size(); ++k) {
            size_t p = pos;
            while (p < line.size() && line[p] == ' ' && sep != ' ') ++p;
            std::string cell;
            if (p < line.size() && line[p] == d) {
                ++p;
                while (p < line.size()) {
                    if (line[p] == d) {
                        if (p + 1 < line.size() && line[p + 1] == d) {
                            cell += d;
                            p += 2;
                            continue;
                        }
                        ++p;
                        break;
                    }
                    cell += line[p++];
                }
                size_t next = line.find(sep, p);
                pos = next == std::string::npos ? line.size() + 1 : next + 1;
            } else {
                size_t next = line.find(sep, pos);
                cell = Trim(line.substr(pos, next == std::string::npos ? std::string::npos : next - pos));
                pos = next == std::string::npos ? line.size() + 1 : next + 1;
            }
            cache_[k] = std::move(cell);
        }
    }
    cachedRecord_ = record;
    return cache_;
}

Value AsciiTable::parseCell(int field, const std::string& raw, std::int64_t record) const
{
    const Column& c = schema_.columns[static_cast<size_t>(field)];
    if (raw.empty()) return Value::null();
    std::string t = c.kind == ColumnKind::Char ? raw : Trim(raw);
    if (t.empty()) return Value::null();
    auto bad = [&](const char* what) {
        throw EngineError(name_ + ": row " + std::to_string(record + 1) + ", field '" + c.def.name + "': '" +
                          cp_->decode(t) + "' is not " + what);
    };
    switch (c.kind) {
    case ColumnKind::Char: return Value::text(cp_->decode(t));
    case ColumnKind::Number: case ColumnKind::Short: case ColumnKind::LongInt: {
        double d = 0;
        if (!ParseNumber(t, d) || d != std::floor(d) || std::fabs(d) > 9.2e18) bad("a whole number");
        return Value::integer(static_cast<std::int64_t>(d));
    }
    case ColumnKind::Float: case ColumnKind::Bcd: case ColumnKind::Currency: {
        double d = 0;
        if (!ParseNumber(t, d)) bad("a number");
        return Value::real(d);
    }
    case ColumnKind::Bool: {
        std::int64_t b = 0;
        if (!ParseBoolean(t, b)) bad("True or False");
        return Value::integer(b);
    }
    case ColumnKind::Date: {
        std::int64_t day = 0;
        if (!ParseDateText(t, day)) bad("a date");
        return Value::integer(day);
    }
    case ColumnKind::Time: {
        double f = 0;
        if (!ParseClock(t, f)) bad("a time");
        return Value::real(f);
    }
    case ColumnKind::Timestamp: {
        auto blank = t.find(' ');
        std::int64_t day = 0;
        double f = 0;
        if (!ParseDateText(t.substr(0, blank), day) ||
            (blank != std::string::npos && !ParseClock(Trim(t.substr(blank + 1)), f)))
            bad("a date and time");
        return Value::real(static_cast<double>(day) + f);
    }
    }
    return Value::null();
}

bool AsciiTable::isNull(std::int64_t record, int field)
{
    if (field < 0 || field >= static_cast<int>(defs_.size())) throw EngineError(name_ + ": no field " + std::to_string(field));
    const std::string& raw = cells(record)[static_cast<size_t>(field)];
    return raw.find_first_not_of(" \t") == std::string::npos;
}

Value AsciiTable::value(std::int64_t record, int field)
{
    if (field < 0 || field >= static_cast<int>(defs_.size())) throw EngineError(name_ + ": no field " + std::to_string(field));
    std::string raw = cells(record)[static_cast<size_t>(field)];
    return parseCell(field, raw, record);
}

// ---- writing -------------------------------------------------------------

std::string AsciiTable::formatCell(int field, const Value& v) const
{
    const Column& c = schema_.columns[static_cast<size_t>(field)];
    auto fail = [&](const std::string& what) -> void {
        throw EngineError(name_ + ": field '" + c.def.name + "': " + what);
    };
    if (v.isNull()) return {};
    double d = 0;
    auto number = [&]() {
        if (!ValueAsNumber(v, d) || !std::isfinite(d)) fail("'" + PlainText(v) + "' is not a number");
        return d;
    };
    std::string out;
    switch (c.kind) {
    case ColumnKind::Char: {
        if (!cp_->encode(PlainText(v), out))
            fail("the text holds characters that code page " + std::to_string(cp_->number()) + " cannot store");
        if (out.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
            fail("line breaks cannot be stored in an ASCII table");
        if (static_cast<int>(out.size()) > c.width)
            fail("the text is longer than the field's " + std::to_string(c.width) + " characters");
        if (out.empty()) return {};
        if (!schema_.fixed) {
            std::string q(1, schema_.delimiter);
            for (char ch : out) {
                q += ch;
                if (ch == schema_.delimiter) q += ch;
            }
            q += schema_.delimiter;
            return q;
        }
        return out;
    }
    case ColumnKind::Number: case ColumnKind::Short: {
        number();
        if (d != std::floor(d) || d < -32768 || d > 32767) fail(FormatGeneral(d) + " is not a whole number from -32768 to 32767");
        out = std::to_string(static_cast<long long>(d));
        break;
    }
    case ColumnKind::LongInt:
        number();
        if (d != std::floor(d) || d < -2147483648.0 || d > 2147483647.0)
            fail(FormatGeneral(d) + " is not a whole number from -2147483648 to 2147483647");
        out = std::to_string(static_cast<long long>(d));
        break;
    case ColumnKind::Float: case ColumnKind::Bcd: case ColumnKind::Currency: {
        number();
        if (c.decimals > 0) {
            out.clear();
            if (!AppendFixed(d, std::min(c.decimals, 32), out)) fail(FormatGeneral(d) + " is not a finite number");
        } else {
            char buf[64];   // the shortest text that reads back as the same number
            auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
            out.assign(buf, ec == std::errc() ? end : buf);
        }
        break;
    }
    case ColumnKind::Bool: {
        std::int64_t b = 0;
        if (v.kind == Value::Kind::Text) {
            if (!ParseBoolean(Trim(v.s), b)) fail("'" + v.s + "' is not True or False");
        } else {
            b = number() != 0;
        }
        out = b ? "T" : "F";
        break;
    }
    case ColumnKind::Date: {
        std::int64_t day = 0;
        if (v.kind == Value::Kind::Text) {
            if (!ParseDateText(v.s, day)) fail("'" + v.s + "' is not a date");
        } else {
            day = static_cast<std::int64_t>(std::floor(number()));
        }
        if (day < -693593 || day > 2958465) fail("the date is outside the years 1 to 9999");
        out = UsDate(day);
        break;
    }
    case ColumnKind::Time: {
        double f = 0;
        if (v.kind == Value::Kind::Text) {
            if (!ParseClock(v.s, f)) fail("'" + v.s + "' is not a time");
        } else {
            f = number();
        }
        out = TimeText(f - std::floor(f));
        break;
    }
    case ColumnKind::Timestamp: {
        double t = 0;
        if (v.kind == Value::Kind::Text) {
            if (!ParseDateTimeText(v.s, t)) fail("'" + v.s + "' is not a date and time");
        } else {
            t = number();
        }
        if (t < -693593 || t >= 2958466) fail("the date is outside the years 1 to 9999");
        std::string iso = DateTimeText(t);   // yyyy-mm-dd hh:mm:ss
        std::int64_t day = 0;
        ParseDateText(iso.substr(0, 10), day);
        out = UsDate(day) + iso.substr(10);
        break;
    }
    }
    if (schema_.fixed && static_cast<int>(out.size()) > c.width)
        fail("'" + out + "' is wider than the field's " + std::to_string(c.width) + " characters");
    return out;
}

std::string AsciiTable::formatRow(const std::vector<Value>& values) const
{
    if (values.size() != defs_.size())
        throw EngineError(name_ + ": " + std::to_string(values.size()) + " values given for " +
                          std::to_string(defs_.size()) + " fields");
    std::string row;
    if (schema_.fixed) {
        size_t width = 0;
        for (const auto& c : schema_.columns) width = std::max(width, static_cast<size_t>(c.offset + c.width));
        row.assign(width, ' ');
        for (size_t k = 0; k < values.size(); ++k) {
            const Column& c = schema_.columns[k];
            std::string cell = formatCell(static_cast<int>(k), values[k]);
            size_t at = static_cast<size_t>(c.offset);
            if (c.kind != ColumnKind::Char) at += static_cast<size_t>(c.width) - cell.size();   // numbers right-aligned
            row.replace(at, cell.size(), cell);
        }
        row = TrimRight(row);
        if (row.empty()) row = " ";   // an empty line would not be a row
    } else {
        for (size_t k = 0; k < values.size(); ++k) {
            if (k) row += schema_.separator;
            row += formatCell(static_cast<int>(k), values[k]);
        }
        if (row.find_first_not_of(schema_.separator) == std::string::npos && values.size() == 1) row = std::string(1, schema_.delimiter) + schema_.delimiter;
    }
    return row;
}

void AsciiTable::checkWritable(const char* what) const
{
    if (readOnly_) throw EngineError(name_ + ": cannot " + std::string(what) + ", the table is open for reading only");
}

void AsciiTable::replaceRange(std::int64_t from, std::int64_t to, const std::string& bytes)
{
    if (to - from == static_cast<std::int64_t>(bytes.size())) {
        data_.writeAt(from, bytes.data(), bytes.size());
        cachedRecord_ = -1;
        noteFile();
        return;
    }
    std::string temp = path_ + ".tmp";
    try {
        auto out = File::create(temp);
        struct stat st {};
        if (::stat(path_.c_str(), &st) == 0) ::chmod(temp.c_str(), st.st_mode & 07777);
        std::string buf(kChunk, '\0');
        std::int64_t w = 0;
        for (std::int64_t pos = 0; pos < from;) {
            size_t n = data_.readAt(pos, buf.data(), static_cast<size_t>(std::min<std::int64_t>(kChunk, from - pos)));
            if (n == 0) break;
            out.writeAt(w, buf.data(), n);
            pos += static_cast<std::int64_t>(n);
            w += static_cast<std::int64_t>(n);
        }
        out.writeAt(w, bytes.data(), bytes.size());
        w += static_cast<std::int64_t>(bytes.size());
        std::int64_t size = data_.size();
        for (std::int64_t pos = to; pos < size;) {
            size_t n = data_.readAt(pos, buf.data(), static_cast<size_t>(std::min<std::int64_t>(kChunk, size - pos)));
            if (n == 0) break;
            out.writeAt(w, buf.data(), n);
            pos += static_cast<std::int64_t>(n);
            w += static_cast<std::int64_t>(n);
        }
        out.sync();
        out.close();
        RenameFile(temp, path_);
    } catch (...) {
        std::remove(temp.c_str());
        throw;
    }
    data_ = File::open(path_, false);
    indexRows();
}

// Another program may have changed the file since it was indexed: under
// the write lock, its identity, size and time tell.
void AsciiTable::refresh()
{
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) throw EngineError(name_ + ": the file has gone");
    if (static_cast<long>(st.st_ino) != indexed_.inode) data_ = File::open(path_, false);
    if (static_cast<long>(st.st_ino) != indexed_.inode || static_cast<long>(st.st_size) != indexed_.size ||
        static_cast<long>(st.st_mtim.tv_sec) != indexed_.mtime || st.st_mtim.tv_nsec != indexed_.mtimeNs)
        indexRows();
}

std::int64_t AsciiTable::updateRecord(std::int64_t record, const std::vector<Value>& values, const std::vector<bool>& changed)
{
    checkWritable("change a row");
    File::Lock lock(lock_);
    refresh();
    checkRecord(record);
    if (values.size() != defs_.size())
        throw EngineError(name_ + ": " + std::to_string(values.size()) + " values given for " +
                          std::to_string(defs_.size()) + " fields");
    std::vector<Value> merged(values.size());
    for (size_t k = 0; k < values.size(); ++k)
        merged[k] = (k < changed.size() && changed[k]) ? values[k] : value(record, static_cast<int>(k));
    std::string row = formatRow(merged);
    const Row r = rows_[static_cast<size_t>(record)];
    std::int64_t before = static_cast<std::int64_t>(rows_.size());
    replaceRange(r.start, r.start + r.length, row);
    if (static_cast<std::int64_t>(rows_.size()) != before)
        throw EngineError(name_ + ": the rows of the file changed while it was written");
    return record;
}

std::int64_t AsciiTable::appendRecord(const std::vector<Value>& values)
{
    checkWritable("add a row");
    File::Lock lock(lock_);
    refresh();
    std::string text = formatRow(values);
    std::string row = text + lineEnd_;
    std::int64_t size = data_.size();
    // Text after the last row is only line ends or an end-of-file mark: the
    // new row replaces it.
    std::int64_t at = rows_.empty() ? 0 : rows_.back().end;
    bool closeLast = !rows_.empty() && rows_.back().end == rows_.back().start + rows_.back().length;
    if (closeLast) row = lineEnd_ + row;   // the last row has no line end yet
    if (at < size) {
        std::string tail(static_cast<size_t>(size - at), '\0');
        data_.readExact(at, tail.data(), tail.size(), "data");
        if (tail.find_first_not_of(std::string("\r\n\x1a", 3)) != std::string::npos)
            throw EngineError(name_ + ": the end of the file changed while the row was written; open the table again");
    }
    data_.writeAt(at, row.data(), row.size());
    std::int64_t end = at + static_cast<std::int64_t>(row.size());
    if (end < size) data_.truncate(end);
    if (closeLast) rows_.back().end = at + static_cast<std::int64_t>(lineEnd_.size());
    std::int64_t start = end - static_cast<std::int64_t>(text.size() + lineEnd_.size());
    rows_.push_back({start, static_cast<std::int64_t>(text.size()), end});
    cachedRecord_ = -1;
    noteFile();
    return static_cast<std::int64_t>(rows_.size()) - 1;
}

void AsciiTable::deleteRecord(std::int64_t record)
{
    checkWritable("delete a row");
    File::Lock lock(lock_);
    refresh();
    checkRecord(record);
    const Row r = rows_[static_cast<size_t>(record)];
    replaceRange(r.start, r.end, std::string());
}

void CreateAsciiFiles(const std::string& path, const std::vector<FieldDef>& fields, int codePage)
{
    std::string base = BaseName(path);
    auto dot = base.find_last_of('.');
    std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    Schema schema = SchemaForFields(fields, stem, codePage, base);
    CodePage::get(schema.codePage);   // fails early on an unknown code page
    std::string schemaPath = fileio::WithExtension(path, ".sch");
    std::string text = SchemaText(schema);
    // The registry has us write into a fresh folder and moves the files into place.
    auto f = File::create(schemaPath);
    f.writeAt(0, text.data(), text.size());
    f.sync();
    File::create(path);   // the rows: none yet
}

} // namespace tarnel::ascii

namespace tarnel {

std::unique_ptr<TableFormat> OpenAsciiTable(const std::string& path, TableType, bool readOnly)
{
    return std::make_unique<ascii::AsciiTable>(path, readOnly);
}

void CreateAsciiTable(const std::string& path, const std::vector<FieldDef>& fields, const CreateOptions& options)
{
    ascii::CreateAsciiFiles(path, fields, options.codePage);
}

} // namespace tarnel
