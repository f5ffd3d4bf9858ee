// Deployment values of the full decision path (KvProxyRequestKavori):
// the redirect shortcuts, the custom-search prefix, and the start-up
// settings that the local sites, the lists and the cache need.
//
// KvReadKavoriConfig reads them from the application's configuration
// (section "General": ZuRedirectPrefixes, StarRedirectPrefixes,
// CustomSearchPrefix, PortalDomain) while the application starts, points
// the cache at "<base>/Cache/" with the configured expiry and the history
// at "<base>/history.txt" ("History"). The
// values are written during start-up only, before the proxy server runs,
// and read by the request threads afterwards.
#pragma once

#include <string>
#include <vector>

class KvWebProxyApp;

struct KvKavoriSettings {
    // Click-tracking redirectors: a URL beginning with one of these is
    // answered with a redirect to its "zu" query parameter.
    std::vector<std::string> zuRedirects;
    // Result redirectors: a URL beginning with one of these is answered
    // with a redirect to what follows its "**", URL-decoded.
    std::vector<std::string> starRedirects;
    // URLs beginning with it are fetched from the origin, never from or
    // into the cache (empty: none).
    std::string customSearch;
};

// The values in force (all empty until configured).
const KvKavoriSettings& KvGetKavoriSettings();
// Start-up (and tests) only: request threads read the values unlocked.
void KvSetKavoriSettings(const KvKavoriSettings& settings);

// Reads the values from the application's loaded configuration file,
// sets the portal's domain ("PortalDomain", the portal's host by
// default), and gives the cache manager its directory and expiry days. 1.
int KvReadKavoriConfig(KvWebProxyApp& app);
