#include <gtest/gtest.h>

#include <limits>

#include "controls/integer_value.h"

using namespace tarnel;

namespace {
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
} // namespace

TEST(IntegerValue, LimitsClampOnlyWhenUsed)
{
    const IntegerLimits size{0, 100000000, true, false};
    EXPECT_EQ(ApplyLimits(150000000, size).value, 100000000);
    EXPECT_EQ(ApplyLimits(-5, size).value, 0);
    EXPECT_EQ(ApplyLimits(42, size).value, 42);
    EXPECT_FALSE(ApplyLimits(-5, size).wrapped);
    EXPECT_EQ(ApplyLimits(-5, IntegerLimits{0, 100, false, false}).value, -5);
    // Minimum above maximum: the minimum wins for values below it.
    EXPECT_EQ(ApplyLimits(5, IntegerLimits{10, 0, true, false}).value, 10);
    EXPECT_EQ(ApplyLimits(20, IntegerLimits{10, 0, true, false}).value, 0);
}

TEST(IntegerValue, WrappingStaysInRangeAndSaysWhichWay)
{
    const IntegerLimits hours{0, 23, true, true};
    EXPECT_EQ(ApplyLimits(24, hours).value, 0);
    EXPECT_EQ(ApplyLimits(24, hours).wrapped, wmPassedMax);
    EXPECT_EQ(ApplyLimits(-1, hours).value, 23);
    EXPECT_EQ(ApplyLimits(-1, hours).wrapped, wmPassedMin);
    EXPECT_EQ(ApplyLimits(23, hours).value, 23);
    EXPECT_FALSE(ApplyLimits(23, hours).wrapped);
    EXPECT_EQ(ApplyLimits(50, hours).value, 2);
    // Equal limits never wrap.
    EXPECT_EQ(ApplyLimits(9, IntegerLimits{5, 5, true, true}).value, 5);
    EXPECT_FALSE(ApplyLimits(9, IntegerLimits{5, 5, true, true}).wrapped);
    // The whole 64-bit range as limits does not overflow.
    const IntegerLimits wide{kMin + 1, kMax - 1, true, true};
    EXPECT_EQ(ApplyLimits(kMax, wide).value, kMin + 1);
    EXPECT_EQ(ApplyLimits(kMin, wide).value, kMax - 1);
}

TEST(IntegerValue, ParsingDecimalText)
{
    EXPECT_EQ(ParseIntegerText("123", false), 123);
    EXPECT_EQ(ParseIntegerText("+7", false), 7);
    EXPECT_EQ(ParseIntegerText("-7", false), -7);
    EXPECT_EQ(ParseIntegerText("9223372036854775807", false), kMax);
    EXPECT_EQ(ParseIntegerText("-9223372036854775808", false), kMin);
    for (const char* bad : {"", "-", "+", "1.5", "1,5", "12a", " 1", "9223372036854775808", "FF"})
        EXPECT_FALSE(ParseIntegerText(bad, false)) << bad;
}

TEST(IntegerValue, HexTextRoundTrips)
{
    EXPECT_EQ(FormatIntegerText(255, true, 4), "00FF");
    EXPECT_EQ(FormatIntegerText(255, false, 4), "255");
    EXPECT_EQ(FormatIntegerText(0x12345, true, 4), "12345");
    EXPECT_EQ(FormatIntegerText(-1, true, 4), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(ParseIntegerText("00ff", true), 255);
    EXPECT_EQ(ParseIntegerText("FFFFFFFFFFFFFFFF", true), -1);
    EXPECT_EQ(ParseIntegerText("0000FFFFFFFFFFFFFFFF", true), -1);
    EXPECT_FALSE(ParseIntegerText("1FFFFFFFFFFFFFFFF", true));
    EXPECT_FALSE(ParseIntegerText("-1", true));
    EXPECT_FALSE(ParseIntegerText("", true));
    for (std::int64_t v : {std::int64_t(0), std::int64_t(4096), kMin, kMax, std::int64_t(-300)})
        EXPECT_EQ(ParseIntegerText(FormatIntegerText(v, true, 4), true), v);
}

TEST(IntegerValue, StepsCheckOverflow)
{
    EXPECT_EQ(StepInteger(5, 1, 1, true), 6);
    EXPECT_EQ(StepInteger(5, 1, 10, false), -5);
    EXPECT_EQ(StepInteger(5, -2, 1, true), 3);
    EXPECT_THROW(StepInteger(kMax, 1, 1, true), IntegerOverflowError);
    EXPECT_THROW(StepInteger(kMin, 1, 1, false), IntegerOverflowError);
    EXPECT_THROW(StepInteger(0, kMax / 5, 10, true), IntegerOverflowError);
    EXPECT_EQ(StepInteger(kMax - 1, 1, 1, true), kMax);
    try {
        StepInteger(kMax, 1, 1, true);
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Integer overflow");
    }
}

TEST(IntegerValue, TypingFilter)
{
    const char32_t dot = U'.';
    for (char32_t c : {U'0', U'9', U'+', U'-', U'.', char32_t(8), char32_t(1), char32_t(27)})
        EXPECT_TRUE(AcceptsIntegerChar(c, false, true, dot)) << int(c);
    for (char32_t c : {U'a', U'b', U'F', U' ', U',', char32_t(13), U'$'})
        EXPECT_FALSE(AcceptsIntegerChar(c, false, true, dot)) << int(c);
    EXPECT_TRUE(AcceptsIntegerChar(U',', false, true, U','));

    for (char32_t c : {U'0', U'a', U'b', U'f', U'A', U'F', char32_t(8)})
        EXPECT_TRUE(AcceptsIntegerChar(c, true, true, dot)) << int(c);
    for (char32_t c : {U'g', U'G', U'-', U'+', U'.', char32_t(13)})
        EXPECT_FALSE(AcceptsIntegerChar(c, true, true, dot)) << int(c);

    // Typing switched off: no digits and no Backspace; other controls pass.
    EXPECT_FALSE(AcceptsIntegerChar(U'5', false, false, dot));
    EXPECT_FALSE(AcceptsIntegerChar(char32_t(8), false, false, dot));
    EXPECT_TRUE(AcceptsIntegerChar(char32_t(3), false, false, dot));
}
