// KvCacheDBEx: the path-structured store (KvPathCache) that also keeps each
// file's URL and analysis status, and a title, description and keywords
// per file. Its host key keeps a leading "www.".
#pragma once

#include "proxy/cache/KvPathCache.h"

class KvCacheDBEx : public KvPathCache {
    DECLARE_DYNCREATE(KvCacheDBEx)
public:
    KvCacheDBEx() = default;
    ~KvCacheDBEx() override = default;

    // 1 with the three texts (empty when never set), 0 when the file has none.
    int GetFileAttr(int fileId, CString& title, CString& desc, CString& keywords);
    int SetFileAttr(int fileId, const char* title, const char* desc, const char* keywords);
    int SetFileStatus(int fileId, int status);
    // Ids of files not analysed yet (status 0), by id, at most max.
    int GetFilesToAnalize(CUIntArray& ids, int max);
    // "http://<host>/<dir>/.../" of a directory ("http://<host>/" for the
    // top directory "@"); empty when unknown.
    CString GetUrlPath(int pathId);
    // The URL stored with a file.
    CString GetFileUrl(int fileId);

protected:
    int CreateFileTables() override;
    int InsertFileRow(int pathId, int fileId, const char* name) override;
    int DeleteFileExtras(int fileId) override;
};
