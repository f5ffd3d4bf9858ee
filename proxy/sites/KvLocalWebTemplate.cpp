// The template database of new local web sites.
#include "proxy/sites/KvLocalWebTemplate.h"

#include <sys/stat.h>
#include <unistd.h>

#include "base/str/StrFunc.h"
#include "inet/log/KvLogError.h"
#include "proxy/repo/KvRepoLocal.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/sites/KvWebLocal.h"
#include "proxy/web/KvWebDB.h"
#include "proxy/web/KvWebHosts.h"

namespace {

struct InfoPage {
    const char* name;
    const char* title;
    const char* content;
};

// The pages the default navigation bar links to, below the folder "Pages"
// (kept out of the lists: the bar links them).
const InfoPage kInfoPages[] = {
    {"Aboutus", "About Us", "<h1>{page_title}</h1>\n<p>Who we are and what this site is about.</p>"},
    {"Sitemap", "Sitemap", "<h1>{page_title}</h1>\n{sitemap:3}"},
    {"Feedback", "Feedback", "<h1>{page_title}</h1>\n<p>Tell us what you think of this site.</p>"},
    {"Linktous", "Link To Us", "<h1>{page_title}</h1>\n<p>You are welcome to link to any page of this site.</p>"},
    {"Terms_of_Use", "Terms Of Use", "<h1>{page_title}</h1>\n<p>The terms under which this site may be used.</p>"},
    {"Privacy_Policy", "Privacy Policy",
     "<h1>{page_title}</h1>\n<p>This site keeps no data about its visitors beyond their session.</p>"},
};

const char kRootContent[] = "<h1>{page_title}</h1>\n{search_form2}\n{subfolder_list3}\n{page_list}";

bool AddInfoPages(KvRepoLocal& repo) {
    KvWebFolder pages("Pages", "Pages", "Information about this site.");
    pages.m_bShow = 0;
    pages.m_nOrder = 99999;
    const int parent = repo.AddNewFolder(0, &pages);
    if (parent <= 0) return false;
    for (const InfoPage& info : kInfoPages) {
        KvWebFolder folder(info.name, info.title, "");
        folder.m_strLabel = info.title;
        const int id = repo.AddNewFolder(parent, &folder);
        if (id <= 0) return false;
        const int index = repo.FindPageId(id, "index.html");
        if (index <= 0 || !repo.SetPageContent(index, info.content)) return false;
    }
    return true;
}

}  // namespace

CString KvLocalWebTemplatePath(const char* baseDir) {
    return StrFormat("%s/LocalWeb/%s.cwd", baseDir ? baseDir : "", KV_HOST_LOCALWEB_TEMPLATE);
}

int KvSeedLocalWeb(KvWebDB& db, KvRepoLocal& repo, const char* siteName) {
    if (!db.SetSystemVar("hp_name", siteName) || !db.SetSystemVar("hp_theme", "VuvUrad") ||
        !db.SetSystemVar("hp_desc", "A web site of folders and pages written in the browser.") ||
        !db.SetSystemVar("hp_keywords", "local, web, pages")) {
        return 0;
    }
    // The front page carries the site's name.
    KvWebPage front;
    if (!repo.GetPage(1, &front)) return 0;
    front.m_strTitle = front.m_strLabel = siteName;
    front.m_strContent = kRootContent;
    if (!repo.UpdatePage(&front)) return 0;
    return AddInfoPages(repo) ? 1 : 0;
}

int KvEnsureLocalWebTemplate(const char* baseDir) {
    const CString dir = StrFormat("%s/LocalWeb", baseDir ? baseDir : "");
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return 0;
    const CString path = KvLocalWebTemplatePath(baseDir);
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return 1;
    bool ok = false;
    {
        KvWebDB db;
        KvRepoLocal repo;
        repo.SetDatabase(&db);
        ok = db.OpenSite(path) && repo.Open(path) && KvSeedLocalWeb(db, repo, "My Local Web");
        repo.Close();
        db.Close();
    }
    if (!ok) {
        LogError(KV_LOG_ERROR, "The template of new local web sites could not be made in %s.", path.c_str());
        unlink(path.c_str());
        return 0;
    }
    return 1;
}
