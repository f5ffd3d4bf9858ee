// KvMime: the content types of file extensions, from a "mime.types" file.
//
// One process-wide table (GetInstance) maps a lower-case extension without
// its dot to a content type. The file has one content type per line, then
// blanks or tabs, then the extensions that have it, separated by blanks or
// tabs; lines starting with "#" are comments. Extensions are lower-cased,
// types kept as written; a later line replaces an earlier mapping.
//
// The table is loaded on the first look-up and loaded again on a look-up
// after a failed load (a missing file gives the default type meanwhile).
// SetMimeFile before the first look-up chooses the file; without one the
// file is "mime.types" in the program's directory.
//
// Threads: creation, destruction, loading and look-ups are serialised by
// one lock, so any thread may look up at any time.
#pragma once

#include <atomic>

#include "base/containers/KvMap.h"
#include "base/platform/CString.h"
#include "base/thread/KvCriticalObj.h"

class KvMime : public KvMapStringToString {
    DECLARE_DYNCREATE(KvMime)
public:
    KvMime();
    ~KvMime() override;
    KvMime(const KvMime&) = delete;
    KvMime& operator=(const KvMime&) = delete;

    // The shared table, created on first use (its destruction is
    // registered with KvCleanupMgr).
    static KvMime* GetInstance();
    static void DestroyInstance();
    static int GetInstanceCount() { return _nInstantCount.load(); }

    // Chooses the types file; the next look-up loads it.
    void SetMimeFile(const char* path);
    CString GetMimeFile() const;
    // The type of an extension (without dot, any case); defaultType when
    // the table has none.
    CString GetMimeByExt(const char* ext, const char* defaultType);
    // The type of the text after the last "." of the path; defaultType for
    // a path without one (or whose only "." is its first character).
    CString GetMimeByPath(const char* path, const char* defaultType);

protected:
    // Callers hold _csMime.
    CString DoGetMimeByExt(const char* ext, const char* defaultType);
    int LoadMime();
    // Empties the table and reads the file: 1, or 0 when it cannot be read.
    int DoLoadMime();
    // Adds the mappings of one line of the file.
    void AddLine(const char* line, size_t length);

    CString m_strPath;
    int m_bLoaded = 0;

    static KvCriticalObj _csMime;
    static KvMime* _glbMime;
    static std::atomic<int> _nInstantCount;
};

// The type starts with "text/" ("image/"); FALSE for null or empty.
int IsMimeText(const char* type);
int IsMimeImages(const char* type);
