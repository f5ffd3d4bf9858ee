// Fuzzes the date reader of feeds: any text is read or refused; a date
// that was read, written again in the Internet form and in the ISO form,
// reads back as the same moment.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "proxy/feeds/KvFeedDate.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 256) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));
    time_t t = 0;
    if (!KvParseFeedDate(text.c_str(), t)) return 0;
    struct tm tm {};
    Check(gmtime_r(&t, &tm) != nullptr);
    if (tm.tm_year + 1900 < 1 || tm.tm_year + 1900 > 9999) return 0;  // a zone moved it past the calendar's ends
    char iso[64], rfc[64];
    std::snprintf(iso, sizeof iso, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    strftime(rfc, sizeof rfc, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    time_t back = 0;
    Check(KvParseFeedDate(iso, back) && back == t);
    if (tm.tm_year + 1900 >= 1000) Check(KvParseFeedDate(rfc, back) && back == t);
    return 0;
}
