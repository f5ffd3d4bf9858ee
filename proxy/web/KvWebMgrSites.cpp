// KvWebMgr: the list of sites for the pages that show them.
#include <strings.h>

#include <algorithm>

#include "base/thread/KvCriticalObj.h"
#include "proxy/web/KvWebMgr.h"
#include "proxy/web/KvWebObject.h"

std::vector<KvLocalWebInfo> KvWebMgr::ListLocalWebs() {
    Initiate();
    // As in ConvertLocalWebListToSimpleLinks: the class lock is never held
    // while a site's own lock is taken.
    const std::vector<KvWebObject*> sites = GetSites();
    std::vector<KvLocalWebInfo> list;
    for (KvWebObject* site : sites) {
        if (!site->IsInitiated()) {
            KvCriticalLock siteLock(site->GetLock());
            if (!site->IsInitiated()) site->Initiate();
        }
        list.push_back({site->GetDomain(), site->GetHomeUrl(), site->GetHostName(), site->GetDescription(),
                        site->GetRuntimeClass()->m_lpszClassName});
    }
    std::sort(list.begin(), list.end(), [](const KvLocalWebInfo& a, const KvLocalWebInfo& b) {
        const int byName = strcasecmp(a.name.c_str(), b.name.c_str());
        return byName != 0 ? byName < 0 : a.domain < b.domain;
    });
    return list;
}
