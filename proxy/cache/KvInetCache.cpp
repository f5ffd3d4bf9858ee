#include "proxy/cache/KvInetCache.h"

#include "base/str/StrFunc.h"

IMPLEMENT_DYNCREATE(KvInetCache, KvPathCache)

CString KvInetCache::MakeHostKey(const char* host) const {
    CString key = KvPathCache::MakeHostKey(host);
    if (key.GetLength() > 4 && StrICompare(key.c_str(), "www.", 4) == 0) key = key.Mid(4);
    return key;
}
