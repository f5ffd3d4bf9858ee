// KvSEFetch: the outside search services of the meta-search site.
//
// Each service ("google", "yahoo", "msn") is an address template from the
// configuration's [Search] section with "{q}" standing for the URL-encoded
// query; its answer is an RSS or Atom feed whose items become simple links
// (KvSimpleLinkItem: address, title, description). A service whose key is
// empty or lacks "{q}" fails at once without going out. Downloads go
// straight to the service (never through the proxy's cache, so a refresh
// really asks again) and are bounded by the download time-out.
//
// Set at start-up; fetchers take a copy, so any thread may fetch.
#pragma once

#include "base/platform/CString.h"

class KvIniFile;
class KvObjectArray;

struct KvSearchSettings {
    CString google;
    CString yahoo;
    CString msn;
};

KvSearchSettings KvGetSearchSettings();
void KvSetSearchSettings(const KvSearchSettings& settings);
void KvApplySearchSettings(const KvIniFile& ini);

// The template of a service name, empty for an unknown name.
CString KvSearchTemplate(const char* service);
// The address for the query; empty when the template is empty or has no "{q}".
CString KvSearchUrl(const char* templ, const char* query);

// Appends the service's results to `links`; non-zero on success (an answer
// that is a readable feed, even without items).
int GoogleSearchToArray(const char* query, KvObjectArray* links);
int YahooSearchToArray(const char* query, KvObjectArray* links);
int MSNSearchToArray(const char* query, KvObjectArray* links);
// The same by service name.
int KvServiceSearchToArray(const char* service, const char* query, KvObjectArray* links);
