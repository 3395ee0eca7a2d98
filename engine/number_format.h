#pragma once
// The general number format: 15 significant digits, "." as the decimal point,
// no thousands separator; fixed notation when the value is 0 or its magnitude
// is at least 0.0001 with at most 15 integer digits, scientific otherwise.
//   2.5 -> "2.5", 1e15 -> "1E15", 0.00001 -> "1E-5", 2^60 -> "1.15292150460685E18"
#include <string>

namespace tarnel {

std::string FormatGeneral(double value);
void AppendGeneral(double value, std::string& out);

// Fixed notation with the given number of decimals, "." as the decimal point
// whatever the process's locale; appended to out. False when the value is not
// finite or needs more than 400 characters.
bool AppendFixed(double value, int decimals, std::string& out);

// Parses a number written with "." as the decimal point (blanks around it
// allowed). Returns false when the text is not a whole number.
bool ParseNumber(std::string_view text, double& out);

// Writes a numeral as stored in a text number field ("  -12.50": blanks,
// then an optional minus, digits, and exactly `decimals` decimals after a
// point) for a field `width` wide with `toDecimals` decimals, as writing
// its parsed value there would: right-aligned, the decimals padded with
// zeros. False, with out unchanged, for anything it cannot write so
// exactly - no digits, other characters, leading zeros, fewer decimals,
// more than 15 significant digits, too wide - which is left to be parsed.
bool RewriteNumeral(std::string_view numeral, int decimals, int width, int toDecimals, std::string& out);

// The value of a hexadecimal digit (either letter case); -1 for any other character.
inline int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace tarnel
