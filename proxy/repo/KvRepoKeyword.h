// KvRepoKeyword: the keyword tables of the process-wide keyword store.
//
//   kwdlist     how often each keyword was searched (keyword compared with
//               letter case), and when last
//   kwddefault  default links per keyword
//   kwdrelated  related keywords
//   kwdcache    the result text an outside search service gave for a
//               keyword, per service (at most 16 characters), with the time
// The last three compare keywords without letter case. Times are stored as
// KvTime day numbers.
//
// Keywords and texts are user input: every one is quoted with "%q".
//
// Threads: used under KvKeywordMgr's lock only.
#pragma once

#include "base/platform/CString.h"
#include "base/time/KvTime.h"
#include "proxy/repo/KvRepoBase.h"

class KvRepoKeyword : public KvRepoBase {
    DECLARE_DYNCREATE(KvRepoKeyword)
public:
    KvRepoKeyword() = default;

    // Counts one more search of the keyword (a new keyword starts at 1).
    int IncHits(const char* keyword);
    int SetRelatedKeyword(const char* keyword, const char* related);
    int SetKeywordDefaultLinks(const char* keyword, const char* links);
    int SetKeywordCache(const char* keyword, const char* service, const char* text);
    // 1 with the text and its update time when the pair is cached; else 0
    // with the text empty. Whether the text is still fresh is the caller's
    // business.
    int GetKeywordCache(const char* keyword, const char* service, CString& text, KvTime& updated);
    int DeleteKeywordCache(const char* keyword, const char* service);

    BOOL IsKeywordExist(const char* keyword);
    BOOL IsKeywordDefaultExist(const char* keyword);
    BOOL IsKeywordCacheExist(const char* keyword, const char* service);
    // The searches counted for the keyword; 0 when unknown.
    int GetKeywordHits(const char* keyword);

    // The most searched, and the most recently searched, 100 keywords as a
    // table; each keyword links to "<linkPrefix><URL-encoded keyword>.html".
    CString RenderTop100Keywords(const char* linkPrefix);
    CString RenderLastAccessedKeywords(const char* linkPrefix);
    // Related keywords are not shown anywhere yet: always empty.
    CString RenderRelatedKeywords(const char* keyword);
    // The keyword table of a query whose rows are (keyword, hits).
    CString RenderKeywordList(const char* sql, const char* linkPrefix);

protected:
    int _DoInitNewRepository() override;
    int _IsRepositoryPresent() override;

private:
    bool Exists(const char* sql);
    int Run(const char* sql);
};
