// KvTime: calendar date and time of day; KvFileTime: a file-system time.
//
// A KvTime holds a calendar record (year, month 1-12, day of week 0 =
// Sunday, day, hour, minute, second, millisecond). All fields zero is the
// empty time. Arithmetic goes through the day number: days since
// 30 December 1899 as a double whose fraction is the time of day (for days
// before that date the fraction counts backwards from the day, so -1.25 is
// 29 December 1899 06:00). The valid range is KV_MIN_DAYNUMBER (1 January
// 100) to KV_MAX_DAYNUMBER (31 December 9999). SQL stores a KvTime as its
// day number written with "%f".
//
// Values are local time unless a function says otherwise (the Internet
// date functions work on UTC records). No locking: a KvTime shared between
// threads is guarded by its owner (GetTime(double*) may change the year).
#pragma once

#include <ctime>

#include "base/platform/CString.h"
#include "base/platform/WinTypes.h"
#include "base/str/CsString.h"
#include "base/time/KvTimeTypes.h"

class KvTime;

constexpr double KV_MIN_DAYNUMBER = -657434.0;  // 1 January 100
constexpr double KV_MAX_DAYNUMBER = 2958465.0;  // 31 December 9999

// A file time (100-ns intervals since 1601, UTC) with comparison and
// conversion. Conversion to and from KvTime is calendar arithmetic only:
// the KvTime then reads as UTC.
class KvFileTime {
public:
    KvFileTime() = default;
    KvFileTime(const FILETIME& ft) : m_ticks(((ULONGLONG)ft.dwHighDateTime << 32) | ft.dwLowDateTime) {}
    explicit KvFileTime(const KvTime& t) { SetTime(t); }
    virtual ~KvFileTime() = default;

    // From seconds and nanoseconds since 1970 (a stat time).
    static KvFileTime FromUnix(long long seconds, long nanoseconds = 0);
    // Seconds since 1970 (rounded down).
    long long ToUnix() const;

    ULONGLONG GetTicks() const { return m_ticks; }
    void SetTicks(ULONGLONG ticks) { m_ticks = ticks; }
    FILETIME GetFileTime() const;
    operator FILETIME() const { return GetFileTime(); }

    // False when t is not a valid date or lies before 1601.
    bool SetTime(const KvTime& t);
    // False when the value lies beyond 9999.
    bool GetTime(KvTime& t) const;
    // DOS date and time pair: date = (year-1980)<<9 | month<<5 | day,
    // time = hour<<11 | minute<<5 | second/2. False before 1980 or after 2107.
    bool GetDateTime(WORD* date, WORD* time) const;

    int Compare(const KvFileTime& other) const { return m_ticks < other.m_ticks ? -1 : (m_ticks > other.m_ticks ? 1 : 0); }
    bool operator==(const KvFileTime& o) const { return m_ticks == o.m_ticks; }
    bool operator!=(const KvFileTime& o) const { return m_ticks != o.m_ticks; }
    bool operator<(const KvFileTime& o) const { return m_ticks < o.m_ticks; }
    bool operator>(const KvFileTime& o) const { return m_ticks > o.m_ticks; }
    bool operator<=(const KvFileTime& o) const { return m_ticks <= o.m_ticks; }
    bool operator>=(const KvFileTime& o) const { return m_ticks >= o.m_ticks; }

private:
    ULONGLONG m_ticks = 0;
};

class KvTime {
public:
    KvTime() = default;
    KvTime(const KvTime&) = default;
    KvTime(const FILETIME& ft);
    KvTime(const TIME_OF_DAY_INFO& tod);  // converted to local time
    KvTime(const SYSTEMTIME& st) : m_st(st) {}
    explicit KvTime(time_t t);  // local time
    KvTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
    KvTime(const struct tm& tm);
    KvTime(const DBDATE& d);
    KvTime(const DBTIME& t);
    KvTime(const DBTIMESTAMP& ts);
    explicit KvTime(double dayNumber);
    virtual ~KvTime() = default;

    KvTime& operator=(const KvTime&) = default;
    KvTime& operator=(const SYSTEMTIME& st) { m_st = st; return *this; }
    KvTime& operator=(double dayNumber) { SetTime(dayNumber); return *this; }

    // Fields.
    int GetYear() const { return m_st.wYear; }
    int GetMonth() const { return m_st.wMonth; }
    int GetDay() const { return m_st.wDay; }
    int GetHour() const { return m_st.wHour; }
    int GetMinute() const { return m_st.wMinute; }
    int GetSecond() const { return m_st.wSecond; }
    int GetMilliseconds() const { return m_st.wMilliseconds; }
    const SYSTEMTIME& GetSystemTime() const { return m_st; }

    // Field setters: false (nothing stored) when out of range.
    bool SetYear(int y);    // 0 and above (up to 65535)
    bool SetMonth(int m);   // 1-12
    bool SetDay(int d);     // 1-31; then the result of IsValid
    bool SetHour(int h);    // 0-24
    bool SetMinute(int m);  // 0-59
    bool SetSecond(int s);  // 0-59

    // hour 0-24, minute and second 0-59; false at the first bad field (the
    // earlier ones stay stored). Milliseconds 0; recomputes the day of week.
    bool SetTime(int hour, int minute, int second, BOOL clearDate = FALSE);
    // Stores the date; restores the previous value and returns false when
    // the result is not a valid date.
    bool SetDate(int year, int month, int day, BOOL clearTime = FALSE);
    // All fields, milliseconds 0; restores the previous value when invalid.
    bool SetTime(int year, int month, int day, int hour, int minute, int second);
    // Time of day as milliseconds since midnight (below 86400000).
    bool SetTime(DWORD milliseconds, BOOL clearDate);
    void GetTime(DWORD* milliseconds) const;

    // 'h:m:s' (or 'h:m') split at the locale time separator; hour 0-23,
    // minute and second 0-59, else false and nothing changes.
    bool SetTime(const char* text, BOOL clearDate = FALSE);
    // Date text in the locale order and separator (see KvTime.cpp).
    bool SetDate(const char* text, BOOL clearTime = FALSE);
    // "date" or "date time".
    bool SetDateTime(const char* text);

    // Day number. GetTime takes a year below 200 as 1900 + year and stores
    // that year; an invalid value gives 0 and false. SetTime ignores values
    // outside the valid range (false, the value stays).
    bool GetTime(double* dayNumber);
    bool SetTime(double dayNumber);
    // The day number without touching the value (0 when invalid).
    double GetDayNumber() const;

    // Conversions. time_t goes through the local-time conversion.
    bool GetTime(time_t* t) const;
    bool SetTime(time_t t);
    bool GetTime(SYSTEMTIME* st) const { *st = m_st; return true; }
    bool SetTime(const SYSTEMTIME& st) { m_st = st; return true; }
    bool GetTime(struct tm* tm) const;
    bool SetTime(const struct tm& tm);
    bool GetTime(FILETIME* ft) const;
    bool SetTime(const FILETIME& ft);
    bool GetTime(DBDATE* d) const;
    bool GetTime(DBTIME* t) const;
    bool GetTime(DBTIMESTAMP* ts) const;

    // The fields form a valid date and time of day.
    bool IsValid() const;
    bool IsEmpty() const;
    // 0 = Sunday, recomputed from the date; 0 when out of range.
    int GetDayOfWeek() const;

    int Compare(const KvTime& other) const;
    bool IsSameDate(const KvTime& other) const;
    bool operator==(const KvTime& o) const { return Compare(o) == 0; }
    bool operator!=(const KvTime& o) const { return Compare(o) != 0; }
    bool operator<(const KvTime& o) const { return Compare(o) < 0; }
    bool operator>(const KvTime& o) const { return Compare(o) > 0; }
    bool operator<=(const KvTime& o) const { return Compare(o) <= 0; }
    bool operator>=(const KvTime& o) const { return Compare(o) >= 0; }

    void Empty();
    void EmptyDate();
    void EmptyTime();

    // Now and today 00:00:00, local time.
    [[nodiscard]] static KvTime GetCurTime();
    [[nodiscard]] static KvTime GetCurDate();
    // First day of this month, of the next month, last day of this month,
    // all at 00:00:00.
    [[nodiscard]] KvTime GetFirstDOM() const;
    [[nodiscard]] KvTime GetFirstDOMNext() const;
    [[nodiscard]] KvTime GetEndDOM() const;

    // Day arithmetic through the day number (fractions allowed). An
    // invalid value stays unchanged.
    KvTime& operator+=(double days);
    KvTime& operator-=(double days);
    void SetTimeAfter(int days, int hours = 0, int minutes = 0, int seconds = 0);
    void SetTimeBefore(int days, int hours = 0, int minutes = 0, int seconds = 0);

    // strftime on the fields, at most 127 characters.
    CString Format(const char* fmt) const __attribute__((format(strftime, 2, 0)));
    // strftime in UTC of this local time; empty when it cannot be converted.
    CString FormatGmt(const char* fmt) const __attribute__((format(strftime, 2, 0)));
    // Format text taken from the string table.
    CString FormatResource(UINT resourceId) const;
    // The locale time format of the given kind, and the locale short date
    // and time.
    CString Format(int kind) const;
    void GetTime(CString& text) const;

    // 'Www, DD Mon YYYY HH:MM:SS GMT' of this value (taken as UTC).
    void GetRFCTime(CString& dst) const;

private:
    void RecomputeDayOfWeek() { m_st.wDayOfWeek = (WORD)GetDayOfWeek(); }

    SYSTEMTIME m_st{};
};

// a - b in days.
double operator-(const KvTime& a, const KvTime& b);

// Day number <-> broken-down time (standard struct tm conventions: year
// since 1900, month 0-11). False outside the valid range / for an invalid
// date.
bool KvTmFromDate(double dayNumber, struct tm& tm);
bool KvDateFromTm(const struct tm& tm, double& dayNumber);
bool KvDateFromTm(int year, int month, int day, int hour, int minute, int second, double& dayNumber);
// The day number, or KV_MIN_DAYNUMBER when the fields are not a valid date.
double KvTm2Date(int year, int month, int day, int hour, int minute, int second);
// Leap years: divisible by 4 and not by 100, or by 400.
bool KvIsLeapYear(int year);
// Length of the month (0 for a month outside 1-12).
int KvDaysInMonth(int year, int month);
// days + (hours * 3600 + minutes * 60 + seconds) / 86400.
double KvGetTimeSpan(int days, int hours, int minutes, int seconds);

// 'Www, DD Mon YYYY HH:MM:SS GMT' (exactly 29 characters) from a UTC
// record. False (and an empty text) when the record cannot be written.
bool GetRFCTimeFormat(const SYSTEMTIME* st, CString* text);
bool GetRFCTimeFormat(const SYSTEMTIME* st, CsString* text);
// Reads the three Internet date forms (RFC 1123, asctime, RFC 850) into a
// UTC record. False for anything else; fields read before the failing one
// keep their new values.
bool GetRFCTime(const char* text, SYSTEMTIME* st);
// 'YYYY-MM-DD HH:MM:SS' (exactly 19 characters, separators of any kind).
// False only for a wrong length; an invalid date leaves t unchanged.
bool ConvertStringToTime(const char* text, KvTime* t);

// Setting the machine's clock is not a proxy's business: both do nothing
// and return false.
bool GMTtoSystemTime(KvTime& t);
bool SystemtoGMTTime(KvTime& t);
