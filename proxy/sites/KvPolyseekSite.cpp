// The meta-search site's database.
#include "proxy/sites/KvPolyseekSite.h"

#include "proxy/sites/KvSiteDatabase.h"
#include "proxy/sites/KvSiteFrames.h"
#include "proxy/web/KvWebHosts.h"

CString KvPolyseekSitePath(const char* baseDir) { return KvSiteDatabasePath(baseDir, KV_HOST_POLYSEEK); }

int KvEnsurePolyseekSite(const char* baseDir) {
    return KvEnsureSiteDatabase(baseDir, KV_HOST_POLYSEEK,
                                {{"hp_name", "Search"},
                                 {"hp_theme", "VuvUrad"},
                                 {"hp_desc", "The internet searched through several services at once."},
                                 {"hp_header", KV_SEARCH_FRAME_HEADER},
                                 {"hp_footer", KV_SITE_FRAME_FOOTER}},
                                "The search site");
}
