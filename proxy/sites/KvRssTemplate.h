// The template database of new RSS readers, "<base>/LocalWeb/<template
// host>.crd": made from code at first start when it is missing (never
// shipped as a file), with the site engine's tables and members, the feed
// folder tables with the root folder, the reader's settings, a first
// folder for feeds, and the reader's folder form stored as
// "/_template/folder.htm".
//
// A half-made file is never left behind: a failed file is removed.
#pragma once

#include "base/platform/CString.h"

// The template database's path below the base directory.
CString KvRssTemplatePath(const char* baseDir);
// Makes the template database when it is missing; 1 when it exists
// afterwards.
int KvEnsureRssTemplate(const char* baseDir);
