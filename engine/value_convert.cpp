#include "engine/value_convert.h"

#include <charconv>
#include <cmath>

#include "engine/daynum.h"
#include "engine/error.h"
#include "engine/number_format.h"

namespace tarnel {

namespace {

std::string_view TrimBlanks(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    return s;
}

// Whole numbers that a double holds exactly enough to become an int64.
constexpr double kInt64Limit = 9.2e18;

bool WholeNumber(double d) { return std::isfinite(d) && d == std::floor(d) && std::fabs(d) < kInt64Limit; }

// The range an integer type holds; Largeint the whole int64 range.
bool IntegerRange(TFieldType type, std::int64_t& low, std::int64_t& high)
{
    switch (type) {
    case ftSmallint: low = -32768; high = 32767; return true;
    case ftWord: low = 0; high = 65535; return true;
    case ftInteger: case ftAutoInc: low = INT32_MIN; high = INT32_MAX; return true;
    default: return false;
    }
}

// The type a value of unknown origin is shown as when it goes into a text field.
TFieldType NaturalType(const Value& v) { return v.kind == Value::Kind::Float ? ftFloat : ftLargeint; }

} // namespace

bool ParseInteger(std::string_view text, std::int64_t& out)
{
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

bool ParseBoolean(std::string_view text, std::int64_t& out)
{
    static const char* yes[] = {"TRUE", "T", "YES", "Y", "1"};
    static const char* no[] = {"FALSE", "F", "NO", "N", "0"};
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    for (const char* w : yes) if (SameText(text, w)) { out = 1; return true; }
    for (const char* w : no) if (SameText(text, w)) { out = 0; return true; }
    return false;
}

// --- reading --------------------------------------------------------------

void AppendValueText(const FieldDef& field, const Value& value, std::string& out)
{
    switch (value.kind) {
    case Value::Kind::Null: return;
    case Value::Kind::Text:
        if (field.type == ftString || field.type == ftFixedChar) {
            auto end = value.s.find_last_not_of(' ');
            if (end != std::string::npos) out.append(value.s, 0, end + 1);
            return;
        }
        out += value.s;
        return;
    case Value::Kind::Int:
        if (field.type == ftBoolean) out += value.i ? "True" : "False";
        else if (field.type == ftDate) out += DateText(value.i);
        else out += std::to_string(value.i);
        return;
    case Value::Kind::Float:
        if (field.type == ftTime) out += TimeText(value.f);
        else if (field.type == ftDateTime || field.type == ftTimeStamp) out += DateTimeText(value.f);
        else if (field.type == ftDate) out += DateText(static_cast<std::int64_t>(std::floor(value.f)));
        else AppendGeneral(value.f, out);
        return;
    case Value::Kind::Bytes:
        out += "<" + std::to_string(value.s.size()) + " bytes>";
        return;
    }
}

std::string FormatValueText(const FieldDef& field, const Value& value)
{
    std::string out;
    AppendValueText(field, value, out);
    return out;
}

Value NumeralValue(std::string_view text, TFieldType type)
{
    text = TrimBlanks(text);
    if (text.empty()) return Value::null();
    if (IsIntegerType(type)) {
        std::int64_t i = 0;
        if (ParseInteger(text, i)) return Value::integer(i);
    }
    double d = 0;
    if (!ParseNumber(text, d)) return Value::null();
    if (IsIntegerType(type) && WholeNumber(d)) return Value::integer(static_cast<std::int64_t>(d));
    return Value::real(d);
}

bool ValueAsNumber(const Value& value, double& out)
{
    switch (value.kind) {
    case Value::Kind::Int: out = static_cast<double>(value.i); return true;
    case Value::Kind::Float: out = value.f; return true;
    case Value::Kind::Text: return ParseNumber(value.s, out);
    default: return false;
    }
}

std::string PlainText(const Value& value)
{
    switch (value.kind) {
    case Value::Kind::Null: return {};
    case Value::Kind::Int: return std::to_string(value.i);
    case Value::Kind::Float: return FormatGeneral(value.f);
    case Value::Kind::Text: case Value::Kind::Bytes: return value.s;
    }
    return {};
}

double ValueToFloat(const FieldDef& field, const Value& value)
{
    if (value.isNull()) return 0.0;
    double d = 0;
    if (ValueAsNumber(value, d)) return d;
    if (value.kind == Value::Kind::Text)
        throw EngineError("'" + value.s + "' is not a valid floating point value");
    throw EngineError("Field '" + field.name + "' is not a number");
}

// --- writing --------------------------------------------------------------

Value ParseValueText(const FieldDef& field, std::string_view text)
{
    return ConvertValue(field, Value::text(std::string(text)));
}

namespace {

Value FromText(const FieldDef& f, std::string&& s)
{
    auto bad = [&](const char* kind) -> EngineError {
        return EngineError("'" + s + "' is not a valid " + kind + " value for field " + f.name);
    };
    if (s.find_first_not_of(' ') == std::string::npos) {
        if (IsBinaryType(f.type)) return Value::bytes(std::move(s));
        return Value::null();
    }
    if (f.type == ftBoolean) {
        std::int64_t b = 0;
        if (!ParseBoolean(s, b)) throw bad("boolean");
        return Value::integer(b);
    }
    if (IsIntegerType(f.type)) {
        std::int64_t i = 0;
        double d = 0;
        if (ParseInteger(s, i)) return Value::integer(i);
        if (ParseNumber(s, d) && WholeNumber(d)) return Value::integer(static_cast<std::int64_t>(d));
        throw bad("integer");
    }
    if (IsFloatType(f.type)) {
        double d = 0;
        if (!ParseNumber(s, d)) throw bad("floating point");
        return Value::real(d);
    }
    if (f.type == ftDate) {
        std::int64_t d = 0;
        if (!ParseDateText(s, d)) throw bad("date");
        return Value::integer(d);
    }
    if (f.type == ftTime) {
        double t = 0;
        if (!ParseTimeText(s, t)) throw bad("time");
        return Value::real(t);
    }
    if (f.type == ftDateTime || f.type == ftTimeStamp) {
        double t = 0;
        if (!ParseDateTimeText(s, t)) throw bad("date and time");
        return Value::real(t);
    }
    if (IsBinaryType(f.type)) return Value::bytes(std::move(s));
    throw bad("field");
}

// A whole number checked against the field's range.
Value CheckedInteger(const FieldDef& f, std::int64_t i)
{
    std::int64_t low = 0, high = 0;
    if (IntegerRange(f.type, low, high) && (i < low || i > high))
        throw EngineError("Field " + f.name + ": the value " + std::to_string(i) + " is out of range (" +
                          std::to_string(low) + " to " + std::to_string(high) + ")");
    return Value::integer(i);
}

} // namespace

Value ConvertValue(const FieldDef& f, Value v, TFieldType from)
{
    if (v.isNull()) return v;
    if (IsTextType(f.type)) {
        if (v.kind == Value::Kind::Text) return v;
        if (v.kind == Value::Kind::Bytes) return Value::text(std::move(v.s));
        FieldDef source;
        source.type = from != ftUnknown ? from : NaturalType(v);
        return Value::text(FormatValueText(source, v));
    }
    // A text value is parsed for the field's type (binary fields take its bytes).
    if (v.kind == Value::Kind::Text) return FromText(f, std::move(v.s));
    if (IsBinaryType(f.type)) {
        if (v.kind == Value::Kind::Bytes) return v;
        throw EngineError("Field " + f.name + ": a number cannot be stored as binary data");
    }
    if (v.kind == Value::Kind::Bytes)
        throw EngineError("Field " + f.name + ": binary data cannot be stored in this field");

    // From here on the value is a number (Int or Float).
    const bool isInt = v.kind == Value::Kind::Int;
    const double d = isInt ? static_cast<double>(v.i) : v.f;
    if (f.type == ftBoolean) return Value::integer(d != 0 ? 1 : 0);
    if (IsIntegerType(f.type)) {
        if (isInt) return CheckedInteger(f, v.i);
        if (!WholeNumber(d))
            throw EngineError("Field " + f.name + ": the value " + FormatGeneral(d) + " is not a whole number");
        return CheckedInteger(f, static_cast<std::int64_t>(d));
    }
    if (f.type == ftDate) {
        if (isInt) return v;
        if (!std::isfinite(d) || std::fabs(d) > 1e9)
            throw EngineError("Field " + f.name + ": the value " + FormatGeneral(d) + " is not a date");
        return Value::integer(static_cast<std::int64_t>(std::floor(d)));
    }
    if (f.type == ftTime) {
        // A date and time keeps its time of day; a bare number is taken as it is.
        if (from == ftDateTime || from == ftTimeStamp) return Value::real(d - std::floor(d));
        return Value::real(d);
    }
    if (IsFloatType(f.type) || f.type == ftDateTime || f.type == ftTimeStamp) return Value::real(d);
    return v;
}

} // namespace tarnel
