// Dates of feed items.
//
// Reads the forms feeds use: RFC 822 and its relatives ("Sun, 06 Nov 1994
// 08:49:37 GMT", without weekday or seconds, numeric offsets "+0530", the
// zone names UT, GMT, Z and the North American ones, two-digit years with
// 00-49 meaning 20xx), and ISO 8601 / W3C-DTF ("2003-12-13T18:30:02Z",
// offsets, fractions, a date alone meaning midnight UTC). A zone-less
// RFC 822 time is taken as UTC.
#pragma once

#include <ctime>

// Seconds since 1970 (UTC) of the date in `text`; false when the text is
// no date in any of these forms or names an impossible one.
bool KvParseFeedDate(const char* text, time_t& utc);
