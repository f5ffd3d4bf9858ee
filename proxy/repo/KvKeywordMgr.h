// KvKeywordMgr: the process-wide keyword store.
//
// It counts how often each keyword was searched, remembers related
// keywords and default links per keyword, and keeps the result text an
// outside search service gave for a keyword, per service, with its time.
// The store is the file "<base>/keywords.db" (the application's base
// directory unless SetBaseDirectory named another before first use),
// opened when it exists and made otherwise; see KvRepoKeyword for the
// tables.
//
// A busy file is waited for at most 5 s, after which the call fails (the
// caller shows an error page) instead of hanging the request.
//
// Threads: every call may come from any request thread; all are
// serialised by the manager's lock. A store that cannot be opened makes
// every call fail (0, empty texts); opening is tried again on the next
// call.
#pragma once

#include "base/containers/KvObject.h"
#include "base/platform/CString.h"
#include "base/thread/KvCriticalObj.h"
#include "base/time/KvTime.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "proxy/repo/KvRepoKeyword.h"

class KvKeywordMgr : public KvObject {
    DECLARE_DYNAMIC(KvKeywordMgr)
public:
    KvKeywordMgr() = default;
    ~KvKeywordMgr() override;
    KvKeywordMgr(const KvKeywordMgr&) = delete;
    KvKeywordMgr& operator=(const KvKeywordMgr&) = delete;

    // The process-wide store, made on first use (its destruction is
    // registered with KvCleanupMgr).
    static KvKeywordMgr* GetInstance();
    static void DestroyInstance();
    // The directory of keywords.db for stores opened from now on (tests,
    // hosts without an application object). Empty restores the default.
    static void SetBaseDirectory(const char* dir);

    int IncHits(const char* keyword);
    int GetKeywordHits(const char* keyword);
    int SetRelatedKeyword(const char* keyword, const char* related);
    int SetKeywordDefaultLinks(const char* keyword, const char* links);
    int SetKeywordCache(const char* keyword, const char* service, const char* text);
    int GetKeywordCache(const char* keyword, const char* service, CString& text, KvTime& updated);
    int DeleteKeywordCache(const char* keyword, const char* service);
    CString RenderTop100Keywords(const char* linkPrefix);
    CString RenderLastAccessedKeywords(const char* linkPrefix);
    CString RenderRelatedKeywords(const char* keyword);

    // The file the store is (or would be) opened on.
    static CString GetStoreFile();

private:
    // Opens the store when it is not open; under m_cs.
    bool EnsureOpen();

    KvCriticalObj m_cs;
    KvSqlDBEx m_db;
    KvRepoKeyword m_repo;
};
