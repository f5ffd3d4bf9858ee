// The database of one of the system's own sites.
#include "proxy/sites/KvSiteDatabase.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/str/StrFunc.h"
#include "inet/log/KvLogError.h"
#include "proxy/web/KvWebDB.h"

CString KvSiteDatabasePath(const char* baseDir, const char* host) {
    return StrFormat("%s/LocalWeb/%s.csd", baseDir ? baseDir : "", host ? host : "");
}

int KvEnsureSiteDatabase(const char* baseDir, const char* host, std::initializer_list<KvSiteSetting> settings,
                         const char* what) {
    const CString dir = StrFormat("%s/LocalWeb", baseDir ? baseDir : "");
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return 0;
    const CString path = KvSiteDatabasePath(baseDir, host);
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return 1;
    bool ok = false;
    {
        // OpenSite makes the tables and members and announces the password.
        KvWebDB db;
        ok = db.OpenSite(path);
        for (const KvSiteSetting& setting : settings) ok = ok && db.SetSystemVar(setting.name, setting.value);
        db.Close();
    }
    if (!ok) {
        LogError(KV_LOG_ERROR, "%s database could not be made in %s.", what, path.c_str());
        unlink(path.c_str());
        return 0;
    }
    return 1;
}
