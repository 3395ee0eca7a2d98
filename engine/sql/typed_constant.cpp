#include "engine/sql/typed_constant.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "engine/daynum.h"
#include "engine/error.h"
#include "engine/engine_types.h"

namespace tarnel::sql {

namespace {

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool AllDigits(std::string_view s)
{
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

bool ReadNumber(std::string_view s, double& out)
{
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size() && std::isfinite(out);
}

std::string RealText(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    std::string out = buf;
    // Keep it a real for SQLite even when it has no fraction.
    if (out.find_first_of(".eEn") == std::string::npos) out += ".0";
    return out;
}

bool ReadDate(std::string_view s, const UserDateReader& userDate, std::int64_t& day)
{
    if (s.size() > 4 && s[4] == '-') return ParseDateText(s, day);   // yyyy-mm-dd
    if (userDate && userDate(s, day)) return true;
    if (AllDigits(s) && s.size() <= 7) {   // a day number, as the builder writes it
        day = std::stoll(std::string(s));
        return true;
    }
    return !userDate && ParseDateText(s, day);
}

// A date, or a date and a time of day after a blank.
bool ReadDateTime(std::string_view s, const UserDateReader& userDate, double& out)
{
    std::int64_t day = 0;
    if (ReadDate(s, userDate, day)) {
        out = static_cast<double>(day);
        return true;
    }
    const size_t blank = s.find_last_of(' ');
    double time = 0;
    if (blank != std::string_view::npos && ReadDate(Trimmed(s.substr(0, blank)), userDate, day) &&
        ParseTimeText(s.substr(blank + 1), time)) {
        out = static_cast<double>(day) + time;
        return true;
    }
    // A day number with the time of day as its fraction.
    return ReadNumber(s, out);
}

bool ReadBoolean(std::string_view s, bool& out)
{
    for (std::string_view t : {"True", "T", "Yes"})
        if (SameText(s, t)) return out = true, true;
    for (std::string_view f : {"False", "F", "No"})
        if (SameText(s, f)) return out = false, true;
    return false;
}

[[noreturn]] void Refuse(const FieldDef& field, std::string_view text, const char* what)
{
    throw EngineError("Cannot compare the field " + field.name + " with \"" + std::string(text) + "\": " +
                      what);
}

} // namespace

std::optional<std::string> TypedConstant(const FieldDef& field, std::string_view text, const UserDateReader& userDate)
{
    const std::string_view s = Trimmed(text);
    switch (field.type) {
    case ftDate: {
        std::int64_t day = 0;
        if (!ReadDate(s, userDate, day)) Refuse(field, text, "not a date");
        return std::to_string(day);
    }
    case ftDateTime:
    case ftTimeStamp: {
        double v = 0;
        if (!ReadDateTime(s, userDate, v)) Refuse(field, text, "not a date and time");
        return RealText(v);
    }
    case ftTime: {
        double v = 0;
        if (!ParseTimeText(s, v)) Refuse(field, text, "not a time of day (hh:mm or hh:mm:ss)");
        return RealText(v);
    }
    case ftBoolean: {
        bool v = false;
        if (!ReadBoolean(s, v)) Refuse(field, text, "not a logical value (True, False, T, F, Yes or No)");
        return v ? "1" : "0";
    }
    default: break;
    }
    if (IsIntegerType(field.type) || IsFloatType(field.type)) {
        std::int64_t whole = 0;
        std::string_view digits = !s.empty() && s.front() == '+' ? s.substr(1) : s;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), whole);
        if (!digits.empty() && ec == std::errc() && end == digits.data() + digits.size())
            return std::to_string(whole);
        double v = 0;
        if (!ReadNumber(s, v)) Refuse(field, text, "not a number");
        return RealText(v);
    }
    return std::nullopt;
}

} // namespace tarnel::sql
