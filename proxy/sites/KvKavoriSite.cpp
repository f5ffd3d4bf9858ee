// The portal's database.
#include "proxy/sites/KvKavoriSite.h"

#include "proxy/sites/KvSiteDatabase.h"
#include "proxy/web/KvWebHosts.h"

CString KvKavoriSitePath(const char* baseDir) { return KvSiteDatabasePath(baseDir, KV_HOST_PORTAL); }

int KvEnsureKavoriSite(const char* baseDir) {
    return KvEnsureSiteDatabase(
        baseDir, KV_HOST_PORTAL,
        {{"hp_name", "KvProxy"},
         {"hp_theme", "VuvUrad"},
         {"hp_motto", "Your web, kept on your own machine"},
         {"hp_desc", "The start page of KvProxy: search, browsing history, the cache, and your own local sites."},
         {"hp_keywords", "kvproxy, proxy, cache, history, local sites, search"}},
        "The portal");
}
