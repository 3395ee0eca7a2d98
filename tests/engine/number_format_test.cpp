#include <charconv>
#include <cstdio>
#include <cstring>
#include <cmath>
#include <gtest/gtest.h>

#include "engine/daynum.h"
#include "engine/number_format.h"

using namespace tarnel;

TEST(GeneralNumberFormat, MatchesTheReferenceTable)
{
    EXPECT_EQ(FormatGeneral(2.5), "2.5");
    EXPECT_EQ(FormatGeneral(10), "10");
    EXPECT_EQ(FormatGeneral(-3.25), "-3.25");
    EXPECT_EQ(FormatGeneral(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(FormatGeneral(0.0001), "0.0001");
    EXPECT_EQ(FormatGeneral(0.00001), "1E-5");
    EXPECT_EQ(FormatGeneral(1e15), "1E15");
    EXPECT_EQ(FormatGeneral(1e100), "1E100");
    EXPECT_EQ(FormatGeneral(-1e100), "-1E100");
    EXPECT_EQ(FormatGeneral(std::pow(2.0, 60)), "1.15292150460685E18");
}

TEST(GeneralNumberFormat, RoundsToFifteenDigitsAndKeepsIntegers)
{
    EXPECT_EQ(FormatGeneral(0), "0");
    EXPECT_EQ(FormatGeneral(-0.0), "0");
    EXPECT_EQ(FormatGeneral(999999999999999.0), "999999999999999");
    EXPECT_EQ(FormatGeneral(0.1 + 0.2), "0.3");
    EXPECT_EQ(FormatGeneral(1234.5), "1234.5");
    EXPECT_EQ(FormatGeneral(-0.00012), "-0.00012");
    EXPECT_EQ(FormatGeneral(9.99999999999999999e14), "1E15");
    EXPECT_EQ(FormatGeneral(1.5e-7), "1.5E-7");
}

TEST(DayNumbers, KnownDates)
{
    EXPECT_EQ(DayNumber(1899, 12, 30), 0);
    EXPECT_EQ(DayNumber(2000, 7, 18), 36725);
    EXPECT_EQ(DateText(36725), "2000-07-18");
    EXPECT_EQ(DateText(-1), "1899-12-29");
    EXPECT_EQ(TimeText(0.5), "12:00:00");
    EXPECT_EQ(DateTimeText(36725.75), "2000-07-18 18:00:00");
    std::int64_t d = 0;
    EXPECT_TRUE(ParseDateText("2000-07-18", d));
    EXPECT_EQ(d, 36725);
    EXPECT_TRUE(ParseDateText("20000718", d));
    EXPECT_FALSE(ParseDateText("2001-02-29", d));
    EXPECT_FALSE(ParseDateText("2000-7-18x", d));
    double t = 0;
    EXPECT_TRUE(ParseDateTimeText("2000-07-18 06:00", t));
    EXPECT_DOUBLE_EQ(t, 36725.25);
    EXPECT_FALSE(ParseTimeText("24:00", t));
}

TEST(NumberFormat, PlainNumeralsParseToTheSameDoubleAsTheGeneralParser)
{
    // Short numerals take a shortcut; it must round exactly as from_chars does.
    std::uint64_t seed = 12345;
    auto next = [&] { return seed = seed * 6364136223846793005ull + 1442695040888963407ull; };
    const char* fixed[] = {"0", "-0", "-0.00", "5.", ".5", "007.50", "999999999999999", "0.000000000000001",
                           "123456789012.345", "-98765.4321", "1e5", "12345678901234567"};
    std::vector<std::string> numerals(std::begin(fixed), std::end(fixed));
    for (int k = 0; k < 20000; ++k) {
        std::string digits = std::to_string(next() % 1000000000000000ull);
        const size_t dot = static_cast<size_t>(next() % (digits.size() + 1));
        numerals.push_back((next() % 2 ? "-" : "") + digits.substr(0, dot) + "." + digits.substr(dot));
    }
    for (const std::string& text : numerals) {
        double expected = 0, got = 0;
        std::string_view s = text;
        std::from_chars(s.data(), s.data() + s.size(), expected);
        ASSERT_TRUE(ParseNumber(text, got)) << text;
        EXPECT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << text;
    }
}

TEST(NumberFormat, RewrittenNumeralsAreWhatWritingTheirValueGives)
{
    // Whatever the rewrite takes it writes as parsing the numeral and
    // writing the value with the new decimals would; the usual numerals it
    // must take, the odd ones it may leave to that path.
    struct Case {
        std::string stored;
        int decimals;
        bool taken;   // by any field wide enough with as many decimals
    };
    std::vector<Case> cases = {
        {"     79.19", 2, true}, {"     -3.50", 2, true}, {"      0.00", 2, true}, {"     -0.00", 2, true},
        {"  1234567", 0, true},  {"-999999.99", 2, true}, {"      0.05", 2, true},
        {"          ", 2, false}, {"   0012.50", 2, false}, {"     12.5 ", 2, false}, {"    1.5E+2", 2, false},
        {"      .50", 2, false},  {"     +1.50", 2, false}, {"      12.5", 2, false}, {"  ********", 2, false}};
    std::uint64_t seed = 99;
    auto next = [&] { return seed = seed * 6364136223846793005ull + 1442695040888963407ull; };
    for (int k = 0; k < 5000; ++k) {
        const int decimals = static_cast<int>(next() % 5);
        std::string digits = std::to_string(next() % 10000000000ull);
        while (static_cast<int>(digits.size()) <= decimals) digits.insert(digits.begin(), '0');
        std::string numeral = (next() % 3 == 0 ? "-" : "") + digits.substr(0, digits.size() - decimals) +
                              (decimals ? "." + digits.substr(digits.size() - decimals) : "");
        cases.push_back({std::string(static_cast<size_t>(next() % 3), ' ') + numeral, decimals, true});
    }
    for (const Case& c : cases)
        for (int toDecimals : {c.decimals, c.decimals + 1, c.decimals + 4})
            for (int width : {12, 20}) {
                SCOPED_TRACE("'" + c.stored + "' to " + std::to_string(width) + "." + std::to_string(toDecimals));
                std::string out = "untouched";
                if (!RewriteNumeral(c.stored, c.decimals, width, toDecimals, out)) {
                    EXPECT_EQ(out, "untouched");
                    EXPECT_FALSE(c.taken && width == 20 && toDecimals < c.decimals + 4);
                    continue;
                }
                EXPECT_TRUE(c.taken);
                double value = 0;
                ASSERT_TRUE(ParseNumber(c.stored, value));
                std::string written;
                ASSERT_TRUE(AppendFixed(value, toDecimals, written));
                EXPECT_EQ(out, std::string(static_cast<size_t>(width) - written.size(), ' ') + written);
            }
    std::string out;
    EXPECT_FALSE(RewriteNumeral("     79.19", 2, 20, 1, out));   // fewer decimals round
    EXPECT_FALSE(RewriteNumeral("   -123.45", 2, 6, 2, out));   // too wide
    EXPECT_TRUE(RewriteNumeral("99999999999999.9", 1, 20, 1, out));
    EXPECT_FALSE(RewriteNumeral("99999999999999.9", 1, 20, 2, out));   // 16 digits: a double rounds them
}

TEST(GeneralNumberFormat, AgreesWithFifteenSignificantDigitsOfPrintf)
{
    // The C library's %.15G, with its exponent written the engine's way.
    auto reference = [](double v) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.15G", v);
        std::string s = buf;
        const size_t e = s.find('E');
        if (e == std::string::npos) return s;
        std::string exponent = s.substr(e + 1);
        const bool minus = exponent[0] == '-';
        exponent = exponent.substr(1);
        while (exponent.size() > 1 && exponent[0] == '0') exponent.erase(0, 1);
        return s.substr(0, e + 1) + (minus ? "-" : "") + exponent;
    };
    std::uint64_t seed = 99;
    auto next = [&] { return seed = seed * 6364136223846793005ull + 1442695040888963407ull; };
    std::vector<double> values = {0.1, 0.3, 2.675, 1e15 - 1, 999999999999999.5, 123456.789, 5e-324, 1.7976931348623157e308};
    for (int k = 0; k < 20000; ++k) {
        values.push_back(static_cast<double>(next() % 100000000) / 100.0);   // stored numbers
        std::uint64_t bits = next();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (std::isfinite(d)) values.push_back(d);
    }
    for (double v : values) EXPECT_EQ(FormatGeneral(v), reference(v)) << v;
}
