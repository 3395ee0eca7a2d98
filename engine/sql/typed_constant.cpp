#include "engine/sql/typed_constant.h"

#include <cmath>
#include <cstdio>

#include "engine/daynum.h"
#include "engine/error.h"
#include "engine/engine_types.h"
#include "engine/number_format.h"
#include "engine/value_convert.h"

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

// A finite number: the engine's numerals, but never "inf" or "nan".
bool ReadNumber(std::string_view s, double& out)
{
    return ParseNumber(s, out) && std::isfinite(out);
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
        std::int64_t v = 0;
        if (!ParseBoolean(s, v)) Refuse(field, text, "not a logical value (True, False, T, F, Yes or No)");
        return v ? "1" : "0";
    }
    default: break;
    }
    if (IsIntegerType(field.type) || IsFloatType(field.type)) {
        std::int64_t whole = 0;
        if (ParseInteger(s, whole)) return std::to_string(whole);
        double v = 0;
        if (!ReadNumber(s, v)) Refuse(field, text, "not a number");
        return RealText(v);
    }
    return std::nullopt;
}

} // namespace tarnel::sql
