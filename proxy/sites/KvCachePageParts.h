// Pieces of the portal's cache pages ("cache.php"): which store names a
// request may name, the stores of the cache directory with their sizes,
// and the escaped fragments every list shares (object links, deletion
// forms, the search form).
//
// Everything a store holds came from the network: host names and paths
// are escaped wherever they land, and an object becomes a link only as a
// well-formed "http://" address (the stores key plain http answers only).
#pragma once

#include <cstdint>
#include <vector>

#include "base/platform/CString.h"

// The table every cache list starts with.
extern const char kCacheTableStart[];
// Style of the cache pages in the default theme's colours.
extern const char kCachePageStyle[];
// Answers per page of a search.
constexpr int kCacheSearchPageSize = 100;

// A store name as a request may give it: a plain file name, no folder
// ("/", "\"), no "..", no leading dot, no control byte.
bool KvCacheIsPlainStoreName(const CString& name);

// One store of the cache directory.
struct KvCacheStoreInfo {
    CString name;         // as on disk, without extension
    uint64_t bytes = 0;   // both files and their write-ahead logs
    int objects = -1;     // -1 when the store could not be read
};
// The stores (each ".cdt" file of the cache directory) by name, with
// their sizes; object counts only when `withCounts`.
std::vector<KvCacheStoreInfo> KvCacheListStoreInfo(bool withCounts);

// "12.4 KB", "3.1 MB", "512 bytes".
CString KvCacheHumanSize(uint64_t bytes);

// "http://<host><path>" when it may become a link; empty otherwise.
CString KvCacheObjectUrl(const CString& host, const CString& path);
// The path as a link to the object, or as text when it may not be one.
CString KvCacheObjectAnchor(const CString& host, const CString& path, const CString& text);

// A one-button form posting `op` ("delete" with a path, "deldomain"
// without) for the store and host, carrying the form token.
CString KvCacheDeleteForm(const char* op, const CString& store, const CString& host, const CString& path,
                          const CString& token);

// The search form, filled with the query.
CString KvCacheSearchForm(const CString& query);
