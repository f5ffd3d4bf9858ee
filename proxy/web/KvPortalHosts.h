// The host names behind the portal's own white-list entries: the book shop
// whose affiliate content the portal shows, the ad network the portal uses
// (its script URL and its domain), and the portal's own domain. They are
// deployment values; only the portal's domain has one by default (the
// portal's host, KvWebHosts.h), and "PortalDomain" in the configuration
// may name another.
//
// KvSetPortalHosts also hands the resulting patterns to the white list
// (KvMatchList::SetKavoriItems), so every list prepared afterwards starts
// with them; the proxy application hands over the defaults when it is
// made. Start-up (and tests) only: request threads read the values
// unlocked.
#pragma once

#include <vector>

#include "base/platform/CString.h"

struct KvPortalHosts {
    CString bookShopDomain;   // the book shop whose affiliate content the portal shows
    CString adScriptUrl;      // the ad network's script URL, a pattern ending in "*"
    CString adNetworkDomain;  // the ad network's domain
    CString portalDomain;     // the portal's own domain
};

const KvPortalHosts& KvGetPortalHosts();
void KvSetPortalHosts(const KvPortalHosts& hosts);

// The white-list patterns of the hosts in insertion order (book shop, ad
// script, ad network, portal; the portal's ends up first in the list):
// "*." + domain + "/*" for a domain, the script URL as it is. An unset
// host gives no pattern (a bare "*./*" would match nearly everything).
std::vector<CString> KvPortalItems(const KvPortalHosts& hosts);
