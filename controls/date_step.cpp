#include "controls/date_step.h"

#include <algorithm>
#include <cmath>
#include <cctype>

namespace tarnel {

std::string StepOrderFromPattern(std::string_view pattern)
{
    for (char c : pattern) {
        switch (std::tolower(static_cast<unsigned char>(c))) {
        case 'd': return "DMY";
        case 'y': return "YMD";
        case 'm': return "MDY";
        default: break;
        }
    }
    return "MDY";
}

double EncodeDate(const CivilDate& date)
{
    if (!IsValidDate(date.year, date.month, date.day)) throw DateEncodeError();
    return static_cast<double>(DayNumber(date.year, date.month, date.day));
}

CivilDate DecodeDate(double value)
{
    return DateOfDayNumber(static_cast<std::int64_t>(std::trunc(value)));
}

namespace {

void CutDay(CivilDate& d)
{
    d.day = std::min(d.day, DaysInMonth(d.year, d.month));
}

void StepYear(CivilDate& d, int delta)
{
    d.year += delta;
    if (d.year < 1) d.year = 1;
    CutDay(d);
}

void StepMonth(CivilDate& d, int delta)
{
    d.month += delta;
    if (d.month < 1) {
        d.month = 12;
        StepYear(d, delta);
    } else if (d.month > 12) {
        d.month = 1;
        ++d.year;
    }
    CutDay(d);
}

void StepDay(CivilDate& d, int delta)
{
    d.day += delta;
    if (d.day > DaysInMonth(d.year, d.month)) {
        d.day = 1;
        StepMonth(d, delta);
    } else if (d.day < 1) {
        d.day = 31;   // the month step cuts it to the new month's length
        StepMonth(d, delta);
    }
}

} // namespace

CivilDate StepDatePart(CivilDate date, char part, int delta)
{
    switch (part) {
    case 'D': StepDay(date, delta); break;
    case 'M': StepMonth(date, delta); break;
    case 'Y': StepYear(date, delta); break;
    default: break;
    }
    return date;
}

CivilDate SetDatePart(CivilDate date, char part, int value)
{
    switch (part) {
    case 'D': date.day = value; break;
    case 'M': date.month = value; break;
    case 'Y': date.year = value; break;
    default: break;
    }
    if (date.year < 1) date.year = 1;
    date.month = std::clamp(date.month, 1, 12);
    if (date.day > DaysInMonth(date.year, date.month)) date.day = DaysInMonth(date.year, date.month);
    if (date.day < 1) date.day = 1;
    return date;
}

} // namespace tarnel
