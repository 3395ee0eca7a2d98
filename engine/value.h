#pragma once
// One field value as it crosses the engine boundary.
//   text types             -> Text, UTF-8
//   integer types, Boolean -> Int (Boolean: 1 or 0)
//   Float, Currency, BCD   -> Float
//   Date                   -> Int, the day number (days since 30 December 1899)
//   Time                   -> Float, the fraction of a day (0 <= t < 1)
//   DateTime, TimeStamp    -> Float, day number plus the fraction of the day
//   binary and blob types  -> Bytes (s holds the raw bytes)
#include <cstdint>
#include <string>
#include <utility>

namespace tarnel {

struct Value {
    enum class Kind : std::uint8_t { Null, Int, Float, Text, Bytes };
    Kind kind = Kind::Null;
    std::int64_t i = 0;
    double f = 0.0;
    std::string s;

    static Value null() { return {}; }
    static Value integer(std::int64_t v) { Value r; r.kind = Kind::Int; r.i = v; return r; }
    static Value real(double v) { Value r; r.kind = Kind::Float; r.f = v; return r; }
    static Value text(std::string v) { Value r; r.kind = Kind::Text; r.s = std::move(v); return r; }
    static Value bytes(std::string v) { Value r; r.kind = Kind::Bytes; r.s = std::move(v); return r; }

    bool isNull() const { return kind == Kind::Null; }
    bool operator==(const Value&) const = default;
};

} // namespace tarnel
