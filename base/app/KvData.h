// KV_DATA: the process-wide record of application, machine and regional
// facts, one global instance `kvData` built when the base library loads.
//
// Regional settings never come from the C library's locale (the process
// stays in the "C" locale so "%f" writes a full stop): they start from a
// fixed table and may be overridden from the "[Locale]" section of the
// configuration (LoadLocale). Refresh re-applies table and overrides.
//
// Threads: the setters (SetAppInfo, SetUser, LoadLocale, Refresh) belong
// to start-up, before worker threads exist; afterwards the record is read
// only.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "base/platform/CString.h"
#include "base/platform/WinTypes.h"

// Kinds of GetTimeFmt.
enum {
    KV_TIMEFMT_SECONDS = 0,  // hours, minutes and seconds
    KV_TIMEFMT_MINUTES = 1,  // hours and minutes
};

struct KV_DATA {
    KV_DATA();

    // Application information.
    CString m_strAppName;
    CString m_strCompany;
    CString m_strVersion;
    CString m_strCopyright;
    CString m_strUser;  // registered user (SetUser)
    void SetAppInfo(const char* name, const char* company = nullptr, const char* version = nullptr,
                    const char* copyright = nullptr);
    void SetUser(const char* user, const char* company = nullptr);

    // Words used when printing flags.
    CString m_strTrue;
    CString m_strFalse;
    const char* BoolText(BOOL value) const { return value ? m_strTrue.c_str() : m_strFalse.c_str(); }

    // Machine information (CollectSystemInfo).
    int m_nProcessors = 1;
    DWORD m_dwPageSize = 4096;
    DWORD m_dwPlatformId = 0;
    BOOL m_bWin4 = TRUE;        // a current system: always true here
    HANDLE m_hcurArrow = nullptr;  // no cursors without a user interface
    HANDLE m_hcurWait = nullptr;
    CString m_strComputerName;
    CString m_strUserName;
    CString m_strWindowsDir;  // no such directories here: empty
    CString m_strSystemDir;
    void CollectSystemInfo();

    // The running program: its file name and its directory, ending in "/".
    CString m_strModuleName;
    CString m_strModulePath;
    void CollectModuleInfo();
    // The program's configuration file: the module directory and the
    // module name made an INI name (KvConfigFileName); empty when the
    // module name is unknown.
    CString GetConfigFileName() const;

    // Regional settings, named after their keys.
    int iCountry, iCurrDigits, iCurrency, iDate, iDigits, iLZero, iMeasure, iNegCurr, iTime, iTLZero;
    CString sCountry, sCurrency, sDate, sDecimal, sLanguage, sList, sLongDate, sShortDate, sThousand,
        sTime, s1159, s2359;
    CString m_strMonth[12], m_strShortMonth[12];  // January first
    CString m_strDay[7], m_strShortDay[7];        // Sunday first

    // Overrides the regional settings from key/value pairs (the keys above,
    // compared without case, and "sMonth1".."sMonth12", "sShortMonth1"..,
    // "sDay0".."sDay6", "sShortDay0"..; day 0 is Sunday). The overrides are
    // kept, so a later Refresh applies them again.
    void LoadLocale(const std::map<std::string, std::string>& values);
    // The same through a lookup (null when the key is missing).
    void LoadLocale(const std::function<const char*(const char* key)>& lookup);
    // Drops every override: back to the fixed table.
    void ResetLocale();
    void RefreshLocalInfo();
    void RefreshColor() {}  // no system colours without a user interface
    void Refresh();

    // Formats for strftime built from the regional settings: the short
    // (or long) date, the time of the given kind, and the short date and
    // the time with seconds joined by a blank.
    CString GetDateFmt(BOOL longDate = FALSE) const;
    CString GetTimeFmt(int kind = KV_TIMEFMT_SECONDS) const;
    CString GetDateTimeFmt() const;

    // Month 1..12 and weekday 0..6 (0 = Sunday) names; empty out of range.
    CString GetMonth(int month, bool shortName = false) const;
    CString GetWeekDay(int day, bool shortName = false) const;

private:
    void SetLocaleDefaults();
    void ApplyLocale(const char* key, const char* value);

    std::map<std::string, std::string> m_localeOverrides;  // lower-cased keys
};

extern KV_DATA kvData;

// The configuration file name of a program file: an extension is replaced
// by ".ini" ("kvproxy.exe" -> "kvproxy.ini"), a name without one gets
// ".ini" appended ("kvproxy" -> "kvproxy.ini"). Only the last path
// component counts, and a leading dot starts no extension (".kvproxy" ->
// ".kvproxy.ini"). Empty for an empty name.
CString KvConfigFileName(const char* moduleFile);

// Turns a regional picture ("dd/MM/yy", "HH:mm:ss", "MMMM dd, yyyy") into
// the strftime format that writes it; text in single quotes is literal.
CString KvPictureToStrftime(const char* picture);
