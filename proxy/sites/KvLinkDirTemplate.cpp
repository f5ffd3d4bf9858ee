// The template database of new link directories.
#include "proxy/sites/KvLinkDirTemplate.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/str/StrFunc.h"
#include "inet/log/KvLogError.h"
#include "proxy/repo/KvRepoLink.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/sites/KvSiteFrames.h"
#include "proxy/sites/KvWebLink.h"
#include "proxy/web/KvWebDB.h"

CString KvLinkDirTemplatePath(const char* baseDir) {
    return StrFormat("%s/LocalWeb/%s.cld", baseDir ? baseDir : "", KV_HOST_LINKDIR_TEMPLATE);
}

int KvSeedLinkDir(KvWebDB& db, KvRepoLink& repo, const char* siteName) {
    if (!db.SetSystemVar("hp_name", siteName) || !db.SetSystemVar("hp_theme", "VuvUrad") ||
        !db.SetSystemVar("hp_desc", "Bookmarks kept in folders, searched and shared in the browser.") ||
        !db.SetSystemVar("hp_keywords", "links, bookmarks, directory") ||
        !db.SetSystemVar("hp_sidebar", "{search_form}{subfolder_menu}{login_form}") ||
        !db.SetSystemVar("hp_header", KV_SITE_FRAME_HEADER) || !db.SetSystemVar("hp_footer", KV_SITE_FRAME_FOOTER)) {
        return 0;
    }
    KvWebFolder root;
    if (!repo.GetFolder(0, &root)) return 0;
    root.m_strTitle = root.m_strLabel = siteName;
    root.m_strDesc = "Bookmarks kept in folders.";
    root.m_strContent = KV_LINK_FOLDER_CONTENT;
    if (!repo.UpdateFolder(&root)) return 0;
    KvWebFolder reading("Reading", "Reading", "Pages worth reading again.");
    reading.m_strLabel = "Reading";
    reading.m_strContent = KV_LINK_FOLDER_CONTENT;
    return repo.AddNewFolder(0, &reading) > 0 ? 1 : 0;
}

int KvEnsureLinkDirTemplate(const char* baseDir) {
    const CString dir = StrFormat("%s/LocalWeb", baseDir ? baseDir : "");
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return 0;
    const CString path = KvLinkDirTemplatePath(baseDir);
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return 1;
    bool ok = false;
    {
        KvWebDB db;
        KvRepoLink repo;
        repo.SetDatabase(&db);
        ok = db.OpenSite(path) && repo.Open(path) && KvSeedLinkDir(db, repo, "My Links");
        repo.Close();
        db.Close();
    }
    if (!ok) {
        LogError(KV_LOG_ERROR, "The template of new link directories could not be made in %s.", path.c_str());
        unlink(path.c_str());
        return 0;
    }
    return 1;
}
