// The country table of member profiles and its selection list.
//
// Index 0 is "Select Country" (no country chosen); the indices are the
// country codes stored with a member, so the order never changes.
#pragma once

#include "base/platform/CString.h"

constexpr int KV_COUNTRY_COUNT = 185;

// The name of a country code; empty outside the table.
const char* GetCountryName(int code);
// "<select ... name=\"fld_country\">" with every country, `code` selected.
CString HtmlCountrySelect(int code);
