// Plain calendar and time records exchanged with KvTime.
//
// They keep the field names and widths of the records the libraries were
// written against, so code that fills them field by field reads the same.
// Each is guarded so that another header may provide the same record.
#pragma once

#include "base/platform/WinTypes.h"

#ifndef KV_SYSTEMTIME_DEFINED
#define KV_SYSTEMTIME_DEFINED
// Calendar record: month 1-12, day of week 0 = Sunday. All zero = empty.
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
#endif

#ifndef KV_FILETIME_DEFINED
#define KV_FILETIME_DEFINED
// File time: 100-nanosecond intervals since 1 January 1601 (UTC).
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
#endif

#ifndef KV_DBTIME_DEFINED
#define KV_DBTIME_DEFINED
// Database date and time records (fraction of DBTIMESTAMP in nanoseconds).
struct DBDATE {
    short year;
    WORD month;
    WORD day;
};
struct DBTIME {
    WORD hour;
    WORD minute;
    WORD second;
};
struct DBTIMESTAMP {
    short year;
    WORD month;
    WORD day;
    WORD hour;
    WORD minute;
    WORD second;
    DWORD fraction;
};
#endif

#ifndef KV_TIME_OF_DAY_INFO_DEFINED
#define KV_TIME_OF_DAY_INFO_DEFINED
// Network time-of-day record: the fields are UTC; tod_timezone is the
// offset of the reporting machine in minutes west of UTC (-1 = unknown).
struct TIME_OF_DAY_INFO {
    DWORD tod_elapsedt;
    DWORD tod_msecs;
    DWORD tod_hours;
    DWORD tod_mins;
    DWORD tod_secs;
    DWORD tod_hunds;
    LONG tod_timezone;
    DWORD tod_tinterval;
    DWORD tod_day;
    DWORD tod_month;
    DWORD tod_year;
    DWORD tod_weekday;
};
#endif
