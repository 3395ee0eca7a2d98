#include "engine/number_format.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace tarnel {

void AppendGeneral(double value, std::string& out)
{
    if (value == 0.0 || std::isnan(value) || std::isinf(value)) {
        if (std::isnan(value)) out += "NAN";
        else if (std::isinf(value)) out += value < 0 ? "-INF" : "INF";
        else out += '0';
        return;
    }
    // 15 significant digits, rounded to nearest: d.dddddddddddddde±x
    // to_chars: the same digits as printf, but never the locale's decimal
    // point, and several times faster.
    // Hundredths, as numbers of two decimals are stored: when m / 100 is the
    // value, the digits of m (at most 15) are its 15 significant digits.
    if (std::fabs(value) < 1e13) {
        const long long m = std::llround(value * 100.0);
        if (static_cast<double>(m) / 100.0 == value) {
            const unsigned long long a = static_cast<unsigned long long>(m < 0 ? -m : m);
            char text[24];
            auto end = std::to_chars(text, text + sizeof text, a / 100).ptr;
            const unsigned cents = static_cast<unsigned>(a % 100);
            if (cents != 0) {
                *end++ = '.';
                *end++ = static_cast<char>('0' + cents / 10);
                if (cents % 10 != 0) *end++ = static_cast<char>('0' + cents % 10);
            }
            if (m < 0) out += '-';
            out.append(text, end);
            return;
        }
    }
    // The shortest digits that read back as the value are those digits too
    // when there are at most 15 of them: the value is then nearer to them
    // than half a unit of the 15th digit (not so for subnormal values, which
    // have fewer bits). That form is the quicker to find.
    char buf[40];
    auto written = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    std::string_view s(buf, static_cast<size_t>(written.ptr - buf));
    if (std::fpclassify(value) != FP_NORMAL || s.find('e') > (s[0] == '-' ? 17u : 16u)) {
        written = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
        s = std::string_view(buf, static_cast<size_t>(written.ptr - buf));
    }
    bool negative = s[0] == '-';
    if (negative) s.remove_prefix(1);
    char digits[15];
    int count = 0;
    size_t pos = 0;
    for (; pos < s.size() && s[pos] != 'e'; ++pos)
        if (s[pos] != '.') digits[count++] = s[pos];
    int exponent = 0;
    std::from_chars(s.data() + pos + (s[pos + 1] == '+' ? 2 : 1), s.data() + s.size(), exponent);
    while (count > 1 && digits[count - 1] == '0') --count;   // drop trailing zeros

    if (negative) out += '-';
    if (exponent >= -4 && exponent < 15) {
        if (exponent < 0) {
            out += "0.";
            out.append(static_cast<size_t>(-exponent - 1), '0');
            out.append(digits, static_cast<size_t>(count));
        } else {
            int intDigits = exponent + 1;
            for (int k = 0; k < intDigits; ++k) out += k < count ? digits[k] : '0';
            if (count > intDigits) {
                out += '.';
                out.append(digits + intDigits, static_cast<size_t>(count - intDigits));
            }
        }
        return;
    }
    out += digits[0];
    if (count > 1) {
        out += '.';
        out.append(digits + 1, static_cast<size_t>(count - 1));
    }
    out += 'E';
    if (exponent < 0) {
        out += '-';
        exponent = -exponent;
    }
    out += std::to_string(exponent);
}

std::string FormatGeneral(double value)
{
    std::string out;
    AppendGeneral(value, out);
    return out;
}

bool AppendFixed(double value, int decimals, std::string& out)
{
    if (!std::isfinite(value)) return false;
    char buf[400];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (ec != std::errc()) return false;
    out.append(buf, end);
    return true;
}

bool ParseNumber(std::string_view text, double& out)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\0'))
        text.remove_suffix(1);
    if (text.empty()) return false;
    if (text.front() == '+') text.remove_prefix(1);
    // A plain numeral of at most 15 digits ("-123.45"): its digits and the
    // power of ten are exact doubles, so one division rounds as from_chars does.
    {
        static const double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        size_t k = text.front() == '-' ? 1 : 0;
        const bool negative = k == 1;
        std::int64_t digits = 0;
        int count = 0, decimals = -1;
        for (; k < text.size(); ++k) {
            const char c = text[k];
            if (c >= '0' && c <= '9') {
                digits = digits * 10 + (c - '0');
                ++count;
                if (decimals >= 0) ++decimals;
            } else if (c == '.' && decimals < 0) {
                decimals = 0;
            } else {
                break;
            }
        }
        if (k == text.size() && count > 0 && count <= 15) {
            const double v = static_cast<double>(digits) / kPowers[decimals > 0 ? decimals : 0];
            out = negative ? -v : v;
            return true;
        }
    }
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}


bool RewriteNumeral(std::string_view numeral, int decimals, int width, int toDecimals, std::string& out)
{
    if (toDecimals < decimals || decimals < 0 || width <= 0) return false;
    size_t k = 0;
    while (k < numeral.size() && numeral[k] == ' ') ++k;
    const bool negative = k < numeral.size() && numeral[k] == '-';
    if (negative) ++k;
    const size_t wholeStart = k;
    while (k < numeral.size() && numeral[k] >= '0' && numeral[k] <= '9') ++k;
    const size_t whole = k - wholeStart;
    if (whole == 0 || (whole > 1 && numeral[wholeStart] == '0')) return false;
    if (decimals > 0) {
        if (k >= numeral.size() || numeral[k] != '.') return false;
        ++k;
        for (int d = 0; d < decimals; ++d, ++k)
            if (k >= numeral.size() || numeral[k] < '0' || numeral[k] > '9') return false;
    }
    if (k != numeral.size()) return false;
    // At most 15 significant digits: a double holds them exactly enough
    // that its value written with toDecimals decimals gives these digits.
    const size_t significant = (numeral[wholeStart] == '0' ? 0 : whole) + static_cast<size_t>(toDecimals);
    if (significant > 15) return false;
    const size_t length = (negative ? 1 : 0) + whole + (toDecimals > 0 ? 1 + static_cast<size_t>(toDecimals) : 0);
    if (length > static_cast<size_t>(width)) return false;
    out.assign(static_cast<size_t>(width) - length, ' ');
    out.append(numeral.substr(wholeStart - (negative ? 1 : 0)));
    if (toDecimals > 0) {
        if (decimals == 0) out += '.';
        out.append(static_cast<size_t>(toDecimals - decimals), '0');
    }
    return true;
}

} // namespace tarnel
