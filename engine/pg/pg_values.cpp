#include "engine/pg/pg_values.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/daynum.h"
#include "engine/engine_types.h"
#include "engine/number_format.h"

namespace tarnel::pg {

namespace {

bool Digits(std::string_view& s, std::size_t n, int& out)
{
    if (s.size() < n) return false;
    int v = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (s[k] < '0' || s[k] > '9') return false;
        v = v * 10 + (s[k] - '0');
    }
    s.remove_prefix(n);
    out = v;
    return true;
}

// "yyyy-mm-dd" at the front of s.
bool ReadDate(std::string_view& s, std::int64_t& day)
{
    int y = 0, m = 0, d = 0;
    if (!Digits(s, 4, y) || s.empty() || s[0] != '-') return false;
    s.remove_prefix(1);
    if (!Digits(s, 2, m) || s.empty() || s[0] != '-') return false;
    s.remove_prefix(1);
    if (!Digits(s, 2, d) || !IsValidDate(y, m, d)) return false;
    day = DayNumber(y, m, d);
    return true;
}

// "hh:mm:ss[.ffffff]" as milliseconds; the whole of s.
bool ReadTime(std::string_view s, std::int64_t& ms)
{
    int h = 0, mi = 0, sec = 0;
    if (!Digits(s, 2, h) || s.empty() || s[0] != ':') return false;
    s.remove_prefix(1);
    if (!Digits(s, 2, mi) || s.empty() || s[0] != ':') return false;
    s.remove_prefix(1);
    if (!Digits(s, 2, sec) || h > 24 || mi > 59 || sec > 60) return false;
    double fraction = 0;
    if (!s.empty()) {
        if (s[0] != '.') return false;
        double scale = 0.1;
        for (std::size_t k = 1; k < s.size(); ++k, scale /= 10) {
            if (s[k] < '0' || s[k] > '9') return false;
            fraction += (s[k] - '0') * scale;
        }
    }
    ms = (h * 3600LL + mi * 60 + sec) * 1000 + std::llround(fraction * 1000);
    // 24:00:00 is the server's end of the day; the engine's times stay below one day.
    if (ms >= 86400000) ms = 86399999;
    return true;
}

std::string MillisecondsText(std::int64_t ms)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", static_cast<int>(ms / 3600000),
                  static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60),
                  static_cast<int>(ms % 1000));
    return buf;
}

std::string FloatText(double v)
{
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);   // the shortest text that reads back the same
    return std::string(buf, r.ptr);
}

} // namespace

Value ValueOfServerText(const FieldDef& field, std::string_view text)
{
    switch (field.type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftLargeint:
    case ftAutoInc: {
        std::int64_t v = 0;
        auto r = std::from_chars(text.data(), text.data() + text.size(), v);
        if (r.ec == std::errc() && r.ptr == text.data() + text.size()) return Value::integer(v);
        break;
    }
    case ftBoolean:
        if (text == "t" || text == "true") return Value::integer(1);
        if (text == "f" || text == "false") return Value::integer(0);
        break;
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftFMTBcd: {
        if (text == "NaN") return Value::real(NAN);
        if (text == "Infinity") return Value::real(INFINITY);
        if (text == "-Infinity") return Value::real(-INFINITY);
        double v = 0;
        auto r = std::from_chars(text.data(), text.data() + text.size(), v);
        if (r.ec == std::errc() && r.ptr == text.data() + text.size()) return Value::real(v);
        break;
    }
    case ftDate: {
        std::int64_t day = 0;
        std::string_view s = text;
        if (ReadDate(s, day) && s.empty()) return Value::integer(day);
        break;
    }
    case ftTime: {
        std::int64_t ms = 0;
        if (ReadTime(text, ms)) return Value::real(static_cast<double>(ms) / 86400000.0);
        break;
    }
    case ftDateTime:
    case ftTimeStamp: {
        std::int64_t day = 0, ms = 0;
        std::string_view s = text;
        if (ReadDate(s, day) && !s.empty() && s[0] == ' ' && ReadTime(s.substr(1), ms))
            return Value::real(static_cast<double>(day) + static_cast<double>(ms) / 86400000.0);
        if (ReadDate(s = text, day) && s.empty()) return Value::real(static_cast<double>(day));
        break;
    }
    default:
        if (IsBinaryType(field.type)) {
            if (text.size() < 2 || text[0] != '\\' || text[1] != 'x' || text.size() % 2) break;
            std::string bytes;
            bytes.reserve(text.size() / 2 - 1);
            for (std::size_t k = 2; k < text.size(); k += 2) {
                int hi = HexDigitValue(text[k]), lo = HexDigitValue(text[k + 1]);
                if (hi < 0 || lo < 0) return Value::text(std::string(text));
                bytes.push_back(static_cast<char>(hi * 16 + lo));
            }
            return Value::bytes(std::move(bytes));
        }
        return Value::text(std::string(text));
    }
    return Value::text(std::string(text));
}

Text ServerTextOfValue(const FieldDef& field, const Value& value)
{
    switch (value.kind) {
    case Value::Kind::Null: return std::nullopt;
    case Value::Kind::Text: return value.s;
    case Value::Kind::Bytes: {
        if (!IsBinaryType(field.type)) return value.s;
        static const char* hex = "0123456789abcdef";
        std::string out = "\\x";
        out.reserve(2 + value.s.size() * 2);
        for (unsigned char c : value.s) {
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
        return out;
    }
    case Value::Kind::Int:
        if (field.type == ftBoolean) return value.i ? "true" : "false";
        if (field.type == ftDate) return DateText(value.i);
        return std::to_string(value.i);
    case Value::Kind::Float:
        if (field.type == ftTime) {
            std::int64_t ms = std::llround(value.f * 86400000.0);
            return MillisecondsText(((ms % 86400000) + 86400000) % 86400000);
        }
        if (field.type == ftDateTime || field.type == ftTimeStamp || field.type == ftDate) {
            std::int64_t ms = std::llround(value.f * 86400000.0);
            std::int64_t day = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
            if (field.type == ftDate) return DateText(day);
            return DateText(day) + " " + MillisecondsText(ms - day * 86400000);
        }
        return FloatText(value.f);
    }
    return std::nullopt;
}

} // namespace tarnel::pg
