#include "engine/paradox/px_fields.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "engine/error.h"
#include "engine/number_format.h"

namespace tarnel::paradox {

namespace {

[[noreturn]] void FieldError(const std::string& table, const PxField& f, const std::string& what)
{
    throw EngineError(table + ": field '" + f.def.name + "': " + what);
}

std::uint64_t GetBE(const unsigned char* p, int n)
{
    std::uint64_t v = 0;
    for (int k = 0; k < n; ++k) v = (v << 8) | p[k];
    return v;
}

void PutBE(unsigned char* p, int n, std::uint64_t v)
{
    for (int k = n - 1; k >= 0; --k) {
        p[k] = static_cast<unsigned char>(v & 0xFF);
        v >>= 8;
    }
}

// Signed integers of n bytes: the sign bit is flipped.
std::int64_t GetInt(const unsigned char* p, int n)
{
    std::uint64_t u = GetBE(p, n) ^ (std::uint64_t{1} << (8 * n - 1));
    std::uint64_t sign = std::uint64_t{1} << (8 * n - 1);
    return (u & sign) ? static_cast<std::int64_t>(u) - static_cast<std::int64_t>(sign << 1)
                      : static_cast<std::int64_t>(u);
}

void PutInt(unsigned char* p, int n, std::int64_t v)
{
    std::uint64_t mask = n == 8 ? ~std::uint64_t{0} : ((std::uint64_t{1} << (8 * n)) - 1);
    PutBE(p, n, (static_cast<std::uint64_t>(v) & mask) ^ (std::uint64_t{1} << (8 * n - 1)));
}

double GetDouble(const unsigned char* p)
{
    std::uint64_t u = GetBE(p, 8);
    if (u & 0x8000000000000000ull) u &= 0x7FFFFFFFFFFFFFFFull;
    else u = ~u;
    return std::bit_cast<double>(u);
}

void PutDouble(unsigned char* p, double d)
{
    if (d == 0) d = 0.0;   // no negative zero
    std::uint64_t u = std::bit_cast<std::uint64_t>(d);
    if (u & 0x8000000000000000ull) u = ~u;
    else u |= 0x8000000000000000ull;
    PutBE(p, 8, u);
}

double GetBcd(const unsigned char* p, int decimals)
{
    bool negative = (p[0] & 0x80) == 0;
    int stored = p[0] & 0x3F;
    if (stored <= 32) decimals = stored;
    std::string digits;
    digits.reserve(36);
    if (negative) digits += '-';
    for (int i = 2; i < 34; ++i) {
        int nibble = (i % 2) ? (p[i / 2] & 0x0F) : (p[i / 2] >> 4);
        if (negative) nibble ^= 0x0F;
        if (nibble > 9) nibble = 0;   // stray bits past the precision a double holds
        if (i == 34 - decimals) digits += '.';
        digits += static_cast<char>('0' + nibble);
    }
    double value = 0;
    ParseNumber(digits, value);   // the C library's strtod would follow the locale's decimal comma
    return value;
}

bool PutBcd(unsigned char* p, double v, int decimals)
{
    if (!std::isfinite(v)) return false;
    bool negative = v < 0;
    std::string s;
    if (!AppendFixed(std::fabs(v), decimals, s)) return false;
    auto dot = s.find('.');
    std::string intPart = dot == std::string::npos ? s : s.substr(0, dot);
    std::string frac = dot == std::string::npos ? std::string() : s.substr(dot + 1);
    if (static_cast<int>(intPart.size()) > 32 - decimals) {
        if (!(intPart == "0" && decimals == 32)) return false;
        intPart.clear();
    }
    std::string all = std::string(static_cast<size_t>(32 - decimals) - intPart.size(), '0') + intPart + frac;
    if (all.find_first_not_of('0') == std::string::npos) negative = false;
    std::memset(p, 0, kBcdSize);
    p[0] = static_cast<unsigned char>((negative ? 0x00 : 0x80) | 0x40 | decimals);
    for (int i = 2; i < 34; ++i) {
        int nibble = all[static_cast<size_t>(i - 2)] - '0';
        if (negative) nibble ^= 0x0F;
        if (i % 2) p[i / 2] = static_cast<unsigned char>(p[i / 2] | nibble);
        else p[i / 2] = static_cast<unsigned char>(nibble << 4);
    }
    return true;
}

} // namespace


bool IsBlank(const unsigned char* p, int n)
{
    for (int k = 0; k < n; ++k)
        if (p[k]) return false;
    return true;
}

bool PxField::isBlob() const
{
    return code == pxMemo || code == pxBlob || code == pxFmtMemo || code == pxOle || code == pxGraphic;
}

TFieldType FieldTypeOfCode(std::uint8_t code)
{
    switch (code) {
    case pxAlpha: return ftString;
    case pxDate: return ftDate;
    case pxShort: return ftSmallint;
    case pxLong: return ftInteger;
    case pxMoney: return ftCurrency;
    case pxNumber: return ftFloat;
    case pxLogical: return ftBoolean;
    case pxMemo: return ftMemo;
    case pxBlob: return ftBlob;
    case pxFmtMemo: return ftFmtMemo;
    case pxOle: return ftParadoxOle;
    case pxGraphic: return ftGraphic;
    case pxTime: return ftTime;
    case pxTimestamp: return ftDateTime;
    case pxAutoInc: return ftAutoInc;
    case pxBcd: return ftBCD;
    case pxBytes: return ftBytes;
    default: return ftUnknown;
    }
}

int FieldWidth(std::uint8_t code, std::uint8_t sizeByte)
{
    switch (code) {
    case pxAlpha: case pxBytes: return sizeByte;
    case pxDate: case pxLong: case pxTime: case pxAutoInc: return 4;
    case pxShort: return 2;
    case pxMoney: case pxNumber: case pxTimestamp: return 8;
    case pxLogical: return 1;
    case pxBcd: return kBcdSize;
    case pxMemo: case pxBlob: case pxFmtMemo: case pxOle: case pxGraphic:
        return sizeByte >= kBlobTail ? sizeByte : 0;
    default: return 0;
    }
}

PxField FieldForDef(const FieldDef& def, const std::string& table)
{
    PxField f;
    f.def = def;
    auto fail = [&](const std::string& what) { FieldError(table, f, what); };
    auto leader = [&](int minimum) {
        int size = def.size;
        if (size < minimum) size = minimum;
        if (size > 240) fail("a blob field keeps at most 240 bytes in the record (size " + std::to_string(def.size) + ")");
        return static_cast<std::uint8_t>(size + kBlobTail);
    };
    switch (def.type) {
    case ftString: case ftFixedChar: case ftWideString:
        if (def.size < 1 || def.size > 255) fail("a text field holds 1 to 255 characters (size " + std::to_string(def.size) + ")");
        f.code = pxAlpha; f.sizeByte = static_cast<std::uint8_t>(def.size); break;
    case ftSmallint: f.code = pxShort; f.sizeByte = 2; break;
    case ftInteger: case ftWord: f.code = pxLong; f.sizeByte = 4; break;
    case ftAutoInc: f.code = pxAutoInc; f.sizeByte = 4; break;
    case ftBoolean: f.code = pxLogical; f.sizeByte = 1; break;
    case ftFloat: f.code = pxNumber; f.sizeByte = 8; break;
    case ftCurrency: f.code = pxMoney; f.sizeByte = 8; break;
    case ftBCD: case ftFMTBcd:
        if (def.size < 0 || def.size > 32) fail("a BCD field has 0 to 32 decimals (size " + std::to_string(def.size) + ")");
        f.code = pxBcd; f.sizeByte = static_cast<std::uint8_t>(def.size); break;
    case ftDate: f.code = pxDate; f.sizeByte = 4; break;
    case ftTime: f.code = pxTime; f.sizeByte = 4; break;
    case ftDateTime: case ftTimeStamp: f.code = pxTimestamp; f.sizeByte = 8; break;
    case ftBytes: case ftVarBytes:
        if (def.size < 1 || def.size > 255) fail("a bytes field holds 1 to 255 bytes (size " + std::to_string(def.size) + ")");
        f.code = pxBytes; f.sizeByte = static_cast<std::uint8_t>(def.size); break;
    case ftMemo: f.code = pxMemo; f.sizeByte = leader(1); break;
    case ftFmtMemo: f.code = pxFmtMemo; f.sizeByte = leader(0); break;
    case ftBlob: case ftTypedBinary: f.code = pxBlob; f.sizeByte = leader(0); break;
    case ftGraphic: f.code = pxGraphic; f.sizeByte = leader(0); break;
    case ftParadoxOle: case ftDBaseOle: f.code = pxOle; f.sizeByte = leader(0); break;
    default:
        fail(std::string("the type ") + std::string(EngineTypeName(def.type)) + " cannot be stored in a Paradox table");
    }
    f.width = FieldWidth(f.code, f.sizeByte);
    f.def.type = FieldTypeOfCode(f.code);
    return f;
}

Value DecodeField(const PxField& f, const unsigned char* p, const CodePage& cp)
{
    if (IsBlank(p, f.width)) return Value::null();
    switch (f.code) {
    case pxAlpha: {
        const void* nul = std::memchr(p, 0, static_cast<size_t>(f.width));
        size_t n = nul ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - p) : static_cast<size_t>(f.width);
        return Value::text(cp.decode(std::string_view(reinterpret_cast<const char*>(p), n)));
    }
    case pxShort: return Value::integer(GetInt(p, 2));
    case pxLong: case pxAutoInc: return Value::integer(GetInt(p, 4));
    case pxDate: return Value::integer(GetInt(p, 4) - kDateOffset);
    case pxTime: return Value::real(static_cast<double>(GetInt(p, 4)) / 86400000.0);
    case pxTimestamp: return Value::real(GetDouble(p) / 86400000.0 - static_cast<double>(kDateOffset));
    case pxMoney: case pxNumber: return Value::real(GetDouble(p));
    case pxLogical: return Value::integer((p[0] & 0x7F) ? 1 : 0);
    case pxBcd: return Value::real(GetBcd(p, f.sizeByte));
    case pxBytes: return Value::bytes(std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(f.width)));
    default: return Value::null();
    }
}

void EncodeField(const PxField& f, const Value& v, unsigned char* p, const CodePage& cp,
                 const std::string& table)
{
    std::memset(p, 0, static_cast<size_t>(f.width));
    if (v.isNull()) return;
    auto number = [&]() {
        double d = 0;
        if (!ValueAsNumber(v, d)) FieldError(table, f, "'" + PlainText(v) + "' is not a number");
        return d;
    };
    auto whole = [&](std::int64_t lo, std::int64_t hi) {
        double d = number();
        if (!std::isfinite(d) || d != std::floor(d) || d < static_cast<double>(lo) || d > static_cast<double>(hi))
            FieldError(table, f, FormatGeneral(d) + " is not a whole number from " + std::to_string(lo) +
                                     " to " + std::to_string(hi));
        return static_cast<std::int64_t>(d);
    };
    switch (f.code) {
    case pxAlpha: {
        thread_local std::string bytes;   // kept: one record after another reuses its room
        bytes.clear();
        std::string plain;
        std::string_view text = v.kind == Value::Kind::Text ? std::string_view(v.s) : std::string_view(plain = PlainText(v));
        if (!cp.encode(text, bytes))
            FieldError(table, f, "the text holds characters that code page " + std::to_string(cp.number()) +
                                     " cannot store");
        auto nul = bytes.find('\0');
        if (nul != std::string::npos) bytes.resize(nul);
        if (static_cast<int>(bytes.size()) > f.width)
            FieldError(table, f, "the text is longer than the field's " + std::to_string(f.width) + " characters");
        std::memcpy(p, bytes.data(), bytes.size());
        return;
    }
    case pxShort: PutInt(p, 2, whole(-32767, 32767)); return;
    case pxLong: case pxAutoInc: PutInt(p, 4, whole(-2147483647, 2147483647)); return;
    case pxDate: {
        double d = number();
        std::int64_t day = static_cast<std::int64_t>(std::floor(d)) + kDateOffset;
        if (!std::isfinite(d) || day < 1 || day > 3652059)
            FieldError(table, f, "the date is outside the years 1 to 9999");
        PutInt(p, 4, day);
        return;
    }
    case pxTime: {
        double d = number();
        if (!std::isfinite(d)) FieldError(table, f, "not a time of day");
        double frac = d - std::floor(d);
        auto ms = static_cast<std::int64_t>(std::llround(frac * 86400000.0));
        if (ms >= 86400000) ms = 86399999;
        PutInt(p, 4, ms);
        return;
    }
    case pxTimestamp: {
        double d = number();
        double ms = std::round((d + static_cast<double>(kDateOffset)) * 86400000.0);
        if (!std::isfinite(d) || ms < 86400000.0 || ms >= 3652060.0 * 86400000.0)
            FieldError(table, f, "the date and time is outside the years 1 to 9999");
        PutDouble(p, ms);
        return;
    }
    case pxMoney: case pxNumber: {
        double d = number();
        if (!std::isfinite(d)) FieldError(table, f, "not a finite number");
        PutDouble(p, d);
        return;
    }
    case pxLogical: {
        std::int64_t b = 0;
        if (v.kind == Value::Kind::Text) {
            std::string t = v.s;
            for (auto& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (t == "TRUE" || t == "T" || t == "YES" || t == "Y" || t == "1") b = 1;
            else if (t == "FALSE" || t == "F" || t == "NO" || t == "N" || t == "0") b = 0;
            else FieldError(table, f, "'" + v.s + "' is not True or False");
        } else {
            b = number() != 0;
        }
        p[0] = static_cast<unsigned char>(0x80 | b);
        return;
    }
    case pxBcd:
        if (!PutBcd(p, number(), f.sizeByte))
            FieldError(table, f, "the number does not fit " + std::to_string(32 - f.sizeByte) +
                                     " digits before the decimal point");
        return;
    case pxBytes: {
        const std::string& s = v.s;
        if (v.kind != Value::Kind::Bytes && v.kind != Value::Kind::Text) FieldError(table, f, "not a byte string");
        if (static_cast<int>(s.size()) > f.width)
            FieldError(table, f, std::to_string(s.size()) + " bytes do not fit the field's " + std::to_string(f.width));
        std::memcpy(p, s.data(), s.size());
        return;
    }
    default: FieldError(table, f, "cannot write this field type");
    }
}

} // namespace tarnel::paradox
