#include "controls/integer_value.h"

#include <cstdio>
#include <limits>

#include "engine/number_format.h"

namespace tarnel {

namespace {

using Wide = __int128;

std::int64_t WrapInto(Wide value, std::int64_t lo, std::int64_t hi)
{
    Wide span = Wide(hi) - Wide(lo) + 1;
    Wide offset = (value - lo) % span;
    if (offset < 0) offset += span;
    return static_cast<std::int64_t>(lo + offset);
}

} // namespace

LimitedValue ApplyLimits(std::int64_t value, const IntegerLimits& limits)
{
    LimitedValue out{value, std::nullopt};
    if (!limits.useLimit) return out;
    const bool canWrap = limits.wrap && limits.minValue < limits.maxValue;
    // A value exactly at the maximum stays there, even when wrapping: only
    // passing the maximum wraps.
    if (value >= limits.maxValue) {
        if (canWrap && value > limits.maxValue) {
            out.value = WrapInto(value, limits.minValue, limits.maxValue);
            out.wrapped = wmPassedMax;
        } else {
            out.value = limits.maxValue;
        }
    }
    if (value < limits.minValue) {
        if (canWrap) {
            out.value = WrapInto(value, limits.minValue, limits.maxValue);
            out.wrapped = wmPassedMin;
        } else {
            out.value = limits.minValue;
        }
    }
    return out;
}

std::optional<std::int64_t> ParseIntegerText(std::string_view text, bool hex)
{
    if (text.empty()) return std::nullopt;
    if (hex) {
        if (text.size() > 16) {
            // Leading zeros beyond 16 digits are harmless; anything else overflows.
            size_t extra = text.size() - 16;
            for (size_t i = 0; i < extra; ++i)
                if (text[i] != '0') return std::nullopt;
            text.remove_prefix(extra);
        }
        std::uint64_t v = 0;
        for (char c : text) {
            int d = HexDigitValue(c);
            if (d < 0) return std::nullopt;
            v = (v << 4) | static_cast<std::uint64_t>(d);
        }
        return static_cast<std::int64_t>(v);
    }
    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    // Accumulate toward the sign so that the most negative value fits.
    std::int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        int d = c - '0';
        if (__builtin_mul_overflow(v, 10, &v)) return std::nullopt;
        if (negative ? __builtin_sub_overflow(v, d, &v) : __builtin_add_overflow(v, d, &v))
            return std::nullopt;
    }
    return v;
}

std::string FormatIntegerText(std::int64_t value, bool hex, int hexDigits)
{
    if (!hex) return std::to_string(value);
    if (hexDigits < 0) hexDigits = 0;
    if (hexDigits > 32) hexDigits = 32;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%0*llX", hexDigits,
                  static_cast<unsigned long long>(static_cast<std::uint64_t>(value)));
    return buf;
}

std::int64_t StepInteger(std::int64_t value, std::int64_t increment, int factor, bool up)
{
    std::int64_t delta = 0;
    std::int64_t result = 0;
    if (__builtin_mul_overflow(increment, static_cast<std::int64_t>(factor), &delta))
        throw IntegerOverflowError();
    bool overflow = up ? __builtin_add_overflow(value, delta, &result)
                       : __builtin_sub_overflow(value, delta, &result);
    if (overflow) throw IntegerOverflowError();
    return result;
}

bool AcceptsIntegerChar(char32_t ch, bool hex, bool editorEnabled, char32_t decimalSeparator)
{
    if (!editorEnabled && (ch == 8 || ch >= 32)) return false;
    if (ch == 13) return false;
    if (ch < 32) return true;
    if (ch >= '0' && ch <= '9') return true;
    if (hex) return (ch >= 'A' && ch <= 'F') || (ch >= 'a' && ch <= 'f');
    return ch == '+' || ch == '-' || ch == decimalSeparator;
}

} // namespace tarnel
