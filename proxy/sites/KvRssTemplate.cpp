// The template database of new RSS readers.
#include "proxy/sites/KvRssTemplate.h"

#include <sys/stat.h>
#include <unistd.h>

#include "base/str/StrFunc.h"
#include "inet/log/KvLogError.h"
#include "proxy/repo/KvRepoRSS.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/sites/KvSiteFrames.h"
#include "proxy/sites/KvWebRSS.h"
#include "proxy/web/KvWebDB.h"
#include "proxy/web/KvWebHosts.h"

namespace {

bool Seed(KvWebDB& db, KvRepoRSS& repo, const char* baseDir) {
    if (!db.SetSystemVar("hp_name", "My RSS Reader") || !db.SetSystemVar("hp_theme", "VuvUrad") ||
        !db.SetSystemVar("hp_desc", "Feeds read in the browser, their items kept in folders.") ||
        !db.SetSystemVar("hp_keywords", "rss, atom, feeds, news") ||
        !db.SetSystemVar("hp_header", KV_SITE_FRAME_HEADER) || !db.SetSystemVar("hp_footer", KV_SITE_FRAME_FOOTER)) {
        return false;
    }
    KvWebFolderRSS root;
    if (!repo.GetFolder(0, &root)) return false;
    root.m_strTitle = root.m_strLabel = "My RSS Reader";
    root.m_strDesc = "Feeds sorted into folders. Open a folder to read its items.";
    root.m_strContent = KV_RSS_ROOT_CONTENT;
    if (!repo.UpdateFolder(&root)) return false;
    KvWebFolderRSS news;
    news.m_strName = news.m_strLabel = news.m_strTitle = "News";
    news.m_strDesc = "Add a sub-folder with a feed address to read a feed here.";
    news.m_strContent = KV_RSS_FOLDER_CONTENT;
    news.m_strRobots = "index, follow";
    news.m_nRssPeriode = 1;
    news.m_strRssPeriodeStr = "days";
    if (repo.AddNewFolder(0, &news) <= 0) return false;
    // The form is optional here: every reader stores it at its start too.
    const CString form = StrFormat("%s/Template/%s", baseDir, KV_RSS_FOLDER_FORM);
    struct stat st {};
    return stat(form.c_str(), &st) != 0 || db.PutSimpleFileFromLocalFile("/_template/folder.htm", form);
}

}  // namespace

CString KvRssTemplatePath(const char* baseDir) {
    return StrFormat("%s/LocalWeb/%s.crd", baseDir ? baseDir : "", KV_HOST_RSS_TEMPLATE);
}

int KvEnsureRssTemplate(const char* baseDir) {
    const CString dir = StrFormat("%s/LocalWeb", baseDir ? baseDir : "");
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return 0;
    const CString path = KvRssTemplatePath(baseDir);
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return 1;
    bool ok = false;
    {
        KvWebDB db;
        KvRepoRSS repo;
        repo.SetDatabase(&db);
        ok = db.OpenSite(path) && repo.Open(path) && Seed(db, repo, baseDir ? baseDir : "");
        repo.Close();
        db.Close();
    }
    if (!ok) {
        LogError(KV_LOG_ERROR, "The template of new RSS readers could not be made in %s.", path.c_str());
        unlink(path.c_str());
        return 0;
    }
    return 1;
}
