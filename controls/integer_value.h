#pragma once
// The number behind the integer spin: limits (with optional wrapping), the
// decimal and hexadecimal texts, stepping with overflow checking, and the
// typing filter.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarnel {

// Raised when a step leaves the 64-bit range.
class IntegerOverflowError : public std::overflow_error {
public:
    IntegerOverflowError() : std::overflow_error("Integer overflow") {}
};

struct IntegerLimits {
    std::int64_t minValue = 0;
    std::int64_t maxValue = 0;
    bool useLimit = false;
    bool wrap = false;
};

// How a value left the range when wrapping: past the maximum or the minimum.
enum WrapMode { wmPassedMax = 0, wmPassedMin = 1 };

struct LimitedValue {
    std::int64_t value = 0;
    std::optional<WrapMode> wrapped;   // set when the value wrapped around
};

// Without useLimit the value is returned unchanged. With it, values above the
// maximum become the maximum and values below the minimum the minimum, or,
// with wrap (and distinct limits), they wrap around into the range.
LimitedValue ApplyLimits(std::int64_t value, const IntegerLimits& limits);

// Reads the text of the box: decimal with an optional sign, or (hex) up to 16
// hexadecimal digits taken as a 64-bit two's-complement pattern. Nothing when
// the text is empty, a lone sign, out of range or holds any other character.
std::optional<std::int64_t> ParseIntegerText(std::string_view text, bool hex);

// Decimal, or upper-case hexadecimal zero-padded to at least hexDigits digits
// (negative values show their 16-digit two's-complement pattern).
std::string FormatIntegerText(std::int64_t value, bool hex, int hexDigits);

// value + increment * factor (down: minus); throws IntegerOverflowError when
// any part of it leaves the 64-bit range.
std::int64_t StepInteger(std::int64_t value, std::int64_t increment, int factor, bool up);

// The typing filter: which characters the box takes. Control characters other
// than Enter always pass, unless the editor is disabled (then Backspace and
// every printable character are refused).
bool AcceptsIntegerChar(char32_t ch, bool hex, bool editorEnabled, char32_t decimalSeparator);

} // namespace tarnel
