// The meta-search site's database, "<base>/LocalWeb/<search host>.csd":
// made from code at first start when it is missing (never shipped as a
// file), with the site engine's tables and members (a random administrator
// password, printed once and logged) and the site's name and theme, so the
// search site answers on the shipped data.
//
// A half-made file is never left behind: a failed file is removed.
#pragma once

#include "base/platform/CString.h"

// The site database's path below the base directory.
CString KvPolyseekSitePath(const char* baseDir);
// Makes the site database when it is missing; 1 when it exists afterwards.
int KvEnsurePolyseekSite(const char* baseDir);
