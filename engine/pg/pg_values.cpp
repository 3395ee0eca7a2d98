#include "engine/pg/pg_values.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/daynum.h"
#include "engine/engine_types.h"
#include "engine/error.h"
#include "engine/value_convert.h"

namespace tarnel::pg {

namespace {

[[noreturn]] void Wrong(const FieldDef& field, std::string_view what)
{
    throw EngineError("The field " + field.name + " cannot hold " + std::string(what));
}

// Milliseconds of the day, hh:mm:ss.mmm.
std::string ClockText(std::int64_t ms)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", static_cast<int>(ms / 3600000),
                  static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
    return buf;
}

std::string DateTimeServerText(double dateTime)
{
    const auto ms = static_cast<std::int64_t>(std::llround(dateTime * 86400000.0));
    std::int64_t day = ms / 86400000, rest = ms % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --day;
    }
    return DateText(day) + ' ' + ClockText(rest);
}

// "hh:mm:ss[.ffffff]" as a fraction of the day; false when it is not one.
bool ParseClock(std::string_view text, double& fraction)
{
    int h = 0, m = 0;
    double s = 0;
    std::string copy(text);
    char tail = 0;
    if (std::sscanf(copy.c_str(), "%d:%d:%lf%c", &h, &m, &s, &tail) != 3) return false;
    if (h < 0 || h > 24 || m < 0 || m > 59 || s < 0 || s >= 61) return false;
    fraction = (h * 3600.0 + m * 60.0 + s) / 86400.0;
    return true;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Real(double v)
{
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
    // The shortest text that reads back as the same double.
    char buf[32];
    auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
    return std::string(buf, end);
}

} // namespace

Text ServerTextOfValue(const FieldDef& field, const Value& v)
{
    if (v.isNull()) return std::nullopt;
    const TFieldType t = field.type;
    if (IsBinaryType(t)) {
        static const char* digits = "0123456789abcdef";
        std::string out = "\\x";
        out.reserve(2 + v.s.size() * 2);
        for (unsigned char c : v.s) {
            out += digits[c >> 4];
            out += digits[c & 15];
        }
        return out;
    }
    if (IsTextType(t)) {
        if (v.kind == Value::Kind::Text) return v.s;
        return FormatValueText(field, v);
    }
    double number = 0;
    if (v.kind == Value::Kind::Int) number = static_cast<double>(v.i);
    else if (v.kind == Value::Kind::Float) number = v.f;
    else Wrong(field, "the text \"" + v.s.substr(0, 40) + "\"");
    switch (t) {
    case ftBoolean: return std::string(number != 0 ? "t" : "f");
    case ftDate:
        if (v.kind != Value::Kind::Int && number != std::trunc(number)) Wrong(field, "a time of day");
        return DateText(static_cast<std::int64_t>(number));
    case ftTime: {
        auto ms = static_cast<std::int64_t>(std::llround(number * 86400000.0));
        return ClockText(((ms % 86400000) + 86400000) % 86400000);
    }
    case ftDateTime:
    case ftTimeStamp: return DateTimeServerText(number);
    default: break;
    }
    if (IsIntegerType(t)) {
        if (v.kind == Value::Kind::Int) return std::to_string(v.i);
        if (number != std::trunc(number) || !std::isfinite(number)) Wrong(field, "the number " + Real(number));
        return std::to_string(static_cast<std::int64_t>(number));
    }
    if (IsFloatType(t)) return v.kind == Value::Kind::Int ? std::to_string(v.i) : Real(number);
    Wrong(field, "a value of its type");
}

Value ValueOfServerText(const FieldDef& field, std::string_view text)
{
    const TFieldType t = field.type;
    auto bad = [&]() -> Value {
        throw EngineError("The server sent \"" + std::string(text.substr(0, 40)) + "\" for the field " + field.name +
                          ", which is not a " + std::string(EngineTypeName(t)));
    };
    if (IsBinaryType(t)) {
        if (text.size() < 2 || text[0] != '\\' || text[1] != 'x' || text.size() % 2 != 0) return bad();
        std::string out;
        out.reserve(text.size() / 2 - 1);
        for (size_t i = 2; i < text.size(); i += 2) {
            int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
            if (hi < 0 || lo < 0) return bad();
            out += static_cast<char>(hi * 16 + lo);
        }
        return Value::bytes(std::move(out));
    }
    if (IsTextType(t)) return Value::text(std::string(text));
    switch (t) {
    case ftBoolean: return Value::integer(text == "t" ? 1 : 0);
    case ftDate: {
        std::int64_t day = 0;
        if (!ParseDateText(text, day)) return bad();
        return Value::integer(day);
    }
    case ftTime: {
        double fraction = 0;
        if (!ParseClock(text, fraction)) return bad();
        return Value::real(fraction);
    }
    case ftDateTime:
    case ftTimeStamp: {
        std::int64_t day = 0;
        double fraction = 0;
        const size_t blank = text.find(' ');
        if (blank == std::string_view::npos || !ParseDateText(text.substr(0, blank), day) ||
            !ParseClock(text.substr(blank + 1), fraction))
            return bad();
        return Value::real(static_cast<double>(day) + fraction);
    }
    default: break;
    }
    std::string copy(text);
    char* end = nullptr;
    if (IsIntegerType(t)) {
        errno = 0;
        long long n = std::strtoll(copy.c_str(), &end, 10);
        if (end == copy.c_str() || *end || errno) return bad();
        return Value::integer(n);
    }
    if (IsFloatType(t)) {
        double d = std::strtod(copy.c_str(), &end);
        if (end == copy.c_str() || *end) return bad();
        return Value::real(d);
    }
    return Value::text(std::move(copy));
}

} // namespace tarnel::pg
