// The database of one of the system's own sites, "<base>/LocalWeb/<host>.csd":
// made from code at first start when it is missing (never shipped as a
// file), with the site engine's tables and members (member 1 "admin" with a
// random password, printed once on the console and written to the day's
// log) and the site's settings, so the site answers on the shipped data.
//
// A half-made file is never left behind: a failed file is removed.
#pragma once

#include <initializer_list>

#include "base/platform/CString.h"

struct KvSiteSetting {
    const char* name;
    const char* value;
};

// The database's path below the base directory.
CString KvSiteDatabasePath(const char* baseDir, const char* host);
// Makes the database with `settings` when it is missing; `what` names the
// site in the log ("The search site"). 1 when it exists afterwards.
int KvEnsureSiteDatabase(const char* baseDir, const char* host, std::initializer_list<KvSiteSetting> settings,
                         const char* what);
