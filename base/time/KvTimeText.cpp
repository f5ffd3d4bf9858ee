// KvTime as text: dates and times in the regional order and separators,
// strftime formatting and the fixed 'YYYY-MM-DD HH:MM:SS' form.
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "base/app/KvData.h"
#include "base/str/StrFunc.h"
#include "base/time/KvTime.h"

namespace {

// Splits at every occurrence of sep (a one-character default when empty).
std::vector<std::string> SplitAt(const char* text, const char* sep) {
    std::string s = text ? text : "";
    std::string d = sep && *sep ? sep : "/";
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t pos = s.find(d, start);
        if (pos == std::string::npos) break;
        parts.push_back(s.substr(start, pos - start));
        start = pos + d.size();
    }
    parts.push_back(s.substr(start));
    return parts;
}

// A decimal number surrounded by optional blanks; -1 when the text is not
// one (or would not fit an int).
int ParseNumber(const std::string& s) {
    size_t i = 0, end = s.size();
    while (i < end && (s[i] == ' ' || s[i] == '\t')) ++i;
    while (end > i && (s[end - 1] == ' ' || s[end - 1] == '\t')) --end;
    if (i == end || end - i > 9) return -1;
    int value = 0;
    for (; i < end; ++i) {
        if (s[i] < '0' || s[i] > '9') return -1;
        value = value * 10 + (s[i] - '0');
    }
    return value;
}

// Two-digit years: above 35 are 19xx, 35 and below 20xx.
int FullYear(int year) {
    if (year >= 1900) return year;
    return year > 35 ? 1900 + year : 2000 + year;
}

std::string Trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// strftime with a result of at most 127 characters (longer results are
// cut, never written past the buffer).
CString FormatTm(const char* fmt, const struct tm& tm) {
    if (!fmt || !*fmt) return CString();
    char small[128];
    size_t n = std::strftime(small, sizeof small, fmt, &tm);
    if (n > 0) return CString(small, (int)n);
    std::vector<char> big(4096 + std::strlen(fmt) * 64);
    n = std::strftime(big.data(), big.size(), fmt, &tm);
    return CString(big.data(), (int)(n > 127 ? 127 : n));
}

}  // namespace

bool KvTime::SetTime(const char* text, BOOL clearDate) {
    std::vector<std::string> parts = SplitAt(text, kvData.sTime.c_str());
    if (parts.size() < 2 || parts.size() > 3) return false;
    int h = ParseNumber(parts[0]);
    int m = ParseNumber(parts[1]);
    int s = parts.size() == 3 ? ParseNumber(parts[2]) : 0;
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return false;
    return SetTime(h, m, s, clearDate);
}

bool KvTime::SetDate(const char* text, BOOL clearTime) {
    *this = GetCurTime();
    std::vector<std::string> parts = SplitAt(text, kvData.sDate.c_str());
    bool ok = parts.size() == 3;
    int n[3] = {-1, -1, -1};
    for (size_t i = 0; i < 3 && i < parts.size(); ++i) n[i] = ParseNumber(parts[i]);

    int day, month, year;
    switch (kvData.iDate) {
        case 0: month = n[0]; day = n[1]; year = n[2]; break;
        case 1: day = n[0]; month = n[1]; year = n[2]; break;
        case 2: year = n[0]; month = n[1]; day = n[2]; break;
        default: day = 0; month = 0; year = GetYear(); break;
    }
    // Each field is stored when in range; a bad one fails the whole but the
    // others are still taken.
    if (day >= 1 && day <= 31) m_st.wDay = (WORD)day; else ok = false;
    if (month >= 1 && month <= 12) m_st.wMonth = (WORD)month; else ok = false;
    if (year >= 0 && FullYear(year) <= 0xFFFF) m_st.wYear = (WORD)FullYear(year); else ok = false;
    if (clearTime) EmptyTime();
    RecomputeDayOfWeek();
    // 31/02 has every field in range and is still no date.
    return ok && IsValid();
}

bool KvTime::SetDateTime(const char* text) {
    std::string s = Trimmed(text ? text : "");
    size_t space = s.find(' ');
    if (space == std::string::npos) return SetDate(s.c_str(), TRUE);
    bool dateOk = SetDate(s.substr(0, space).c_str(), FALSE);
    bool timeOk = SetTime(Trimmed(s.substr(space + 1)).c_str(), FALSE);
    return dateOk && timeOk;
}

CString KvTime::Format(const char* fmt) const {
    struct tm tm;
    GetTime(&tm);
    return FormatTm(fmt, tm);
}

CString KvTime::FormatGmt(const char* fmt) const {
    time_t t;
    struct tm tm;
    if (!GetTime(&t) || !gmtime_r(&t, &tm)) return CString();
    return FormatTm(fmt, tm);
}

CString KvTime::FormatResource(UINT resourceId) const {
    CString fmt;
    if (!StrResource(resourceId, fmt)) return CString();
    return Format(fmt.c_str());
}

CString KvTime::Format(int kind) const { return Format(kvData.GetTimeFmt(kind).c_str()); }

void KvTime::GetTime(CString& text) const { text = Format(kvData.GetDateTimeFmt().c_str()); }

bool ConvertStringToTime(const char* text, KvTime* t) {
    if (!text || !t || std::strlen(text) != 19) return false;
    std::string s(text);
    int year = ParseNumber(s.substr(0, 4));
    int month = ParseNumber(s.substr(5, 2));
    int day = ParseNumber(s.substr(8, 2));
    int hour = ParseNumber(s.substr(11, 2));
    int minute = ParseNumber(s.substr(14, 2));
    int second = ParseNumber(s.substr(17, 2));
    t->SetTime(year, month, day, hour, minute, second);  // invalid: t keeps its value
    return true;
}
