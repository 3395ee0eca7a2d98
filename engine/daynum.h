#pragma once
// Day numbers: days since 30 December 1899; the time of day is the fraction.
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnel {

struct CivilDate { int year = 0; int month = 0; int day = 0; };

bool IsValidDate(int year, int month, int day);
int DaysInMonth(int year, int month);
std::int64_t DayNumber(int year, int month, int day);   // no validation
CivilDate DateOfDayNumber(std::int64_t dayNumber);

// "yyyy-mm-dd", "hh:mm:ss", "yyyy-mm-dd hh:mm:ss" (seconds rounded to the millisecond, then cut).
std::string DateText(std::int64_t dayNumber);
std::string TimeText(double fractionOfDay);
std::string DateTimeText(double dateTime);

// Accepts "yyyy-mm-dd", "yyyymmdd", "dd.mm.yyyy" and "mm/dd/yyyy"; false when invalid.
bool ParseDateText(std::string_view text, std::int64_t& dayNumber);
// Accepts "hh:mm" and "hh:mm:ss"; false when invalid.
bool ParseTimeText(std::string_view text, double& fraction);
// A date, optionally followed by a blank and a time.
bool ParseDateTimeText(std::string_view text, double& dateTime);

} // namespace tarnel
