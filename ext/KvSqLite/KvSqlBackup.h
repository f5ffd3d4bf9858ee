// KvSqlCopyDatabase: a consistent copy of a database file made with the
// engine's online backup, page by page through its own locks, so a source
// that another connection (or process) is writing is copied as one
// committed state, its write-ahead log included. A raw copy of the file
// could catch it half-written or miss the log.
//
// The target must already exist (the caller creates it, exclusively, so
// no existing site is ever overwritten) and be empty or a database; it is
// replaced by the copy. The source is only read. Both wait up to `busyMs`
// for a lock another connection holds, then fail.
//
// Returns 1 on success; 0 with `error` (when given) set to the reason.
#pragma once

#include "base/platform/CString.h"

int KvSqlCopyDatabase(const char* source, const char* target, CString* error = nullptr, int busyMs = 5000);
