// Internet date texts: writing RFC 1123 dates, reading the three forms
// HTTP allows (RFC 1123, asctime, RFC 850).
//
// Dates arrive from the network, so every field is read only after the
// text was checked to be long enough to hold it: a short text is not a
// date.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <string>
#include <string_view>

#include "base/time/KvTime.h"

namespace {

const char* const kWeekDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kFullWeekDays[7] = {"SUNDAY", "MONDAY", "TUESDAY", "WEDNESDAY",
                                      "THURSDAY", "FRIDAY", "SATURDAY"};

// Writes the 29 characters plus a terminator into out[30].
bool FormatRfc(const SYSTEMTIME* st, char (&out)[30]) {
    out[0] = '\0';
    if (!st || st->wMonth < 1 || st->wMonth > 12 || st->wYear > 9999 || st->wDay > 99 || st->wHour > 99 ||
        st->wMinute > 99 || st->wSecond > 99)
        return false;
    int wday = st->wDayOfWeek;
    if (wday > 6) wday = KvTime(*st).GetDayOfWeek();
    std::snprintf(out, sizeof out, "%s, %02u %s %04u %02u:%02u:%02u GMT", kWeekDays[wday], st->wDay % 100u,
                  kMonths[st->wMonth - 1], st->wYear % 10000u, st->wHour % 100u, st->wMinute % 100u,
                  st->wSecond % 100u);
    return true;
}

// Reads fixed-position fields of an upper-cased copy of the text.
class FieldReader {
public:
    explicit FieldReader(std::string_view text) : m_text(text) {}

    size_t Length() const { return m_text.size(); }

    // The n characters at pos, or false when the text is too short.
    bool Text(size_t pos, size_t n, std::string_view& out) const {
        if (pos > m_text.size() || n > m_text.size() - pos) return false;
        out = m_text.substr(pos, n);
        return true;
    }

    // A decimal number of n characters at pos: leading blanks, then at
    // least one digit and only digits.
    bool Number(size_t pos, size_t n, int& value) const {
        std::string_view f;
        if (!Text(pos, n, f)) return false;
        size_t i = 0;
        while (i < f.size() && f[i] == ' ') ++i;
        if (i == f.size()) return false;
        value = 0;
        for (; i < f.size(); ++i) {
            if (f[i] < '0' || f[i] > '9') return false;
            value = value * 10 + (f[i] - '0');
        }
        return true;
    }

    bool Is(size_t pos, const char* word) const {
        std::string_view f;
        return Text(pos, std::strlen(word), f) && f == std::string_view(word);
    }

private:
    std::string_view m_text;
};

// Index of the three-letter name at pos among names, or -1.
int MatchName(const FieldReader& r, size_t pos, const char* const* names, int count) {
    std::string_view f;
    if (!r.Text(pos, 3, f)) return -1;
    for (int i = 0; i < count; ++i) {
        if (strncasecmp(f.data(), names[i], 3) == 0) return i;
    }
    return -1;
}

bool ReadWeekDay(const FieldReader& r, size_t pos, SYSTEMTIME* st) {
    int i = MatchName(r, pos, kWeekDays, 7);
    if (i < 0) return false;
    st->wDayOfWeek = (WORD)i;
    return true;
}

bool ReadMonth(const FieldReader& r, size_t pos, SYSTEMTIME* st) {
    int i = MatchName(r, pos, kMonths, 12);
    if (i < 0) return false;
    st->wMonth = (WORD)(i + 1);
    return true;
}

bool ReadDay(const FieldReader& r, size_t pos, SYSTEMTIME* st) {
    int day;
    if (!r.Number(pos, 2, day) || day < 1 || day > 33) return false;
    st->wDay = (WORD)day;
    return true;
}

bool ReadFourDigitYear(const FieldReader& r, size_t pos, SYSTEMTIME* st) {
    int year;
    if (!r.Number(pos, 4, year) || year < 1950 || year > 2500) return false;
    st->wYear = (WORD)year;
    return true;
}

// 'HH:MM:SS' at pos (the separators are not checked).
bool ReadClock(const FieldReader& r, size_t pos, SYSTEMTIME* st) {
    int h, m, s;
    if (!r.Number(pos, 2, h) || h > 23) return false;
    st->wHour = (WORD)h;
    if (!r.Number(pos + 3, 2, m) || m > 59) return false;
    st->wMinute = (WORD)m;
    if (!r.Number(pos + 6, 2, s) || s > 59) return false;
    st->wSecond = (WORD)s;
    return true;
}

// 'SUN, 06 NOV 1994 08:49:37 GMT'
bool ReadRfc1123(const FieldReader& r, SYSTEMTIME* st) {
    return ReadWeekDay(r, 0, st) && ReadDay(r, 5, st) && ReadMonth(r, 8, st) && ReadFourDigitYear(r, 12, st) &&
           ReadClock(r, 17, st) && r.Is(26, "GMT");
}

// 'SUN NOV  6 08:49:37 1994'
bool ReadAsctime(const FieldReader& r, SYSTEMTIME* st) {
    return ReadWeekDay(r, 0, st) && ReadMonth(r, 4, st) && ReadDay(r, 8, st) && ReadClock(r, 11, st) &&
           ReadFourDigitYear(r, 20, st);
}

// 'SUNDAY, 06-NOV-94 08:49:37 GMT'
bool ReadRfc850(std::string_view text, const FieldReader& r, SYSTEMTIME* st) {
    size_t n = text.find(',');
    if (n == std::string_view::npos || n > 16) return false;
    std::string_view name = text.substr(0, n);
    int wday = -1;
    for (int i = 0; i < 7; ++i) {
        if (name == std::string_view(kFullWeekDays[i])) wday = i;
    }
    if (wday < 0) return false;
    st->wDayOfWeek = (WORD)wday;
    int year;
    if (!ReadDay(r, n + 2, st) || !ReadMonth(r, n + 5, st) || !r.Number(n + 9, 2, year)) return false;
    st->wYear = (WORD)(year < 71 ? 2000 + year : 1900 + year);
    return ReadClock(r, n + 12, st) && r.Is(n + 21, "GMT");
}

}  // namespace

bool GetRFCTimeFormat(const SYSTEMTIME* st, CString* text) {
    char out[30];
    bool ok = FormatRfc(st, out);
    if (text) *text = out;
    return ok;
}

bool GetRFCTimeFormat(const SYSTEMTIME* st, CsString* text) {
    char out[30];
    bool ok = FormatRfc(st, out);
    if (!text) return ok;
    if (!ok) {
        text->Empty();
        return false;
    }
    // The string keeps a block of at least 29 characters, ended after the 29th.
    if (!text->Alloc(29)) return false;
    std::memcpy(text->GetPtr(), out, 30);
    return true;
}

bool GetRFCTime(const char* text, SYSTEMTIME* st) {
    if (!text || !st) return false;
    size_t len = strnlen(text, 200);
    if (len >= 200) return false;
    std::string upper(text, len);
    for (char& c : upper) c = (char)std::toupper((unsigned char)c);
    st->wMilliseconds = 0;

    FieldReader r(upper);
    bool ok;
    if (len > 3 && upper[3] == ',')
        ok = ReadRfc1123(r, st);
    else if (len > 3 && upper[3] == ' ')
        ok = ReadAsctime(r, st);
    else
        ok = ReadRfc850(upper, r, st);
    // A day the month does not have (30 February, 32 November) is no date.
    return ok && st->wDay <= KvDaysInMonth(st->wYear, st->wMonth);
}

void KvTime::GetRFCTime(CString& dst) const { GetRFCTimeFormat(&m_st, &dst); }
