// Where the cache stores live and how their file names are found.
//
// The cache directory is "<base directory>/Cache/"; the application sets it
// at start (before the first cache call). Store names are matched without
// regard to letter case, as the stores were made on a system that does so:
// a name is resolved to the file that really exists.
#pragma once

#include <map>
#include <string>

#include "base/platform/CString.h"

// The directory, always ending in "/". Until set: "Cache/" beside the
// program.
CString KvCacheGetDirectory();
void KvCacheSetDirectory(const char* dir);

// The directory with a final "/" (a final "\" becomes "/").
CString KvCacheDirWithSlash(const char* dir);

// Every file of dir whose name ends in ext (".cdx"; letter case ignored):
// lower-cased base name -> base name as on disk. The first in name order
// wins when two differ only in case.
std::map<std::string, std::string> KvCacheListStores(const char* dir, const char* ext);

// The base name on disk of the store `name` with that extension: `name`
// itself when "<dir><name><ext>" exists, else the one whose name differs
// only in letter case; `name` when none exists.
CString KvCacheResolveName(const char* dir, const char* name, const char* ext);

// The path of the file `fileName` in dir: "<dir><fileName>" when that file
// exists or when no file of dir has that name in any letter case, else the
// file whose name differs from it only in letter case (the extension
// included: "Shop.CDX" answers for "shop.cdx").
CString KvCacheFindFile(const char* dir, const char* fileName);

// Splits a store file path ("<dir>/<name>.cdx", ".cdt", or without an
// extension) into directory (with "/") and base name.
void KvCacheSplitStorePath(const char* file, CString& dir, CString& name);
