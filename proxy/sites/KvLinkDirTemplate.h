// The template database of new link directories, "<base>/LocalWeb/<template
// host>.cld": made from code at first start when it is missing, with the
// site engine's tables and members (a random administrator password,
// printed once and logged), the folder and link tables with the root
// folder, the site's settings and a first folder of links.
//
// A half-made file is never left behind: a failed file is removed.
#pragma once

#include "base/platform/CString.h"

class KvRepoLink;
class KvWebDB;

// The template site's host name.
inline constexpr char KV_HOST_LINKDIR_TEMPLATE[] = "linktemplate.kvproxy.home.arpa";

CString KvLinkDirTemplatePath(const char* baseDir);
// Makes the template database when it is missing; 1 when it exists
// afterwards.
int KvEnsureLinkDirTemplate(const char* baseDir);
// Fills a new link directory database (already open as a site database and
// repository) with its settings and first folder. 1 on success.
int KvSeedLinkDir(KvWebDB& db, KvRepoLink& repo, const char* siteName);
