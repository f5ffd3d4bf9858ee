// The id lists of search profiles: decimal ids separated by ", ".
//
// A stored list is text in a file and is spliced into "in(...)" clauses,
// so it is never trusted: KvParseIdList reads only what is a decimal id
// (0 to INT_MAX) and drops everything else, and the list is formatted
// again before it reaches SQL.
#pragma once

#include <vector>

#include "base/platform/CString.h"

// At most this many ids are kept per profile.
constexpr int KV_SEARCH_MAX_RESULTS = 100;

// The ids of a stored list, in order, at most `max`.
std::vector<int> KvParseIdList(const char* text, int max = KV_SEARCH_MAX_RESULTS);
// "1, 2, 3" (empty for no ids).
CString KvFormatIdList(const std::vector<int>& ids);
