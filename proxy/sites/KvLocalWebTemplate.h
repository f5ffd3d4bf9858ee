// The template database of new local web sites, "<base>/LocalWeb/<template
// host>.cwd": made from code at first start when it is missing (never
// shipped as a file), with the site engine's tables and members (a random
// administrator password, printed once and logged), the folder and page
// tables with the root folder and its index page, the site's settings and
// the information pages the default navigation bar links to.
//
// A half-made file is never left behind: the schema is written in one
// transaction and a failed file is removed.
#pragma once

#include "base/platform/CString.h"

// The template database's path below the base directory.
CString KvLocalWebTemplatePath(const char* baseDir);
// Makes the template database when it is missing; 1 when it exists
// afterwards.
int KvEnsureLocalWebTemplate(const char* baseDir);
// Fills a new local web site database (already open as a site database
// and repository) with the settings and information pages. 1 on success.
class KvRepoLocal;
class KvWebDB;
int KvSeedLocalWeb(KvWebDB& db, KvRepoLocal& repo, const char* siteName);
