// The meta-search site's database.
#include "proxy/sites/KvPolyseekSite.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/str/StrFunc.h"
#include "inet/log/KvLogError.h"
#include "proxy/web/KvWebDB.h"
#include "proxy/web/KvWebHosts.h"

CString KvPolyseekSitePath(const char* baseDir) {
    return StrFormat("%s/LocalWeb/%s.csd", baseDir ? baseDir : "", KV_HOST_POLYSEEK);
}

int KvEnsurePolyseekSite(const char* baseDir) {
    const CString dir = StrFormat("%s/LocalWeb", baseDir ? baseDir : "");
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return 0;
    const CString path = KvPolyseekSitePath(baseDir);
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return 1;
    bool ok = false;
    {
        KvWebDB db;
        ok = db.OpenSite(path) && db.SetSystemVar("hp_name", "Search") &&
             db.SetSystemVar("hp_theme", "VuvUrad") &&
             db.SetSystemVar("hp_desc", "The internet searched through several services at once.");
        db.Close();
    }
    if (!ok) {
        LogError(KV_LOG_ERROR, "The search site database could not be made in %s.", path.c_str());
        unlink(path.c_str());
        return 0;
    }
    return 1;
}
