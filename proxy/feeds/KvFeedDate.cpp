#include "proxy/feeds/KvFeedDate.h"

#include "base/time/KvDayCount.h"
#include "base/time/KvTime.h"

#include <strings.h>

#include <cctype>
#include <cstring>

namespace {

const char* const kMonths[12] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};

struct Zone {
    const char* name;
    int minutes;
};
const Zone kZones[] = {{"UT", 0},       {"UTC", 0},      {"GMT", 0},      {"Z", 0},        {"EST", -300},
                       {"EDT", -240},   {"CST", -360},   {"CDT", -300},   {"MST", -420},   {"MDT", -360},
                       {"PST", -480},   {"PDT", -420},   {"AKST", -540},  {"AKDT", -480},  {"HST", -600},
                       {"CET", 60},     {"CEST", 120},   {"BST", 60},     {"IST", 330},    {"JST", 540}};

bool Compose(int year, int month, int day, int hour, int minute, int second, int offsetMinutes, time_t& out) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    if (day > KvDaysInMonth(year, month)) return false;
    if (hour > 24 || minute > 59 || second > 60 || (hour == 24 && (minute || second))) return false;
    long long t = KvDaysFromCivil(year, (unsigned)month, (unsigned)day) * 86400 + hour * 3600 + minute * 60 + second;
    out = (time_t)(t - offsetMinutes * 60LL);
    return true;
}

struct Cursor {
    const char* p;
    void Blanks() {
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    }
    // Up to `max` digits (at least one): false when none.
    bool Number(int& out, int max, int* count = nullptr) {
        int n = 0, value = 0;
        while (n < max && std::isdigit((unsigned char)*p)) value = value * 10 + (*p++ - '0'), ++n;
        if (count) *count = n;
        out = value;
        return n > 0;
    }
    bool Take(char c) {
        if (*p != c) return false;
        ++p;
        return true;
    }
};

// "+0530", "-05:00", "+05" after the time; minutes east of UTC.
bool Offset(Cursor& c, int& minutes) {
    char sign = *c.p;
    if (sign != '+' && sign != '-') return false;
    ++c.p;
    int hours = 0, mins = 0, digits = 0;
    if (!c.Number(hours, 2, &digits) || digits != 2) return false;
    if (c.Take(':') || std::isdigit((unsigned char)*c.p)) {
        if (!c.Number(mins, 2, &digits) || digits != 2) return false;
    }
    if (hours > 14 || mins > 59) return false;
    minutes = (hours * 60 + mins) * (sign == '-' ? -1 : 1);
    return true;
}

bool ZoneName(Cursor& c, int& minutes) {
    const char* start = c.p;
    while (std::isalpha((unsigned char)*c.p)) ++c.p;
    size_t n = (size_t)(c.p - start);
    if (n == 0) return false;
    for (const Zone& z : kZones) {
        if (std::strlen(z.name) == n && strncasecmp(z.name, start, n) == 0) {
            minutes = z.minutes;
            return true;
        }
    }
    c.p = start;
    return false;
}

bool ParseIso(const char* text, time_t& out) {
    Cursor c{text};
    c.Blanks();
    int year, month = 1, day = 1, hour = 0, minute = 0, second = 0, offset = 0, digits = 0;
    if (!c.Number(year, 4, &digits) || digits != 4 || !c.Take('-')) return false;
    if (!c.Number(month, 2, &digits) || digits != 2) return false;
    if (c.Take('-') && (!c.Number(day, 2, &digits) || digits != 2)) return false;
    if (*c.p == 'T' || *c.p == 't' || (*c.p == ' ' && std::isdigit((unsigned char)c.p[1]))) {
        ++c.p;
        if (!c.Number(hour, 2) || !c.Take(':') || !c.Number(minute, 2)) return false;
        if (c.Take(':') && !c.Number(second, 2)) return false;
        if (c.Take('.') || c.Take(',')) {
            while (std::isdigit((unsigned char)*c.p)) ++c.p;  // fractions dropped
        }
        c.Blanks();
        if (*c.p == 'Z' || *c.p == 'z') ++c.p;
        else if (*c.p == '+' || *c.p == '-') {
            if (!Offset(c, offset)) return false;
        } else {
            ZoneName(c, offset);
        }
    }
    c.Blanks();
    return *c.p == '\0' && Compose(year, month, day, hour, minute, second, offset, out);
}

bool ParseRfc822(const char* text, time_t& out) {
    Cursor c{text};
    c.Blanks();
    // An optional day name ("Sun," or "Sunday,").
    if (std::isalpha((unsigned char)*c.p)) {
        while (std::isalpha((unsigned char)*c.p)) ++c.p;
        c.Blanks();
        c.Take(',');
        c.Blanks();
    }
    int day, year, hour, minute, second = 0, offset = 0, yearDigits = 0;
    if (!c.Number(day, 2)) return false;
    c.Blanks();
    c.Take('-');
    int month = 0;
    for (int i = 0; i < 12 && !month; ++i) {
        if (strncasecmp(c.p, kMonths[i], 3) == 0) month = i + 1;
    }
    if (!month) return false;
    while (std::isalpha((unsigned char)*c.p)) ++c.p;  // "Jun" or "June"
    c.Take('.');
    c.Blanks();
    c.Take('-');
    if (!c.Number(year, 4, &yearDigits) || (yearDigits != 2 && yearDigits != 4)) return false;
    if (yearDigits == 2) year += year < 50 ? 2000 : 1900;
    c.Blanks();
    if (!c.Number(hour, 2) || !c.Take(':') || !c.Number(minute, 2)) return false;
    if (c.Take(':') && !c.Number(second, 2)) return false;
    c.Blanks();
    if (*c.p == '+' || *c.p == '-') {
        if (!Offset(c, offset)) return false;
    } else if (*c.p) {
        if (!ZoneName(c, offset)) {
            // A single military letter other than Z carries no reliable zone.
            if (!std::isalpha((unsigned char)*c.p) || std::isalpha((unsigned char)c.p[1])) return false;
            ++c.p;
        }
    }
    c.Blanks();
    // A trailing zone comment, as in "+0000 (UTC)", is allowed.
    if (*c.p == '(') {
        const char* close = std::strchr(c.p, ')');
        if (!close) return false;
        c.p = close + 1;
        c.Blanks();
    }
    return *c.p == '\0' && Compose(year, month, day, hour, minute, second, offset, out);
}

}  // namespace

bool KvParseFeedDate(const char* text, time_t& utc) {
    if (!text || !*text) return false;
    return ParseIso(text, utc) || ParseRfc822(text, utc);
}
