#pragma once
// Calendar arithmetic of the date spin: which component each arrow pair steps,
// stepping with carries, setting one component with clamping, and the
// day-number encoding with its 1..9999 year range.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/daynum.h"

namespace tarnel {

// Raised when a date falls outside 1 January 1 .. 31 December 9999.
class DateEncodeError : public std::runtime_error {
public:
    DateEncodeError() : std::runtime_error("Invalid argument to date encode") {}
};

// "DMY", "MDY" or "YMD": decided by the first d, m or y (any case) of a
// short date pattern; "MDY" when the pattern has none of them.
std::string StepOrderFromPattern(std::string_view pattern);

// Day number (days since 30 December 1899) of a date; throws DateEncodeError
// when the date is not a valid calendar date of years 1 to 9999.
double EncodeDate(const CivilDate& date);

// The date part of a date-time value; the fraction (time of day) is dropped
// toward zero, as the day-number convention has it.
CivilDate DecodeDate(double value);

// One step (delta +1 or -1) of the component named by `part` ('D', 'M' or 'Y'),
// carrying into larger components. Years below 1 are held at 1; years above
// 9999 are returned as they are, for EncodeDate to refuse.
CivilDate StepDatePart(CivilDate date, char part, int delta);

// Replaces one component ('D', 'M' or 'Y') and clamps the result into a real
// date (year 0 -> 1, month into 1..12, day into 1..days of the month).
CivilDate SetDatePart(CivilDate date, char part, int value);

} // namespace tarnel
