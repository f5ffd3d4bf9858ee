#include "proxy/web/KvPortalHosts.h"

#include "inet/match/KvMatchList.h"
#include "proxy/web/KvWebHosts.h"

namespace {

KvPortalHosts& Hosts() {
    static KvPortalHosts hosts = {"", "", "", KV_HOST_PORTAL};
    return hosts;
}

void AddDomainPattern(std::vector<CString>& patterns, const CString& domain) {
    if (!domain.IsEmpty()) patterns.push_back("*." + domain + "/*");
}

}  // namespace

const KvPortalHosts& KvGetPortalHosts() { return Hosts(); }

void KvSetPortalHosts(const KvPortalHosts& hosts) {
    Hosts() = hosts;
    KvMatchList::SetKavoriItems(KvPortalItems(hosts));
}

std::vector<CString> KvPortalItems(const KvPortalHosts& hosts) {
    std::vector<CString> patterns;
    AddDomainPattern(patterns, hosts.bookShopDomain);
    if (!hosts.adScriptUrl.IsEmpty()) patterns.push_back(hosts.adScriptUrl);
    AddDomainPattern(patterns, hosts.adNetworkDomain);
    AddDomainPattern(patterns, hosts.portalDomain);
    return patterns;
}
