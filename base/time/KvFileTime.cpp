// KvFileTime: 100-ns ticks since 1601 (UTC), converted by calendar arithmetic.
#include <cmath>

#include "base/time/KvTime.h"

namespace {

constexpr ULONGLONG kTicksPerSecond = 10000000ull;
constexpr ULONGLONG kTicksPerDay = 86400ull * kTicksPerSecond;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr long long kUnixEpochSeconds = 11644473600ll;

// Day number of 1 January 1601.
double DayNumber1601() {
    static const double d = KvTm2Date(1601, 1, 1, 0, 0, 0);
    return d;
}

}  // namespace

KvFileTime KvFileTime::FromUnix(long long seconds, long nanoseconds) {
    KvFileTime f;
    long long s = seconds + kUnixEpochSeconds;
    if (s < 0) return f;
    f.m_ticks = (ULONGLONG)s * kTicksPerSecond + (ULONGLONG)(nanoseconds / 100);
    return f;
}

long long KvFileTime::ToUnix() const { return (long long)(m_ticks / kTicksPerSecond) - kUnixEpochSeconds; }

FILETIME KvFileTime::GetFileTime() const {
    FILETIME ft;
    ft.dwLowDateTime = (DWORD)(m_ticks & 0xFFFFFFFFu);
    ft.dwHighDateTime = (DWORD)(m_ticks >> 32);
    return ft;
}

bool KvFileTime::SetTime(const KvTime& t) {
    if (!t.IsValid()) return false;
    KvTime date(t);
    date.EmptyTime();
    double day = date.GetDayNumber();
    double days = day - DayNumber1601();
    if (days < 0) return false;
    ULONGLONG seconds = (ULONGLONG)t.GetHour() * 3600 + (ULONGLONG)t.GetMinute() * 60 + (ULONGLONG)t.GetSecond();
    m_ticks = (ULONGLONG)days * kTicksPerDay + seconds * kTicksPerSecond + (ULONGLONG)t.GetMilliseconds() * 10000ull;
    return true;
}

bool KvFileTime::GetTime(KvTime& t) const {
    double day = DayNumber1601() + (double)(m_ticks / kTicksPerDay);
    KvTime result;
    if (!result.SetTime(day)) return false;
    ULONGLONG rest = m_ticks % kTicksPerDay;
    DWORD ms = (DWORD)(rest / 10000ull);
    result.SetTime(ms, FALSE);
    t = result;
    return true;
}

bool KvFileTime::GetDateTime(WORD* date, WORD* time) const {
    KvTime t;
    if (!GetTime(t) || t.GetYear() < 1980 || t.GetYear() > 2107) return false;
    *date = (WORD)(((t.GetYear() - 1980) << 9) | (t.GetMonth() << 5) | t.GetDay());
    *time = (WORD)((t.GetHour() << 11) | (t.GetMinute() << 5) | (t.GetSecond() / 2));
    return true;
}
