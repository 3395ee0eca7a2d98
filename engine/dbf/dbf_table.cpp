#include "engine/dbf/dbf_table.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>

#include "engine/bytes.h"
#include "engine/database.h"
#include "engine/daynum.h"
#include "engine/dbf/index/index_keeper.h"
#include "engine/error.h"
#include "engine/number_format.h"
#include "engine/value_convert.h"

namespace tarnel {

namespace {

constexpr std::int64_t kJulianOffset = 2415019;   // Julian day of day number 0


// dBASE 7 keeps numbers so that their bytes sort: big-endian, sign bit flipped.
double GetOrderedDouble(const char* p)
{
    std::uint64_t v = 0;
    for (int k = 0; k < 8; ++k) v = (v << 8) | static_cast<unsigned char>(p[k]);
    v = (v & 0x8000000000000000ull) ? (v & ~0x8000000000000000ull) : ~v;
    double d;
    std::memcpy(&d, &v, 8);
    return d;
}
void PutOrderedDouble(char* p, double d)
{
    std::uint64_t v;
    std::memcpy(&v, &d, 8);
    v = (v & 0x8000000000000000ull) ? ~v : (v | 0x8000000000000000ull);
    for (int k = 0; k < 8; ++k) p[k] = static_cast<char>(v >> (56 - 8 * k));
}

std::string_view Trimmed(const char* p, int n)
{
    int a = 0, b = n;
    while (a < b && (p[a] == ' ' || p[a] == '\0')) ++a;
    while (b > a && (p[b - 1] == ' ' || p[b - 1] == '\0')) --b;
    return {p + a, static_cast<size_t>(b - a)};
}

int Digit(char c) { return c >= '0' && c <= '9' ? c - '0' : -1; }

bool ParseYmd(const char* p, int& y, int& m, int& d)
{
    unsigned v[8];
    for (int k = 0; k < 8; ++k) {
        v[k] = static_cast<unsigned>(static_cast<unsigned char>(p[k]) - '0');
        if (v[k] > 9) return false;
    }
    y = static_cast<int>(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3]);
    m = static_cast<int>(v[4] * 10 + v[5]);
    d = static_cast<int>(v[6] * 10 + v[7]);
    return y >= 1 && m >= 1 && m <= 12 && d >= 1 && (d <= 28 || d <= DaysInMonth(y, m));
}

// The general number format of a plain decimal numeral, without going
// through a double: the same text as NumeralValue and AppendValueText give,
// faster. False when the numeral is not plain or too long.
bool AppendNumeral(std::string_view s, std::string& out)
{
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    size_t dot = s.find('.');
    std::string_view whole = s.substr(0, dot);
    std::string_view frac = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
    if (whole.empty() && frac.empty()) return false;
    for (char c : whole) if (Digit(c) < 0) return false;
    for (char c : frac) if (Digit(c) < 0) return false;
    while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
    while (!frac.empty() && frac.back() == '0') frac.remove_suffix(1);
    size_t significant = whole.size() + frac.size();
    if (whole.empty()) {
        size_t lead = 0;
        while (lead < frac.size() && frac[lead] == '0') ++lead;
        if (lead >= 4 && lead < frac.size()) return false;   // below 0.0001: scientific
        significant = frac.size() - lead;
    }
    if (significant > 15) return false;
    char buf[40];
    size_t n = 0;
    if (whole.empty() && frac.empty()) {
        out += '0';
        return true;
    }
    if (negative) buf[n++] = '-';
    if (whole.empty()) buf[n++] = '0';
    std::memcpy(buf + n, whole.data(), whole.size());
    n += whole.size();
    if (!frac.empty()) {
        buf[n++] = '.';
        std::memcpy(buf + n, frac.data(), frac.size());
        n += frac.size();
    }
    out.append(buf, n);
    return true;
}

// Length of a field's text without its trailing blanks (and NULs).
int TrimmedLength(const char* p, int n)
{
    static const std::uint64_t kBlanks = 0x2020202020202020ull;
    while (n >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p + n - 8, 8);
        if (word != kBlanks) break;
        n -= 8;
    }
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
    return n;
}

std::string FieldName(const DbfField& f, const CodePage& cp) { return cp.decode(f.name); }

} // namespace

DbfTable::DbfTable(const std::string& path, TableType asked, bool readOnly)
    : file_(File::open(path, readOnly)), asked_(asked)
{
    std::int64_t size = file_.size();
    unsigned char prefix[32] = {};
    std::size_t got = file_.readAt(0, prefix, sizeof prefix);
    int length = DbfHeaderLength(path, prefix, got);
    std::vector<unsigned char> head(static_cast<size_t>(length));
    got = file_.readAt(0, head.data(), head.size());
    header_ = ParseDbfHeader(path, head.data(), got, size);

    int cp = CodePageOfLanguageDriver(header_.languageDriver);
    declaredCodePage_ = cp != 0;
    if (cp == 0) {
        // No language driver we know: some writers store UTF-8 and say nothing.
        std::string sample;
        for (const auto& f : header_.fields) sample += f.name;
        std::vector<char> records(static_cast<size_t>(std::min<std::int64_t>(
            65536, header_.recordCount * header_.recordLength)));
        records.resize(file_.readAt(header_.headerLength, records.data(), records.size()));
        sample.append(records.data(), records.size());
        if (LooksLikeUtf8(sample)) cp = 65001;
    }
    codePage_ = CodePage::get(cp);

    // Opened for writing, the table must know now whether its index files allow it.
    if (!readOnly) readOnly = !writeBlocked().empty();

    bool memoFields = false;
    for (size_t k = 0; k < header_.fields.size(); ++k) {
        const DbfField& f = header_.fields[k];
        if (f.system) continue;
        FieldDef d;
        d.name = FieldName(f, *codePage_);
        d.type = f.type;
        d.number = static_cast<int>(fields_.size()) + 1;
        d.decimals = f.type == ftFloat && f.decimals == 0 && (f.letter == 'N' || f.letter == 'F') ? kNoDecimals
                                                                                                 : f.decimals;
        switch (f.type) {
        case ftString: case ftVarBytes: case ftBytes: d.size = f.length; break;
        case ftInteger: case ftFloat: d.size = (f.letter == 'N' || f.letter == 'F') ? f.length : 0; break;
        default: d.size = 0; break;
        }
        if (IsBlobType(f.type)) memoFields = true;
        fields_.push_back(std::move(d));
        visible_.push_back(static_cast<int>(k));
    }

    if (memoFields) {
        std::string folder, base = BaseName(path);
        if (base.size() < path.size()) folder = path.substr(0, path.size() - base.size() - 1);
        auto dot = base.find_last_of('.');
        std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
        bool fox = header_.memo == MemoKind::Fpt || (header_.memo == MemoKind::None && header_.isFoxPro());
        std::string wanted = stem + (fox ? ".fpt" : ".dbt");
        std::string memoPath = FindFileInFolder(folder, wanted);
        if (memoPath.empty() && header_.memo == MemoKind::None) {
            wanted = stem + (fox ? ".dbt" : ".fpt");
            memoPath = FindFileInFolder(folder, wanted);
            fox = !fox;
        }
        if (memoPath.empty()) {
            // The table still opens; reading a memo value names the missing file.
            missingMemo_ = stem + (fox ? ".fpt" : ".dbt");
            return;
        }
        DbfMemo::Style style = fox ? DbfMemo::Style::FoxPro
                               : header_.flavor == DbfFlavor::DBase3 ? DbfMemo::Style::DBase3
                                                                     : DbfMemo::Style::DBase4;
        memo_ = std::make_unique<DbfMemo>(memoPath, style, readOnly || !file_.writable());
    }
}

void DbfTable::useUndeclaredCodePage(int codePage)
{
    if (declaredCodePage_ || codePage <= 0 || codePage == codePage_->number()) return;
    codePage_ = CodePage::get(codePage);
    for (size_t k = 0; k < visible_.size(); ++k)
        fields_[k].name = FieldName(raw(static_cast<int>(k)), *codePage_);
}

std::string DbfTable::MemoMissing() const
{
    if (missingMemo_.empty()) return BaseName(file_.path()) + ": the table has no memo file";
    return BaseName(file_.path()) + ": its memo file " + missingMemo_ + " is missing";
}

TableType DbfTable::type() const
{
    return header_.isFoxPro() ? TableType::FoxPro : TableType::dBASE;
}

std::vector<std::string> DbfTable::files() const
{
    std::vector<std::string> out{file_.path()};
    if (memo_) out.push_back(memo_->path());
    return out;
}

const char* DbfTable::load(std::int64_t record)
{
    if (record < 0 || record >= header_.recordCount)
        throw EngineError(BaseName(file_.path()) + ": record " + std::to_string(record + 1) + " does not exist");
    if (record < cacheFirst_ || record >= cacheFirst_ + cacheCount_) {
        flushAppends();   // a read ahead may reach records still gathered
        std::int64_t chunk = std::max<std::int64_t>(1, 65536 / header_.recordLength);
        std::int64_t first = record - record % chunk;
        std::int64_t count = std::min(chunk, header_.recordCount - first);
        cache_.resize(static_cast<size_t>(count * header_.recordLength));
        cacheCount_ = 0;
        file_.readExact(header_.headerLength + first * header_.recordLength, cache_.data(), cache_.size(), "records");
        cacheFirst_ = first;
        cacheCount_ = count;
    }
    return cache_.data() + (record - cacheFirst_) * header_.recordLength;
}

bool DbfTable::nullBit(const char* rec, int bit) const
{
    if (bit < 0 || header_.nullFlagsOffset < 0) return false;
    auto byte = static_cast<unsigned char>(rec[header_.nullFlagsOffset + bit / 8]);
    return (byte >> (bit % 8)) & 1;
}

Value DbfTable::decode(const char* rec, const DbfField& f)
{
    const char* p = rec + f.offset;
    if (nullBit(rec, f.nullBit)) return Value::null();
    bool fox = header_.isFoxPro();
    switch (f.letter) {
    case 'C': {
        std::string_view s(p, static_cast<size_t>(f.length));
        while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
        return Value::text(codePage_->decode(s));
    }
    case 'V': case 'Q': {
        int n = f.length;
        if (nullBit(rec, f.varBit)) n = std::min<int>(static_cast<unsigned char>(p[f.length - 1]), f.length);
        if (f.letter == 'Q') return Value::bytes(std::string(p, static_cast<size_t>(n)));
        return Value::text(codePage_->decode(std::string_view(p, static_cast<size_t>(n))));
    }
    case 'N': case 'F':
        // The stored numeral is the truth, whatever the declared decimals say.
        return NumeralValue(std::string_view(p, static_cast<size_t>(f.length)), f.type);
    case 'L':
        switch (*p) {
        case 'T': case 't': case 'Y': case 'y': return Value::integer(1);
        case 'F': case 'f': case 'N': case 'n': return Value::integer(0);
        default: return Value::null();
        }
    case 'D': {
        int y, m, d;
        if (!ParseYmd(p, y, m, d)) return Value::null();
        return Value::integer(DayNumber(y, m, d));
    }
    case 'M': case 'G': case 'P': case 'W':
    case 'B': {
        if (f.letter == 'B' && fox) {
            double d;
            std::memcpy(&d, p, 8);
            return Value::real(d);
        }
        std::uint32_t block = 0;
        if (f.length == 4) {
            block = GetLe32(p);
        } else {
            std::string_view s = Trimmed(p, f.length);
            for (char c : s) {
                if (Digit(c) < 0) return Value::null();
                block = block * 10 + static_cast<std::uint32_t>(Digit(c));
            }
        }
        if (block == 0) return Value::null();
        if (!memo_) throw EngineError(MemoMissing());
        std::string data = memo_->read(block, FieldName(f, *codePage_));
        if (f.type == ftMemo) return Value::text(codePage_->decode(data));
        return Value::bytes(std::move(data));
    }
    case 'I': case '+':
        if (fox) return Value::integer(GetLeI32(p));
        return Value::integer(static_cast<std::int32_t>(GetBe32(p) ^ 0x80000000u));
    case 'Y': {
        std::int64_t v;
        std::memcpy(&v, p, 8);
        return Value::real(static_cast<double>(v) / 10000.0);
    }
    case 'T': case '@': {
        std::int64_t julian = f.letter == 'T' ? GetLeI32(p) : static_cast<std::int32_t>(GetBe32(p));
        std::int64_t ms = f.letter == 'T' ? GetLeI32(p + 4) : static_cast<std::int32_t>(GetBe32(p + 4));
        if (julian == 0 && ms == 0) return Value::null();
        if (julian < 1721426 || julian > 5373484 || ms < 0 || ms >= 86400000) return Value::null();
        return Value::real(static_cast<double>(julian - kJulianOffset) + static_cast<double>(ms) / 86400000.0);
    }
    case 'O': return Value::real(GetOrderedDouble(p));
    default: return Value::null();
    }
}

bool DbfTable::isNull(std::int64_t record, int field)
{
    const DbfField& f = raw(field);
    const char* rec = record_(record);
    if (nullBit(rec, f.nullBit)) return true;
    if (f.letter == 'C') return false;
    return decode(rec, f).isNull();
}

Value DbfTable::value(std::int64_t record, int field)
{
    return decode(record_(record), raw(field));
}

void DbfTable::appendText(std::int64_t record, int field, std::string& out)
{
    const DbfField& f = raw(field);
    const char* rec = record_(record);
    const char* p = rec + f.offset;
    if (!nullBit(rec, f.nullBit)) {
        switch (f.letter) {
        case 'C':
            codePage_->decode(p, static_cast<size_t>(TrimmedLength(p, f.length)), out);
            return;
        case 'N': case 'F': {
            std::string_view s = Trimmed(p, f.length);
            if (s.empty()) return;
            if (AppendNumeral(s, out)) return;
            break;
        }
        case 'D': {
            int y, m, d;
            if (!ParseYmd(p, y, m, d)) return;
            char text[10] = {p[0], p[1], p[2], p[3], '-', p[4], p[5], '-', p[6], p[7]};
            out.append(text, 10);
            return;
        }
        case 'L':
            switch (*p) {
            case 'T': case 't': case 'Y': case 'y': out += "True"; return;
            case 'F': case 'f': case 'N': case 'n': out += "False"; return;
            default: return;
            }
        default: break;
        }
    }
    appendDecoded(rec, field, out);
}

void DbfTable::appendDecoded(const char* rec, int field, std::string& out)
{
    AppendValueText(fields_[static_cast<size_t>(field)], decode(rec, raw(field)), out);
}

void DbfTable::requireWritable(const char* what) const
{
    if (const std::string why = writeBlocked(); !why.empty()) throw EngineError("Cannot " + std::string(what) + ": " + why);
    if (!file_.writable())
        throw EngineError("Cannot " + std::string(what) + ": " + BaseName(file_.path()) + " is open for reading only");
}

void DbfTable::encode(std::string& rec, const DbfField& f, const Value& v, bool appending)
{
    char* p = rec.data() + f.offset;
    // The field's name only for an error: this runs for every value of a copy.
    auto name = [&] { return FieldName(f, *codePage_); };
    auto setNullBit = [&](int bit, bool on) {
        if (bit < 0) return;
        auto& byte = reinterpret_cast<unsigned char&>(rec[static_cast<size_t>(header_.nullFlagsOffset + bit / 8)]);
        if (on) byte = static_cast<unsigned char>(byte | (1u << (bit % 8)));
        else byte = static_cast<unsigned char>(byte & ~(1u << (bit % 8)));
    };
    if (v.isNull() && f.nullableWithoutFlags && !appending)
        throw EngineError("Field " + name() + ": " + BaseName(file_.path()) +
                          " has no null flags to mark a NULL value in; the record is left as it was");
    setNullBit(f.nullBit, v.isNull() && f.nullBit >= 0);
    bool fox = header_.isFoxPro();
    auto number = [&]() -> double {
        double d = 0;
        if (ValueAsNumber(v, d)) return d;
        throw EngineError("Field " + name() + ": '" + v.s + "' is not a number");
    };
    switch (f.letter) {
    case 'C': case 'V': case 'Q': {
        thread_local std::string bytes;   // kept: one record after another reuses its room
        bytes.clear();
        if (!v.isNull()) {
            if (f.letter == 'Q' || v.kind == Value::Kind::Bytes) {
                bytes = v.s;
            } else {
                std::string bad;
                if (!codePage_->encode(v.s, bytes, &bad))
                    throw EngineError("Field " + name() + ": the character '" + bad +
                                      "' cannot be stored in this table's code page (" +
                                      std::to_string(codePage_->number()) + ")");
            }
        }
        if (static_cast<int>(bytes.size()) > f.length)
            throw EngineError("Field " + name() + ": the value is " + std::to_string(bytes.size()) +
                              " characters long, but the field holds only " + std::to_string(f.length));
        std::memset(p, f.letter == 'C' ? ' ' : '\0', static_cast<size_t>(f.length));
        if (f.letter == 'V') std::memset(p, ' ', static_cast<size_t>(f.length));
        std::memcpy(p, bytes.data(), bytes.size());
        if (f.letter != 'C') {
            bool shorter = static_cast<int>(bytes.size()) < f.length;
            if (shorter) p[f.length - 1] = static_cast<char>(bytes.size());
            setNullBit(f.varBit, shorter);
        }
        return;
    }
    case 'N': case 'F': {
        std::memset(p, ' ', static_cast<size_t>(f.length));
        if (v.isNull()) return;
        double d = number();
        std::string digits;   // never the locale's decimal comma
        int n = AppendFixed(d, f.decimals, digits) ? static_cast<int>(digits.size()) : 1000;
        if (n > f.length)
            throw EngineError("Field " + name() + ": the value " + FormatGeneral(d) + " does not fit in a width of " +
                              std::to_string(f.length) + " with " + std::to_string(f.decimals) + " decimals");
        std::memcpy(p + (f.length - n), digits.data(), static_cast<size_t>(n));
        return;
    }
    case 'L':
        *p = v.isNull() ? '?' : (number() != 0 ? 'T' : 'F');
        return;
    case 'D': {
        std::memset(p, ' ', 8);
        if (v.isNull()) return;
        auto day = static_cast<std::int64_t>(std::floor(number()));
        CivilDate c = DateOfDayNumber(day);
        if (c.year < 1 || c.year > 9999) throw EngineError("Field " + name() + ": the date is out of range");
        // yyyymmdd, the digits written directly (this runs once per row of a copy)
        const int parts[3] = {c.year, c.month, c.day};
        const int widths[3] = {4, 2, 2};
        char* out = p;
        for (int k = 0; k < 3; ++k) {
            int n = parts[k];
            for (int w = widths[k] - 1; w >= 0; --w, n /= 10) out[w] = static_cast<char>('0' + n % 10);
            out += widths[k];
        }
        return;
    }
    case 'B':
        if (fox) {
            double d = v.isNull() ? 0.0 : number();
            std::memcpy(p, &d, 8);
            return;
        }
        [[fallthrough]];
    case 'M': case 'G': case 'P': case 'W': {
        std::uint32_t block = 0;
        if (!v.isNull() && !v.s.empty()) {
            if (!memo_) throw EngineError(MemoMissing());
            std::string data = v.s;
            if (f.type == ftMemo) {
                data.clear();
                std::string bad;
                if (!codePage_->encode(v.s, data, &bad))
                    throw EngineError("Field " + name() + ": the character '" + bad +
                                      "' cannot be stored in this table's code page (" +
                                      std::to_string(codePage_->number()) + ")");
            }
            block = memo_->write(data, f.type != ftMemo);
        }
        if (f.length == 4) {
            PutLe32(p, block);
        } else {
            std::memset(p, ' ', static_cast<size_t>(f.length));
            if (block != 0) {
                std::string digits = std::to_string(block);
                std::memcpy(p + f.length - static_cast<int>(digits.size()), digits.data(), digits.size());
            }
        }
        return;
    }
    case 'I': case '+': {
        std::int64_t i = 0;
        if (f.type == ftAutoInc) {
            if (!appending) return;
            // The next value lives in the field's descriptor.
            unsigned char desc[48] = {};
            int at = header_.flavor == DbfFlavor::DBase7 ? 40 : 19;
            file_.readExact(f.descriptorOffset, desc, 48, "field descriptor");
            std::int64_t next = GetLeI32(reinterpret_cast<char*>(desc) + at);
            int step = header_.flavor == DbfFlavor::DBase7 ? 1 : std::max(1, static_cast<int>(desc[23]));
            i = next;
            char buf[4];
            PutLe32(buf, static_cast<std::uint32_t>(next + step));
            file_.writeAt(f.descriptorOffset + at, buf, 4);
        } else if (!v.isNull()) {
            double d = number();
            if (d < -2147483648.0 || d > 2147483647.0)
                throw EngineError("Field " + name() + ": the value " + FormatGeneral(d) + " is out of the integer range");
            i = static_cast<std::int64_t>(d);
        }
        if (fox) PutLe32(p, static_cast<std::uint32_t>(i));
        else PutBe32(p, static_cast<std::uint32_t>(i) ^ 0x80000000u);
        return;
    }
    case 'Y': {
        std::int64_t c = v.isNull() ? 0 : static_cast<std::int64_t>(std::llround(number() * 10000.0));
        std::memcpy(p, &c, 8);
        return;
    }
    case 'T': case '@': {
        std::int64_t julian = 0, ms = 0;
        if (!v.isNull()) {
            double d = number();
            double day = std::floor(d);
            julian = static_cast<std::int64_t>(day) + kJulianOffset;
            ms = std::llround((d - day) * 86400000.0);
            if (ms >= 86400000) { ms -= 86400000; ++julian; }
        }
        if (f.letter == 'T') {
            PutLe32(p, static_cast<std::uint32_t>(julian));
            PutLe32(p + 4, static_cast<std::uint32_t>(ms));
        } else {
            PutBe32(p, static_cast<std::uint32_t>(julian));
            PutBe32(p + 4, static_cast<std::uint32_t>(ms));
        }
        return;
    }
    case 'O':
        PutOrderedDouble(p, v.isNull() ? 0.0 : number());
        return;
    default:
        throw EngineError("Field " + name() + ": values of type '" + std::string(1, f.letter) + "' cannot be written");
    }
}

void DbfTable::refreshCount()
{
    unsigned char head[8] = {};
    file_.readExact(0, head, 8, "table header");
    std::int64_t count = header_.flavor == DbfFlavor::DBase2
                             ? (head[1] | (head[2] << 8))
                             : static_cast<std::int64_t>(static_cast<std::uint32_t>(GetLeI32(reinterpret_cast<char*>(head) + 4)));
    std::int64_t available = (file_.size() - header_.headerLength) / header_.recordLength;
    if (count > available)
        throw EngineError(BaseName(file_.path()) + ": record count " + std::to_string(count) +
                          " in the header, but the file holds " + std::to_string(available) + " records");
    if (count != header_.recordCount) {
        header_.recordCount = count;
        cacheCount_ = 0;
    }
}

void DbfTable::stampHeader()
{
    if (header_.flavor == DbfFlavor::DBase2) return;
    std::time_t now = std::time(nullptr);
    std::tm tm {};
    localtime_r(&now, &tm);
    char date[3] = {static_cast<char>(tm.tm_year % 256), static_cast<char>(tm.tm_mon + 1),
                    static_cast<char>(tm.tm_mday)};
    file_.writeAt(1, date, 3);
}

std::int64_t DbfTable::updateRecord(std::int64_t record, const std::vector<Value>& values, const std::vector<bool>& changed)
{
    requireWritable("change the record");
    File::Lock lock(file_);
    refreshCount();
    if (record < 0 || record >= header_.recordCount)
        throw EngineError(BaseName(file_.path()) + ": record " + std::to_string(record + 1) + " does not exist");
    std::string rec(static_cast<size_t>(header_.recordLength), '\0');
    std::int64_t offset = header_.headerLength + record * header_.recordLength;
    file_.readExact(offset, rec.data(), rec.size(), "record");
    const std::string before = rec;
    for (size_t k = 0; k < visible_.size() && k < values.size(); ++k)
        if (k < changed.size() && changed[k]) encode(rec, raw(static_cast<int>(k)), values[k], false);
    file_.writeAt(offset, rec.data(), rec.size());
    cacheCount_ = 0;
    if (indexes_ && indexes_->changes(before.data(), rec.data()))
        updateIndexes({{static_cast<std::uint32_t>(record + 1), before.data(), rec.data()}},
                      [&] { file_.writeAt(offset, before.data(), before.size()); });
    stampHeader();
    return record;
}

// Letters whose bytes mean the same in every flavor; the binary ones
// (I, B, O, @, T, Y...) are read by flavor.
std::string DbfTable::storedLayout(int field) const
{
    const DbfField& f = raw(field);
    if (IsBlobType(f.type) || f.type == ftAutoInc || f.nullBit >= 0 || f.varBit >= 0 || f.nullableWithoutFlags)
        return {};
    const bool plain = f.letter == 'C' || f.letter == 'N' || f.letter == 'F' || f.letter == 'L' || f.letter == 'D';
    return "dbf " + std::string(1, f.letter) + " " + std::to_string(f.length) + "." + std::to_string(f.decimals) +
           (plain ? std::string() : " flavor " + std::to_string(static_cast<int>(header_.flavor))) + " cp " +
           std::to_string(codePage_->number());
}

// A numeral (N, F) of another table's field goes into a numeral field of
// this table's code page with at least as many decimals as text, unparsed.
TableFormat::StoredRewrite DbfTable::storedRewrite(int field, const TableFormat& from, int fromField) const
{
    const auto* source = dynamic_cast<const DbfTable*>(&from);
    if (!source || storedLayout(field).empty() || source->storedLayout(fromField).empty()) return {};
    const DbfField& to = raw(field);
    const DbfField& f = source->raw(fromField);
    auto numeral = [](char letter) { return letter == 'N' || letter == 'F'; };
    if (!numeral(to.letter) || !numeral(f.letter) || to.decimals < f.decimals ||
        source->codePage_->number() != codePage_->number())
        return {};
    return [decimals = f.decimals, width = to.length, toDecimals = to.decimals](std::string_view bytes,
                                                                                 std::string& out) {
        return RewriteNumeral(bytes, decimals, width, toDecimals, out);
    };
}

bool DbfTable::storedMayBeNaN(int field) const
{
    const char letter = raw(field).letter;
    return letter != 'N' && letter != 'F';
}

std::string_view DbfTable::storedBytes(std::int64_t record, int field)
{
    const DbfField& f = raw(field);
    return {record_(record) + f.offset, static_cast<size_t>(f.length)};
}

std::int64_t DbfTable::appendRecord(const std::vector<Value>& values) { return appendStored(values, {}); }

std::int64_t DbfTable::appendStored(const std::vector<Value>& values, const std::vector<std::string_view>& stored)
{
    requireWritable("add a record");
    std::unique_ptr<File::Lock> lock;
    if (!appendLock_) {
        lock = std::make_unique<File::Lock>(file_);
        refreshCount();
    }
    if (header_.flavor == DbfFlavor::DBase2 && header_.recordCount >= 65535)
        throw EngineError(BaseName(file_.path()) + ": the table is full");
    std::string rec(static_cast<size_t>(header_.recordLength), ' ');
    if (header_.nullFlagsOffset >= 0)
        std::memset(rec.data() + header_.nullFlagsOffset, 0, static_cast<size_t>(header_.nullFlagsLength));
    for (size_t k = 0; k < visible_.size(); ++k) {
        const DbfField& f = raw(static_cast<int>(k));
        if (k < stored.size() && stored[k].size() == static_cast<size_t>(f.length))
            std::memcpy(rec.data() + f.offset, stored[k].data(), stored[k].size());
        else
            encode(rec, f, k < values.size() ? values[k] : Value(), true);
    }
    std::int64_t record = header_.recordCount;
    if (appendLock_) {
        if (pending_.empty()) pendingFirst_ = record;
        pending_ += rec;
        ++header_.recordCount;
        if (pending_.size() >= (1u << 20)) flushAppends();
        return record;
    }
    rec += '\x1A';   // the end-of-file mark stays behind the last record
    file_.writeAt(header_.headerLength + record * header_.recordLength, rec.data(), rec.size());
    writeCount(record + 1);
    ++header_.recordCount;
    cacheCount_ = 0;
    updateIndexes({{static_cast<std::uint32_t>(record + 1), nullptr, rec.data()}}, [&] {
        header_.recordCount = record;
        writeCount(record);
    });
    stampHeader();
    return record;
}

void DbfTable::deleteRecord(std::int64_t record)
{
    requireWritable("delete the record");
    File::Lock lock(file_);
    refreshCount();
    if (record < 0 || record >= header_.recordCount)
        throw EngineError(BaseName(file_.path()) + ": record " + std::to_string(record + 1) + " does not exist");
    const std::string before(record_(record), static_cast<size_t>(header_.recordLength));
    file_.writeAt(header_.headerLength + record * header_.recordLength, "*", 1);
    cacheCount_ = 0;
    if (indexes_) {
        std::string after = before;
        after[0] = '*';
        if (indexes_->changes(before.data(), after.data()))
            updateIndexes({{static_cast<std::uint32_t>(record + 1), before.data(), after.data()}},
                          [&] { file_.writeAt(header_.headerLength + record * header_.recordLength, before.data(), 1); });
    }
    stampHeader();
}

void DbfTable::beginAppends()
{
    requireWritable("add records");
    if (appendLock_) return;
    auto lock = std::make_unique<File::Lock>(file_);
    refreshCount();
    appendLock_ = std::move(lock);
    batchStart_ = header_.recordCount;
}

// The index files follow the records that made it into the table, whether
// the last of them were written or not.
void DbfTable::endAppends()
{
    if (!appendLock_) return;
    std::exception_ptr failed;
    try {
        flushAppends();
    } catch (...) {
        failed = std::current_exception();
    }
    try {
        // A few rows added to many go into the trees one by one; more, and
        // the trees are laid out again from all the records.
        const std::int64_t added = header_.recordCount - batchStart_;
        std::string records;
        std::vector<IndexRecordChange> changes;
        if (indexes_ && added > 0 && added * 8 <= batchStart_) {
            for (std::int64_t r = batchStart_; r < header_.recordCount; ++r) records.append(record_(r), header_.recordLength);
            for (std::int64_t r = batchStart_; r < header_.recordCount; ++r)
                changes.push_back({static_cast<std::uint32_t>(r + 1), nullptr,
                                   records.data() + (r - batchStart_) * header_.recordLength});
        }
        if (added != 0)
            updateIndexes(changes, [&] {
                header_.recordCount = batchStart_;
                writeCount(batchStart_);
            });
    } catch (...) {
        if (!failed) failed = std::current_exception();
    }
    appendLock_.reset();
    if (failed) std::rethrow_exception(failed);
}

void DbfTable::writeCount(std::int64_t count)
{
    char bytes[4];
    if (header_.flavor == DbfFlavor::DBase2) {
        bytes[0] = static_cast<char>(count & 0xFF);
        bytes[1] = static_cast<char>(count >> 8);
        file_.writeAt(1, bytes, 2);
    } else {
        PutLe32(bytes, static_cast<std::uint32_t>(count));
        file_.writeAt(4, bytes, 4);
    }
}

// The gathered records first, then the count that makes them rows: a
// failure in between leaves them outside the table.
void DbfTable::flushAppends()
{
    if (pending_.empty()) return;
    const std::int64_t first = pendingFirst_, count = header_.recordCount;
    try {
        pending_ += '\x1A';
        file_.writeAt(header_.headerLength + first * header_.recordLength, pending_.data(), pending_.size());
        pending_.clear();   // keeps its room for the next block of records
        writeCount(count);
    } catch (...) {
        pending_.clear();
        header_.recordCount = first;
        cacheCount_ = 0;
        throw;
    }
    cacheCount_ = 0;
    stampHeader();   // the records are in; only the date of the change is left
}

std::unique_ptr<TableFormat> OpenDbfTable(const std::string& path, TableType type, bool readOnly)
{
    return std::make_unique<DbfTable>(path, type, readOnly);
}

} // namespace tarnel
