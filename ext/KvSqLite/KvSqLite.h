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

#include "KvSqlBinary.h"
#include "KvSqlBuffer.h"
#include "KvSqlDB.h"
#include "KvSqlDBEx.h"
#include "KvSqlQuery.h"
#include "KvSqlStatement.h"

// The library's version text.
extern "C" const char* KvSqLiteVersion();
