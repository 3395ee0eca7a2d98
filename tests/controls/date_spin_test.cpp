#include <QLocale>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "controls/date_spin.h"
#include "controls/date_step.h"
#include "widget_helpers.h"

using namespace tarnel;
using namespace tarnel::test;

namespace {

// Runs a test under a given default locale and puts the old one back.
struct LocaleScope {
    QLocale saved;
    explicit LocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(saved); }
};

void SetDate(TDateSpin& spin, int y, int m, int d)
{
    spin.setYear(static_cast<quint16>(y));
    spin.setMonth(static_cast<quint16>(m));
    spin.setDay(static_cast<quint16>(d));
}

std::string DateOf(const TDateSpin& spin)
{
    return std::to_string(spin.Year()) + "-" + std::to_string(spin.Month()) + "-" +
           std::to_string(spin.Day());
}

// The pair at a left-to-right position, by where it actually sits.
TUpDownButton* PairAt(TDateSpin& spin, int position)
{
    std::vector<TUpDownButton*> pairs{spin.pair(0), spin.pair(1), spin.pair(2)};
    std::sort(pairs.begin(), pairs.end(),
              [](auto* a, auto* b) { return a->geometry().x() < b->geometry().x(); });
    return pairs[position];
}

} // namespace

TEST(DateSpin, StartsTodayAndTakesTheStepOrderFromTheLocale)
{
    LocaleScope us(QLocale(QLocale::English, QLocale::UnitedStates));
    TDateSpin spin;
    const QDate today = QDate::currentDate();
    EXPECT_EQ(spin.Year(), today.year());
    EXPECT_EQ(spin.Month(), today.month());
    EXPECT_EQ(spin.Day(), today.day());
    EXPECT_EQ(spin.StepOrder(), "MDY");
    EXPECT_EQ(spin.size(), QSize(131, 26));

    SetDate(spin, 2000, 7, 18);
    EXPECT_DOUBLE_EQ(spin.value(), 36725.0);   // the time of day is gone
    EXPECT_EQ(spin.caption(), " 7/18/2000");

    // The century shows: the caption keeps four year digits as the year steps.
    SetDate(spin, 1899, 7, 18);
    EXPECT_EQ(spin.caption(), " 7/18/1899");
    QTest::mouseClick(spin.pair(2)->upButton(), Qt::LeftButton);   // year up
    EXPECT_EQ(spin.caption(), " 7/18/1900");
    EXPECT_EQ(WithFourDigitYear("dd.MM.yy 'yy'"), "dd.MM.yyyy 'yy'");
    EXPECT_EQ(WithFourDigitYear("yyyy-MM-dd"), "yyyy-MM-dd");
}

TEST(DateSpin, PairsFollowTheShortDateOrderLeftToRight)
{
    LocaleScope german(QLocale(QLocale::German, QLocale::Germany));
    TDateSpin spin;
    spin.show();
    EXPECT_EQ(spin.StepOrder(), "DMY");
    SetDate(spin, 2001, 1, 31);
    EXPECT_TRUE(spin.caption().startsWith(" 31.01."));

    QSignalSpy changed(&spin, &TDateSpin::OnChanged);
    QTest::mouseClick(PairAt(spin, 0)->upButton(), Qt::LeftButton);   // day
    EXPECT_EQ(DateOf(spin), "2001-2-1");
    QTest::mouseClick(PairAt(spin, 1)->downButton(), Qt::LeftButton); // month
    EXPECT_EQ(DateOf(spin), "2001-1-1");
    QTest::mouseClick(PairAt(spin, 2)->upButton(), Qt::LeftButton);   // year
    EXPECT_EQ(DateOf(spin), "2002-1-1");
    EXPECT_EQ(changed.count(), 3);
    EXPECT_EQ(changed.at(0).at(0).value<TDateSpin*>(), &spin);
    // The pairs sit at the right edge, the caption takes the rest.
    EXPECT_LT(PairAt(spin, 2)->geometry().right(), spin.width());
    EXPECT_GT(PairAt(spin, 0)->geometry().left(), spin.width() / 2);
}

TEST(DateSpin, YearFirstLocale)
{
    LocaleScope swedish(QLocale(QLocale::Swedish, QLocale::Sweden));
    TDateSpin spin;
    EXPECT_EQ(spin.StepOrder(), "YMD");
    SetDate(spin, 2000, 2, 29);
    spin.UpClick(spin.pair(0));
    EXPECT_EQ(DateOf(spin), "2001-2-28");
    spin.DownClick(spin.pair(2));
    EXPECT_EQ(DateOf(spin), "2001-2-27");
}

TEST(DateSpin, EverySetAndStepNotifiesEvenWithoutChange)
{
    LocaleScope us(QLocale(QLocale::English, QLocale::UnitedStates));
    TDateSpin spin;
    SetDate(spin, 1, 5, 5);
    QSignalSpy changed(&spin, &TDateSpin::OnChanged);
    spin.DownClick(spin.pair(2));   // year down at year 1
    EXPECT_EQ(DateOf(spin), "1-5-5");
    spin.setDay(5);
    spin.UpClick(nullptr);          // not one of its pairs: nothing steps
    EXPECT_EQ(DateOf(spin), "1-5-5");
    EXPECT_EQ(changed.count(), 3);

    spin.setMonth(13);
    EXPECT_EQ(spin.Month(), 12);
    spin.setDay(40);
    EXPECT_EQ(spin.Day(), 31);
    spin.setMonth(4);
    EXPECT_EQ(spin.Day(), 30);
}

TEST(DateSpin, DatesPastYear9999AreRefusedAndNothingChanges)
{
    LocaleScope us(QLocale(QLocale::English, QLocale::UnitedStates));
    CapturedErrors errors;
    TDateSpin spin;
    spin.show();
    SetDate(spin, 9999, 12, 31);
    const QString caption = spin.caption();
    const double value = spin.value();
    QSignalSpy changed(&spin, &TDateSpin::OnChanged);

    EXPECT_THROW(spin.setYear(10000), DateEncodeError);
    EXPECT_THROW(spin.UpClick(spin.pair(1)), DateEncodeError);   // day up
    // Through the arrows the error is reported, not thrown.
    QTest::mouseClick(spin.pair(2)->upButton(), Qt::LeftButton);  // year up
    EXPECT_EQ(errors.messages(), QStringList{"Invalid argument to date encode"});

    EXPECT_EQ(spin.value(), value);
    EXPECT_EQ(spin.caption(), caption);
    EXPECT_EQ(changed.count(), 0);
}
