// Calendar day counting shared by the day numbers and the date parsers.
#pragma once

// Days from 1 January 1970 to a proleptic Gregorian date (month 1-12), no
// range check: negative before 1970.
long long KvDaysFromCivil(long long year, unsigned month, unsigned day);
