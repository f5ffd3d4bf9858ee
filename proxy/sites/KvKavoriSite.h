// The portal's database, "<base>/LocalWeb/<portal host>.csd": made from
// code at first start when it is missing (see KvSiteDatabase.h), with the
// portal's name, description, keywords and theme. The portal's own
// records (advertising items) live in the same file.
#pragma once

#include "base/platform/CString.h"

// The portal database's path below the base directory.
CString KvKavoriSitePath(const char* baseDir);
// Makes the portal database when it is missing; 1 when it exists afterwards.
int KvEnsureKavoriSite(const char* baseDir);
