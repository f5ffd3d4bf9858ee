// KvSqLite: the embedded SQL database library the cache stores, site
// databases and repositories rest on. Include this header for all of it.
//
//   KvSqlDB          one database file and its connection
//   KvSqlDBEx        KvSqlDB plus id counters and system variables
//   KvSqlQuery       rows of a query
//   KvSqlStatement   compiled statement with "?" placeholders
//   KvSqlTransaction scoped transaction (in KvSqlDB.h)
//   KvSqlBinary      bytes in their stored blob form
//   KvSqlBuffer      statement text with "%q" quoting
#pragma once

#include "ext/KvSqLite/KvSqlBinary.h"
#include "ext/KvSqLite/KvSqlBuffer.h"
#include "ext/KvSqLite/KvSqlDB.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "ext/KvSqLite/KvSqlQuery.h"
#include "ext/KvSqLite/KvSqlStatement.h"

// The library's version text.
extern "C" const char* KvSqLiteVersion();
