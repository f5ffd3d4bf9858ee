// KvInetCache: the path-structured store keyed by host and directory tree
// (KvPathCache). Its host key drops a leading "www.", so "www.example.com"
// and "example.com" share one tree.
#pragma once

#include "proxy/cache/KvPathCache.h"

class KvInetCache : public KvPathCache {
    DECLARE_DYNCREATE(KvInetCache)
public:
    KvInetCache() = default;
    ~KvInetCache() override = default;

    CString MakeHostKey(const char* host) const override;
};
