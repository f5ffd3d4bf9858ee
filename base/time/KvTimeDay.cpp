// Day-number arithmetic: days since 30 December 1899, fraction = time of
// day (counted backwards from the day for dates before the epoch).
#include <cmath>

#include "base/time/KvDayCount.h"
#include "base/time/KvTime.h"

namespace {

void CivilFromDays(long long z, int& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = (unsigned)(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = (int)(yoe + era * 400 + (m <= 2));
}

// The epoch of the day number lies 25569 days before 1 January 1970.
constexpr long long kEpochOffset = 25569;

}  // namespace

long long KvDaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = (unsigned)(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (long long)doe - 719468;
}

bool KvIsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int KvDaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    if (month == 2 && KvIsLeapYear(year)) return 29;
    return kDays[month - 1];
}

bool KvDateFromTm(int year, int month, int day, int hour, int minute, int second, double& dayNumber) {
    if (year < 100 || year > 9999 || month < 1 || month > 12) return false;
    if (day < 1 || day > KvDaysInMonth(year, month)) return false;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return false;
    long long days = KvDaysFromCivil(year, (unsigned)month, (unsigned)day) + kEpochOffset;
    double fraction = (hour * 3600 + minute * 60 + second) / 86400.0;
    dayNumber = (double)days + (days >= 0 ? fraction : -fraction);
    return true;
}

bool KvDateFromTm(const struct tm& tm, double& dayNumber) {
    return KvDateFromTm(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, dayNumber);
}

double KvTm2Date(int year, int month, int day, int hour, int minute, int second) {
    double d;
    return KvDateFromTm(year, month, day, hour, minute, second, d) ? d : KV_MIN_DAYNUMBER;
}

bool KvTmFromDate(double dayNumber, struct tm& tm) {
    if (!(dayNumber >= KV_MIN_DAYNUMBER && dayNumber <= KV_MAX_DAYNUMBER)) return false;
    // Round to the nearest second, away from zero, before splitting.
    const double halfSecond = 1.0 / 172800.0;
    double rounded = dayNumber + (dayNumber >= 0 ? halfSecond : -halfSecond);
    long long days = (long long)rounded;  // truncates toward zero
    double magnitude = std::fabs(rounded);
    long seconds = (long)((magnitude - std::floor(magnitude)) * 86400.0);
    if (seconds > 86399) seconds = 86399;

    int y;
    unsigned m, d;
    CivilFromDays(days - kEpochOffset, y, m, d);
    tm = {};
    tm.tm_year = y - 1900;
    tm.tm_mon = (int)m - 1;
    tm.tm_mday = (int)d;
    tm.tm_hour = (int)(seconds / 3600);
    tm.tm_min = (int)(seconds / 60 % 60);
    tm.tm_sec = (int)(seconds % 60);
    tm.tm_wday = (int)(((days + 693958) % 7 + 7) % 7);
    tm.tm_yday = (int)(days - (KvDaysFromCivil(y, 1, 1) + kEpochOffset));
    tm.tm_isdst = -1;
    return true;
}

double KvGetTimeSpan(int days, int hours, int minutes, int seconds) {
    return days + (hours * 3600.0 + minutes * 60.0 + seconds) / 86400.0;
}
