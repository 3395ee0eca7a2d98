#include <gtest/gtest.h>

#include "controls/date_step.h"

using namespace tarnel;

namespace {

std::string Text(const CivilDate& d)
{
    return std::to_string(d.year) + "-" + std::to_string(d.month) + "-" + std::to_string(d.day);
}

std::string Step(int y, int m, int d, char part, int delta)
{
    return Text(StepDatePart({y, m, d}, part, delta));
}

std::string Set(int y, int m, int d, char part, int value)
{
    return Text(SetDatePart({y, m, d}, part, value));
}

} // namespace

TEST(DateStep, StepOrderFromFirstComponentLetter)
{
    EXPECT_EQ(StepOrderFromPattern("dd.MM.yyyy"), "DMY");
    EXPECT_EQ(StepOrderFromPattern("yyyy-MM-dd"), "YMD");
    EXPECT_EQ(StepOrderFromPattern("M/d/yy"), "MDY");
    EXPECT_EQ(StepOrderFromPattern("YY/DD/MM"), "YMD");     // only the first letter decides
    EXPECT_EQ(StepOrderFromPattern("ddd, d MMM"), "DMY");
    EXPECT_EQ(StepOrderFromPattern(""), "MDY");
    EXPECT_EQ(StepOrderFromPattern("-/."), "MDY");
}

TEST(DateStep, DayCarries)
{
    EXPECT_EQ(Step(2001, 1, 31, 'D', +1), "2001-2-1");
    EXPECT_EQ(Step(2000, 12, 31, 'D', +1), "2001-1-1");
    EXPECT_EQ(Step(2000, 2, 28, 'D', +1), "2000-2-29");
    EXPECT_EQ(Step(2000, 3, 1, 'D', -1), "2000-2-29");
    EXPECT_EQ(Step(2001, 3, 1, 'D', -1), "2001-2-28");
    EXPECT_EQ(Step(1900, 3, 1, 'D', -1), "1900-2-28");     // 1900 is no leap year
    EXPECT_EQ(Step(2001, 1, 1, 'D', -1), "2000-12-31");
    EXPECT_EQ(Step(2001, 5, 1, 'D', -1), "2001-4-30");
    EXPECT_EQ(Step(1, 1, 1, 'D', -1), "1-12-31");          // the year is held at 1
}

TEST(DateStep, MonthAndYearCarries)
{
    EXPECT_EQ(Step(2001, 1, 31, 'M', +1), "2001-2-28");
    EXPECT_EQ(Step(2000, 1, 15, 'M', -1), "1999-12-15");
    EXPECT_EQ(Step(2000, 12, 31, 'M', +1), "2001-1-31");
    EXPECT_EQ(Step(2000, 3, 31, 'M', -1), "2000-2-29");
    EXPECT_EQ(Step(1, 1, 10, 'M', -1), "1-12-10");
    EXPECT_EQ(Step(2000, 2, 29, 'Y', +1), "2001-2-28");
    EXPECT_EQ(Step(2000, 2, 29, 'Y', -1), "1999-2-28");
    EXPECT_EQ(Step(1, 6, 6, 'Y', -1), "1-6-6");
    EXPECT_EQ(Step(2000, 6, 6, '?', +1), "2000-6-6");
}

TEST(DateStep, StepsPastYear9999FailToEncode)
{
    for (CivilDate past : {StepDatePart({9999, 12, 31}, 'D', +1), StepDatePart({9999, 12, 5}, 'M', +1),
                           StepDatePart({9999, 1, 1}, 'Y', +1)}) {
        EXPECT_EQ(past.year, 10000);
        try {
            EncodeDate(past);
            ADD_FAILURE() << "encoded " << Text(past);
        } catch (const DateEncodeError& e) {
            EXPECT_STREQ(e.what(), "Invalid argument to date encode");
        }
    }
    EXPECT_DOUBLE_EQ(EncodeDate({9999, 12, 31}), 2958465.0);
    EXPECT_DOUBLE_EQ(EncodeDate({2000, 7, 18}), 36725.0);
}

TEST(DateStep, SettingClamps)
{
    EXPECT_EQ(Set(2000, 5, 10, 'M', 13), "2000-12-10");
    EXPECT_EQ(Set(2000, 5, 10, 'M', 0), "2000-1-10");
    EXPECT_EQ(Set(2000, 5, 10, 'D', 0), "2000-5-1");
    EXPECT_EQ(Set(2000, 4, 10, 'D', 40), "2000-4-30");
    EXPECT_EQ(Set(2000, 5, 10, 'Y', 0), "1-5-10");
    EXPECT_EQ(Set(2000, 2, 29, 'Y', 2001), "2001-2-28");
    EXPECT_EQ(Set(2000, 3, 31, 'M', 2), "2000-2-29");
    EXPECT_EQ(Set(2000, 3, 31, 'Y', 65535).substr(0, 6), "65535-");   // left for encoding to refuse
}

TEST(DateStep, DecodeDropsTheTimeOfDay)
{
    EXPECT_EQ(Text(DecodeDate(36725.75)), "2000-7-18");
    EXPECT_EQ(Text(DecodeDate(0.5)), "1899-12-30");
    // Before the epoch the fraction still counts from the day toward zero.
    EXPECT_EQ(Text(DecodeDate(-1.25)), "1899-12-29");
}
