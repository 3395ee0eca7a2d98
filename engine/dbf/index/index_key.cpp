// Evaluating index key expressions over raw dBASE/FoxPro records.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/daynum.h"
#include "engine/dbf/index/index_key.h"

namespace tarnel {

namespace {

std::string Upper(std::string s)
{
    for (char& c : s) if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string Squeeze(const std::string& s)
{
    std::string out;
    for (char c : s) if (c != ' ' && c != '\t') out += c;
    return Upper(out);
}

// Splits at top-level commas or plus signs.
std::vector<std::string> SplitTop(const std::string& s, char sep)
{
    std::vector<std::string> parts(1);
    int depth = 0;
    for (char c : s) {
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (c == sep && depth == 0) parts.emplace_back();
        else parts.back() += c;
    }
    return parts;
}

const DbfField* FindField(const DbfHeader& header, const std::string& name)
{
    std::string wanted = name;
    auto arrow = wanted.find("->");   // ALIAS->FIELD
    if (arrow != std::string::npos) wanted = wanted.substr(arrow + 2);
    for (const DbfField& f : header.fields)
        if (!f.system && Upper(f.name) == wanted) return &f;
    // A table in a database container keeps long field names there; the
    // table itself holds their first ten characters.
    if (wanted.size() > 10)
        for (const DbfField& f : header.fields)
            if (!f.system && f.name.size() == 10 && Upper(f.name) == wanted.substr(0, 10)) return &f;
    return nullptr;
}

bool ParseInt(const std::string& s, int& out)
{
    if (s.empty() || s.size() > 3) return false;
    out = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

double FieldNumber(const char* record, const DbfField& f)
{
    std::string text(record + f.offset, static_cast<size_t>(f.length));
    return std::strtod(text.c_str(), nullptr);
}

} // namespace

std::optional<KeyExpression> KeyExpression::compile(const std::string& expression, const DbfHeader& header, KeyStyle style)
{
    KeyExpression k;
    k.style_ = style;
    std::string text = Squeeze(expression);
    if (text.empty()) return std::nullopt;
    auto parts = SplitTop(text, '+');
    for (const std::string& part : parts) {
        Term t;
        auto open = part.find('(');
        std::string field = part;
        if (open != std::string::npos) {
            if (part.back() != ')') return std::nullopt;
            std::string name = part.substr(0, open);
            auto args = SplitTop(part.substr(open + 1, part.size() - open - 2), ',');
            field = args[0];
            if (name == "UPPER" && args.size() == 1) t.op = Op::Upper;
            else if (name == "LOWER" && args.size() == 1) t.op = Op::Lower;
            else if (name == "DTOS" && args.size() == 1) t.op = Op::Dtos;
            else if (name == "STR" && args.size() <= 3) {
                t.op = Op::Str;
                if (args.size() > 1 && !ParseInt(args[1], t.length)) return std::nullopt;
                if (args.size() > 2 && !ParseInt(args[2], t.decimals)) return std::nullopt;
                if (t.length < 1 || t.length > 40 || t.decimals >= t.length) return std::nullopt;
            } else return std::nullopt;
        }
        t.field = FindField(header, field);
        if (!t.field) return std::nullopt;
        char letter = t.field->letter;
        switch (t.op) {
        case Op::Upper: case Op::Lower: if (letter != 'C') return std::nullopt; break;
        case Op::Dtos: if (letter != 'D') return std::nullopt; break;
        case Op::Str: if (letter != 'N' && letter != 'F') return std::nullopt; break;
        case Op::Field:
            if (letter == 'C') break;
            if (letter == 'D' && parts.size() > 1) return std::nullopt;   // a date added to text
            if (parts.size() > 1) return std::nullopt;
            if (style == KeyStyle::Mdx) {
                if (letter == 'D') k.type_ = 'D';
                else if (letter == 'N' || letter == 'F') k.type_ = 'N';
                else return std::nullopt;
                break;
            }
            if (letter == 'D' || letter == 'N' || letter == 'F' ||
                (letter == 'I' && style == KeyStyle::FoxPro))
                k.type_ = 'B';
            else return std::nullopt;
            break;
        }
        k.terms_.push_back(t);
    }
    return k;
}

std::string FoxNumberKey(double v)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    // Positive numbers flip the sign bit, negative ones every bit.
    bits = (bits & 0x8000000000000000ull) ? ~bits : (bits | 0x8000000000000000ull);
    std::string out(8, '\0');
    for (int b = 0; b < 8; ++b) out[static_cast<size_t>(b)] = static_cast<char>(bits >> (56 - 8 * b));
    return out;
}

std::string FoxIntegerKey(std::int32_t v)
{
    const std::uint32_t raw = static_cast<std::uint32_t>(v) ^ 0x80000000u;
    std::string out(4, '\0');
    for (int b = 0; b < 4; ++b) out[static_cast<size_t>(b)] = static_cast<char>(raw >> (24 - 8 * b));
    return out;
}

std::string MdxNumberKey(const char* text, size_t length)
{
    size_t i = 0;
    while (i < length && text[i] == ' ') ++i;
    bool negative = false;
    if (i < length && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::string digits;
    size_t point = std::string::npos;
    for (; i < length; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') digits += c;
        else if (c == '.' && point == std::string::npos) point = digits.size();
        else break;
    }
    if (point == std::string::npos) point = digits.size();
    std::string out(12, '\0');
    out[0] = 0x34;
    out[1] = 0x01;
    const size_t lead = digits.find_first_not_of('0');
    if (lead == std::string::npos) return out;   // zero, of either sign
    const int exponent = static_cast<int>(point) - static_cast<int>(lead);
    digits = digits.substr(lead, 20);
    digits.erase(digits.find_last_not_of('0') + 1);
    out[0] = static_cast<char>(0x34 + exponent);
    out[1] = static_cast<char>((digits.size() << 2) | 0x01 | (negative ? 0x80 : 0));
    for (size_t d = 0; d < digits.size(); ++d) {
        const int nibble = digits[d] - '0';
        out[2 + d / 2] = static_cast<char>(out[2 + d / 2] | (d % 2 ? nibble : nibble << 4));
    }
    return out;
}

int CompareMdxNumbers(const std::string& a, const std::string& b)
{
    struct Decoded {
        int sign = 0;   // -1, 0, 1
        int exponent = 0;
        std::string digits;
    };
    auto decode = [](const std::string& k) {
        Decoded d;
        if (k.size() < 12) return d;
        const auto* p = reinterpret_cast<const unsigned char*>(k.data());
        const unsigned count = std::min(20u, unsigned(p[1] >> 2) & 0x1F);
        for (unsigned n = 0; n < count; ++n) d.digits += static_cast<char>('0' + ((n % 2 ? p[2 + n / 2] : p[2 + n / 2] >> 4) & 0x0F));
        d.digits.erase(d.digits.find_last_not_of('0') + 1);
        if (d.digits.empty()) return d;
        d.sign = (p[1] & 0x80) ? -1 : 1;
        d.exponent = int(p[0]) - 0x34;
        return d;
    };
    const Decoded x = decode(a), y = decode(b);
    if (x.sign != y.sign) return x.sign < y.sign ? -1 : 1;
    if (x.sign == 0) return 0;
    int magnitude = x.exponent != y.exponent ? (x.exponent < y.exponent ? -1 : 1) : x.digits.compare(y.digits);
    magnitude = magnitude < 0 ? -1 : magnitude > 0 ? 1 : 0;
    return x.sign * magnitude;
}

std::string KeyExpression::binary(const char* record, const DbfField& f) const
{
    if (f.letter == 'I') {
        std::int32_t raw;
        std::memcpy(&raw, record + f.offset, 4);   // stored little-endian
        return FoxIntegerKey(raw);
    }
    if (style_ == KeyStyle::Mdx && f.letter != 'D') return MdxNumberKey(record + f.offset, static_cast<size_t>(f.length));
    double v = 0;
    if (f.letter == 'D') {
        std::string text(record + f.offset, 8);
        int y = 0, m = 0, d = 0;
        if (std::sscanf(text.c_str(), "%4d%2d%2d", &y, &m, &d) == 3) v = static_cast<double>(DayNumber(y, m, d) + 2415019);
    } else {
        v = FieldNumber(record, f);
    }
    if (style_ == KeyStyle::FoxPro) return FoxNumberKey(v);
    std::string out(8, '\0');
    std::memcpy(out.data(), &v, 8);   // .ndx numbers and dBASE dates: little-endian doubles
    return out;
}

std::vector<const DbfField*> KeyExpression::plainFields() const
{
    std::vector<const DbfField*> out;
    for (const Term& t : terms_) {
        if (t.op != Op::Field) return {};
        out.push_back(t.field);
    }
    return out;
}

std::string KeyExpression::evaluate(const char* record) const
{
    std::string key;
    for (const Term& t : terms_) {
        const DbfField& f = *t.field;
        std::string raw(record + f.offset, static_cast<size_t>(f.length));
        switch (t.op) {
        case Op::Field:
            if (type_ != 'C') return binary(record, f);
            key += raw;
            break;
        case Op::Upper: key += Upper(raw); break;
        case Op::Lower:
            for (char& c : raw) if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            key += raw;
            break;
        case Op::Dtos: key += raw; break;
        case Op::Str: {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%*.*f", t.length, t.decimals, FieldNumber(record, f));
            std::string s = buf;
            if (static_cast<int>(s.size()) > t.length) s.assign(static_cast<size_t>(t.length), '*');
            key += s;
            break;
        }
        }
    }
    return key;
}

std::optional<bool> FilterExcludes(const std::string& filter, bool deleted)
{
    std::string f = Squeeze(filter);
    if (f.empty()) return false;
    if (f == "!DELETED()" || f == "NOTDELETED()" || f == ".NOT.DELETED()") return deleted;
    return std::nullopt;
}

} // namespace tarnel
