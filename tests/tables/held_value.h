#pragma once
// What a value holds, by its kind, for comparing values exactly (a float by
// its bits; a query result's Null may keep an old string).
#include <bit>
#include <cstdint>
#include <string>

#include "engine/value.h"

namespace tarnel::test {

inline std::string Held(const Value& v)
{
    switch (v.kind) {
    case Value::Kind::Null: return "null";
    case Value::Kind::Int: return "int " + std::to_string(v.i);
    case Value::Kind::Float: return "float " + std::to_string(std::bit_cast<std::uint64_t>(v.f));
    case Value::Kind::Text: return "text '" + v.s + "'";
    case Value::Kind::Bytes: return "bytes '" + v.s + "'";
    }
    return "?";
}

} // namespace tarnel::test
