#include "engine/daynum.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace tarnel {

namespace {
using namespace std::chrono;
constexpr std::int64_t kEpochOffset = 25569;   // day number of 1 January 1970

bool ReadInt(std::string_view& s, int digitsMin, int digitsMax, int& out)
{
    int n = 0, v = 0;
    while (n < digitsMax && n < static_cast<int>(s.size()) && s[n] >= '0' && s[n] <= '9') {
        v = v * 10 + (s[n] - '0');
        ++n;
    }
    if (n < digitsMin) return false;
    s.remove_prefix(static_cast<size_t>(n));
    out = v;
    return true;
}

bool Expect(std::string_view& s, char c)
{
    if (s.empty() || s.front() != c) return false;
    s.remove_prefix(1);
    return true;
}
} // namespace

bool IsValidDate(int year, int month, int day)
{
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

std::int64_t DayNumber(int year, int month, int day)
{
    auto d = sys_days(std::chrono::year(year) / std::chrono::month(static_cast<unsigned>(month)) /
                      std::chrono::day(static_cast<unsigned>(day)));
    return d.time_since_epoch().count() + kEpochOffset;
}

CivilDate DateOfDayNumber(std::int64_t dayNumber)
{
    year_month_day ymd{sys_days(days(dayNumber - kEpochOffset))};
    return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

std::string DateText(std::int64_t dayNumber)
{
    CivilDate d = DateOfDayNumber(dayNumber);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buf;
}

std::string TimeText(double fraction)
{
    auto ms = static_cast<std::int64_t>(std::llround(fraction * 86400000.0));
    ms = ((ms % 86400000) + 86400000) % 86400000;
    std::int64_t s = ms / 1000;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", static_cast<int>(s / 3600),
                  static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
    return buf;
}

std::string DateTimeText(double dateTime)
{
    auto ms = static_cast<std::int64_t>(std::llround(dateTime * 86400000.0));
    std::int64_t day = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    std::int64_t rest = ms - day * 86400000;
    return DateText(day) + " " + TimeText(static_cast<double>(rest) / 86400000.0);
}

bool ParseDateText(std::string_view s, std::int64_t& dayNumber)
{
    int y = 0, m = 0, d = 0;
    std::string_view t = s;
    bool ok = false;
    if (ReadInt(t, 4, 4, y) && Expect(t, '-') && ReadInt(t, 1, 2, m) && Expect(t, '-') &&
        ReadInt(t, 1, 2, d) && t.empty())
        ok = true;
    if (!ok) {
        t = s;
        ok = t.size() == 8 && ReadInt(t, 4, 4, y) && ReadInt(t, 2, 2, m) && ReadInt(t, 2, 2, d);
    }
    if (!ok) {
        t = s;
        ok = ReadInt(t, 1, 2, d) && Expect(t, '.') && ReadInt(t, 1, 2, m) && Expect(t, '.') &&
             ReadInt(t, 4, 4, y) && t.empty();
    }
    if (!ok) {
        t = s;
        ok = ReadInt(t, 1, 2, m) && Expect(t, '/') && ReadInt(t, 1, 2, d) && Expect(t, '/') &&
             ReadInt(t, 4, 4, y) && t.empty();
    }
    if (!ok || !IsValidDate(y, m, d)) return false;
    dayNumber = DayNumber(y, m, d);
    return true;
}

bool ParseTimeText(std::string_view s, double& fraction)
{
    int h = 0, mi = 0, sec = 0;
    if (!ReadInt(s, 1, 2, h) || !Expect(s, ':') || !ReadInt(s, 2, 2, mi)) return false;
    if (!s.empty() && (!Expect(s, ':') || !ReadInt(s, 2, 2, sec))) return false;
    if (!s.empty() || h > 23 || mi > 59 || sec > 59) return false;
    fraction = (h * 3600 + mi * 60 + sec) / 86400.0;
    return true;
}

bool ParseDateTimeText(std::string_view s, double& dateTime)
{
    auto blank = s.find(' ');
    std::int64_t day = 0;
    double time = 0;
    if (!ParseDateText(s.substr(0, blank), day)) return false;
    if (blank != std::string_view::npos) {
        std::string_view rest = s.substr(blank + 1);
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        if (!rest.empty() && !ParseTimeText(rest, time)) return false;
    }
    dateTime = static_cast<double>(day) + time;
    return true;
}

} // namespace tarnel
