// SearchQueryBuilder: an SQL condition over one column from a user's query.
//
// The query is lower-cased and split into terms: runs of ASCII letters and
// digits, and phrases in double quotes (taken whole; an unclosed quote runs
// to the end). "-" before a term excludes it, a blank or "+" includes it;
// the operator holds until the next one, so a term inherits the operator
// of the term before it. Every other character separates terms and is
// dropped.
//
// Each term becomes "(<field> like '%<term>%')", an excluded one
// "(not (<field> like '%<term>%'))", joined with " and ". Terms are quoted
// as SQL text; the field is the program's own column name. An empty query
// (or one without terms) gives an empty condition.
#pragma once

#include "base/platform/CString.h"

CString SearchQueryBuilder(const char* field, const char* query);
