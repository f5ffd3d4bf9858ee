// KvTime: construction, field setters, comparison and day arithmetic.
// Text parsing and formatting live in KvTimeText.cpp, the Internet date
// formats in KvTimeRfc.cpp.
#include "base/time/KvTime.h"

#include <cmath>
#include <ctime>

namespace {

// Two-digit years: a year below 200 stands for 1900 + year.
int EffectiveYear(int year) { return year < 200 ? year + 1900 : year; }

// The day number counts the time of day backwards for days before the
// epoch, so it is not monotonic there. Arithmetic runs on a linear scale
// (whole day + forward fraction) and converts back.
double ToLinear(double dayNumber) {
    double whole = std::trunc(dayNumber);
    return whole + std::fabs(dayNumber - whole);
}

double FromLinear(double linear) {
    double day = std::floor(linear);
    double fraction = linear - day;
    return day < 0 ? day - fraction : day + fraction;
}

SYSTEMTIME FromTm(const struct tm& tm, int milliseconds) {
    SYSTEMTIME st{};
    st.wYear = (WORD)(tm.tm_year + 1900);
    st.wMonth = (WORD)(tm.tm_mon + 1);
    st.wDayOfWeek = (WORD)tm.tm_wday;
    st.wDay = (WORD)tm.tm_mday;
    st.wHour = (WORD)tm.tm_hour;
    st.wMinute = (WORD)tm.tm_min;
    st.wSecond = (WORD)tm.tm_sec;
    st.wMilliseconds = (WORD)milliseconds;
    return st;
}

}  // namespace

// ---- construction and conversion ----------------------------------------

KvTime::KvTime(const FILETIME& ft) { SetTime(ft); }

KvTime::KvTime(const TIME_OF_DAY_INFO& tod) {
    SetTime((time_t)tod.tod_elapsedt);
    if (!IsEmpty() && tod.tod_hunds < 100) m_st.wMilliseconds = (WORD)(tod.tod_hunds * 10);
}

KvTime::KvTime(time_t t) { SetTime(t); }

KvTime::KvTime(int year, int month, int day, int hour, int minute, int second) {
    SetTime(year, month, day, hour, minute, second);
}

KvTime::KvTime(const struct tm& tm) { SetTime(tm); }

KvTime::KvTime(const DBDATE& d) { SetDate(d.year, d.month, d.day, TRUE); }

KvTime::KvTime(const DBTIME& t) { SetTime(t.hour, t.minute, t.second, TRUE); }

KvTime::KvTime(const DBTIMESTAMP& ts) {
    if (SetTime(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second) && ts.fraction < 1000000000u)
        m_st.wMilliseconds = (WORD)(ts.fraction / 1000000u);
}

KvTime::KvTime(double dayNumber) { SetTime(dayNumber); }

bool KvTime::SetTime(time_t t) {
    struct tm tm;
    if (!localtime_r(&t, &tm)) return false;
    m_st = FromTm(tm, 0);
    return true;
}

bool KvTime::GetTime(time_t* t) const {
    struct tm tm;
    if (!GetTime(&tm)) return false;
    time_t r = mktime(&tm);
    if (r == (time_t)-1) return false;
    *t = r;
    return true;
}

bool KvTime::SetTime(const struct tm& tm) {
    return SetTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

bool KvTime::GetTime(struct tm* tm) const {
    *tm = {};
    tm->tm_year = EffectiveYear(m_st.wYear) - 1900;
    tm->tm_mon = m_st.wMonth - 1;
    tm->tm_mday = m_st.wDay;
    tm->tm_hour = m_st.wHour;
    tm->tm_min = m_st.wMinute;
    tm->tm_sec = m_st.wSecond;
    tm->tm_wday = GetDayOfWeek();
    double dn, jan1;
    if (KvDateFromTm(EffectiveYear(m_st.wYear), m_st.wMonth, m_st.wDay, 0, 0, 0, dn) &&
        KvDateFromTm(EffectiveYear(m_st.wYear), 1, 1, 0, 0, 0, jan1))
        tm->tm_yday = (int)(dn - jan1);
    tm->tm_isdst = -1;
    return IsValid();
}

bool KvTime::SetTime(const FILETIME& ft) { return KvFileTime(ft).GetTime(*this); }

bool KvTime::GetTime(FILETIME* ft) const {
    KvFileTime f;
    if (!f.SetTime(*this)) return false;
    *ft = f.GetFileTime();
    return true;
}

bool KvTime::GetTime(DBDATE* d) const {
    d->year = (short)m_st.wYear;
    d->month = m_st.wMonth;
    d->day = m_st.wDay;
    return IsValid();
}

bool KvTime::GetTime(DBTIME* t) const {
    t->hour = m_st.wHour;
    t->minute = m_st.wMinute;
    t->second = m_st.wSecond;
    return true;
}

bool KvTime::GetTime(DBTIMESTAMP* ts) const {
    ts->year = (short)m_st.wYear;
    ts->month = m_st.wMonth;
    ts->day = m_st.wDay;
    ts->hour = m_st.wHour;
    ts->minute = m_st.wMinute;
    ts->second = m_st.wSecond;
    ts->fraction = (DWORD)m_st.wMilliseconds * 1000000u;
    return IsValid();
}

// ---- field setters -------------------------------------------------------

bool KvTime::SetYear(int y) {
    if (y < 0 || y > 0xFFFF) return false;
    m_st.wYear = (WORD)y;
    return true;
}

bool KvTime::SetMonth(int m) {
    if (m < 1 || m > 12) return false;
    m_st.wMonth = (WORD)m;
    return true;
}

bool KvTime::SetDay(int d) {
    if (d < 1 || d > 31) return false;
    m_st.wDay = (WORD)d;
    return IsValid();
}

bool KvTime::SetHour(int h) {
    if (h < 0 || h > 24) return false;
    m_st.wHour = (WORD)h;
    return true;
}

bool KvTime::SetMinute(int m) {
    if (m < 0 || m > 59) return false;
    m_st.wMinute = (WORD)m;
    return true;
}

bool KvTime::SetSecond(int s) {
    if (s < 0 || s > 59) return false;
    m_st.wSecond = (WORD)s;
    return true;
}

bool KvTime::SetTime(int hour, int minute, int second, BOOL clearDate) {
    if (clearDate) EmptyDate();
    m_st.wMilliseconds = 0;
    bool ok = SetHour(hour) && SetMinute(minute) && SetSecond(second);
    RecomputeDayOfWeek();
    return ok;
}

bool KvTime::SetDate(int year, int month, int day, BOOL clearTime) {
    SYSTEMTIME previous = m_st;
    if (year < 0 || year > 0xFFFF || month < 0 || month > 0xFFFF || day < 0 || day > 0xFFFF) return false;
    m_st.wYear = (WORD)year;
    m_st.wMonth = (WORD)month;
    m_st.wDay = (WORD)day;
    if (clearTime) EmptyTime();
    if (!IsValid()) {
        m_st = previous;
        return false;
    }
    RecomputeDayOfWeek();
    return true;
}

bool KvTime::SetTime(int year, int month, int day, int hour, int minute, int second) {
    SYSTEMTIME previous = m_st;
    if (!SetDate(year, month, day, TRUE) || !SetTime(hour, minute, second, FALSE) || !IsValid()) {
        m_st = previous;
        return false;
    }
    return true;
}

bool KvTime::SetTime(DWORD milliseconds, BOOL clearDate) {
    if (milliseconds >= 86400000u) return false;
    if (clearDate) EmptyDate();
    m_st.wHour = (WORD)(milliseconds / 3600000u);
    m_st.wMinute = (WORD)(milliseconds / 60000u % 60);
    m_st.wSecond = (WORD)(milliseconds / 1000u % 60);
    m_st.wMilliseconds = (WORD)(milliseconds % 1000u);
    RecomputeDayOfWeek();
    return true;
}

void KvTime::GetTime(DWORD* milliseconds) const {
    *milliseconds = m_st.wHour * 3600000u + m_st.wMinute * 60000u + m_st.wSecond * 1000u + m_st.wMilliseconds;
}

// ---- day number ----------------------------------------------------------

double KvTime::GetDayNumber() const {
    double d;
    if (!KvDateFromTm(EffectiveYear(m_st.wYear), m_st.wMonth, m_st.wDay, m_st.wHour, m_st.wMinute, m_st.wSecond, d))
        return 0;
    return d;
}

bool KvTime::GetTime(double* dayNumber) {
    if (m_st.wYear < 200) m_st.wYear = (WORD)(m_st.wYear + 1900);
    double d;
    bool ok = KvDateFromTm(m_st.wYear, m_st.wMonth, m_st.wDay, m_st.wHour, m_st.wMinute, m_st.wSecond, d);
    *dayNumber = ok ? d : 0;
    return ok;
}

bool KvTime::SetTime(double dayNumber) {
    struct tm tm;
    if (!KvTmFromDate(dayNumber, tm)) return false;
    m_st = FromTm(tm, 0);
    return true;
}

// ---- tests and comparison ------------------------------------------------

bool KvTime::IsValid() const {
    int year = EffectiveYear(m_st.wYear);
    if (year > 9999) return false;
    if (m_st.wDay < 1 || m_st.wDay > KvDaysInMonth(year, m_st.wMonth)) return false;
    return m_st.wHour <= 23 && m_st.wMinute <= 59 && m_st.wSecond <= 59 && m_st.wMilliseconds <= 999;
}

bool KvTime::IsEmpty() const {
    return m_st.wYear == 0 && m_st.wMonth == 0 && m_st.wDay == 0 && m_st.wHour == 0 && m_st.wMinute == 0 &&
           m_st.wSecond == 0 && m_st.wMilliseconds == 0;
}

int KvTime::GetDayOfWeek() const {
    double d;
    if (!KvDateFromTm(EffectiveYear(m_st.wYear), m_st.wMonth, m_st.wDay, 0, 0, 0, d)) return 0;
    long long days = (long long)d;
    return (int)(((days + 693958) % 7 + 7) % 7);
}

int KvTime::Compare(const KvTime& other) const {
    const WORD a[7] = {m_st.wYear, m_st.wMonth, m_st.wDay, m_st.wHour, m_st.wMinute, m_st.wSecond, m_st.wMilliseconds};
    const SYSTEMTIME& o = other.m_st;
    const WORD b[7] = {o.wYear, o.wMonth, o.wDay, o.wHour, o.wMinute, o.wSecond, o.wMilliseconds};
    for (int i = 0; i < 7; ++i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}

bool KvTime::IsSameDate(const KvTime& other) const {
    return m_st.wYear == other.m_st.wYear && m_st.wMonth == other.m_st.wMonth && m_st.wDay == other.m_st.wDay;
}

void KvTime::Empty() { m_st = SYSTEMTIME{}; }

void KvTime::EmptyDate() {
    m_st.wYear = m_st.wMonth = m_st.wDay = m_st.wDayOfWeek = 0;
}

void KvTime::EmptyTime() {
    m_st.wHour = m_st.wMinute = m_st.wSecond = m_st.wMilliseconds = 0;
}

// ---- now and month boundaries ----------------------------------------------

KvTime KvTime::GetCurTime() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tm;
    localtime_r(&ts.tv_sec, &tm);
    KvTime t;
    t.m_st = FromTm(tm, (int)(ts.tv_nsec / 1000000));
    return t;
}

KvTime KvTime::GetCurDate() {
    KvTime t = GetCurTime();
    t.EmptyTime();
    return t;
}

KvTime KvTime::GetFirstDOM() const {
    KvTime t;
    t.SetDate(m_st.wYear, m_st.wMonth, 1, TRUE);
    return t;
}

KvTime KvTime::GetFirstDOMNext() const {
    KvTime t;
    if (m_st.wMonth >= 12)
        t.SetDate(m_st.wYear + 1, 1, 1, TRUE);
    else
        t.SetDate(m_st.wYear, m_st.wMonth + 1, 1, TRUE);
    return t;
}

KvTime KvTime::GetEndDOM() const {
    KvTime t = GetFirstDOMNext();
    if (!t.IsEmpty()) t -= 1;
    return t;
}

// ---- arithmetic ------------------------------------------------------------

KvTime& KvTime::operator+=(double days) {
    // An invalid value stays as it is (not even its year is touched).
    if (IsValid()) SetTime(FromLinear(ToLinear(GetDayNumber()) + days));
    return *this;
}

KvTime& KvTime::operator-=(double days) { return *this += -days; }

void KvTime::SetTimeAfter(int days, int hours, int minutes, int seconds) {
    *this += KvGetTimeSpan(days, hours, minutes, seconds);
}

void KvTime::SetTimeBefore(int days, int hours, int minutes, int seconds) {
    *this -= KvGetTimeSpan(days, hours, minutes, seconds);
}

double operator-(const KvTime& a, const KvTime& b) {
    return ToLinear(a.GetDayNumber()) - ToLinear(b.GetDayNumber());
}

// Changing the machine's clock is left to the system's administrator.
bool GMTtoSystemTime(KvTime&) { return false; }
bool SystemtoGMTTime(KvTime&) { return false; }
