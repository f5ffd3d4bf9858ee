// OPML outlines into a feed reader.
#include "proxy/sites/KvOpmlImport.h"

#include "ext/KvSqLite/KvSqlBuffer.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/feeds/KvOpmlReader.h"
#include "proxy/repo/KvRepoRSS.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/sites/KvBookmarkImport.h"
#include "proxy/sites/KvWebRSS.h"

namespace {

// Names tried for a feed whose name a sibling has: "name-2" up to this.
constexpr int kMaxNameTries = 100;

class Importer {
public:
    Importer(KvRepoRSS& repo, KvSqlDBEx& db, const char* uploadBy, KvOpmlCount& count)
        : m_repo(repo), m_db(db), m_uploadBy(uploadBy), m_count(count) {}

    bool Level(int id, const KvOpmlOutline& parent) {
        for (const auto& o : parent.children) {
            if (!o->xmlUrl.IsEmpty()) {
                if (!Feed(id, *o)) return false;
                continue;
            }
            const CString name = KvBookmarkFolderName(o->title);
            int child = m_repo.FindFolderId(id, name);
            if (child < 0) {
                KvWebFolderRSS folder = NewFolder(name, *o, KV_RSS_FOLDER_CONTENT);
                child = m_repo.AddNewFolder(id, &folder);
                if (child <= 0) return false;
                ++m_count.folders;
            }
            if (!Level(child, *o)) return false;
        }
        return true;
    }

private:
    KvWebFolderRSS NewFolder(const CString& name, const KvOpmlOutline& o, const char* content) const {
        KvWebFolderRSS folder;
        folder.m_strName = name;
        folder.m_strTitle = folder.m_strLabel = o.title.IsEmpty() ? name : o.title;
        folder.m_strDesc = o.desc.IsEmpty() && KvIsWebAddress(o.htmlUrl) ? o.htmlUrl : o.desc;
        folder.m_strContent = content;
        folder.m_strUploadBy = m_uploadBy;
        folder.m_nRssPeriode = 1;
        folder.m_strRssPeriodeStr = "days";
        return folder;
    }

    bool Known(const CString& url) {
        KvSqlBuffer sql;
        return m_db.ExecScalar(sql.Format("select count(*) from web_folder where rss_url='%q' collate nocase;",
                                          url.c_str()),
                               0) > 0;
    }

    bool Feed(int parent, const KvOpmlOutline& o) {
        if (!KvIsWebAddress(o.xmlUrl)) {
            ++m_count.skipped;
            return true;
        }
        if (Known(o.xmlUrl)) {
            ++m_count.duplicates;
            return true;
        }
        const CString base = KvBookmarkFolderName(o.title.IsEmpty() ? o.xmlUrl : o.title);
        CString name = base;
        for (int n = 2; m_repo.FindFolderId(parent, name) >= 0; ++n) {
            if (n > kMaxNameTries) {
                ++m_count.skipped;
                return true;
            }
            name.Format("%s-%d", base.c_str(), n);
        }
        KvWebFolderRSS folder = NewFolder(name, o, KV_RSS_FEED_CONTENT);
        folder.m_strRssUrl = o.xmlUrl;
        if (m_repo.AddNewFolder(parent, &folder) <= 0) return false;
        ++m_count.feeds;
        return true;
    }

    KvRepoRSS& m_repo;
    KvSqlDBEx& m_db;
    CString m_uploadBy;
    KvOpmlCount& m_count;
};

}  // namespace

bool KvImportOpml(KvRepoRSS& repo, int parent, const KvOpmlFile& file, const char* uploadBy, KvOpmlCount& count) {
    count = KvOpmlCount();
    count.skipped = file.skipped;
    KvSqlDBEx* db = repo.GetDatabase();
    if (!db) return false;
    KvSqlTransaction tx(*db);
    Importer importer(repo, *db, uploadBy, count);
    if (!tx.IsActive() || !importer.Level(parent, file.root) || !tx.Commit()) {
        count = KvOpmlCount();
        return false;
    }
    return true;
}
