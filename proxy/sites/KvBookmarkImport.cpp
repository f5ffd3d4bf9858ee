// Bookmark files into and out of a link directory.
#include "proxy/sites/KvBookmarkImport.h"

#include <cctype>
#include <ctime>
#include <memory>

#include "base/containers/KvObjectArray.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/match/KvKeywords.h"
#include "proxy/feeds/KvBookmarkFile.h"
#include "proxy/repo/KvRepoLink.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/sites/KvWebLink.h"

namespace {

constexpr int kMaxNameBytes = 60;
// Add dates outside 1970..2100 are taken as none (some tools write
// microseconds or garbage).
constexpr long long kLatestDate = 4102444800LL;

class Importer {
public:
    Importer(KvRepoLink& repo, const char* uploadBy, KvBookmarkCount& count)
        : m_repo(repo), m_uploadBy(uploadBy), m_count(count) {}

    bool Folder(int id, const KvBookmark& folder) {
        for (const auto& entry : folder.children) {
            if (!entry->folder) {
                AddLink(id, *entry);
                continue;
            }
            const int child = FindOrMake(id, *entry);
            if (child < 0 || !Folder(child, *entry)) return false;
        }
        return true;
    }

    bool Flush() {
        if (m_links.IsEmpty()) return true;
        const int stored = m_repo.ImportItems(&m_links);
        m_count.links = m_links.GetSize();
        return stored >= 0;
    }

private:
    int FindOrMake(int parent, const KvBookmark& entry) {
        const CString name = KvBookmarkFolderName(entry.title);
        const int found = m_repo.FindFolderId(parent, name);
        if (found >= 0) return found;
        KvWebFolder folder;
        folder.m_strName = name;
        folder.m_strTitle = folder.m_strLabel = entry.title.IsEmpty() ? name : entry.title;
        folder.m_strDesc = entry.desc;
        folder.m_strContent = KV_LINK_FOLDER_CONTENT;
        folder.m_strUploadBy = m_uploadBy;
        const int id = m_repo.AddNewFolder(parent, &folder);
        if (id <= 0) return -1;
        ++m_count.folders;
        return id;
    }

    void AddLink(int folder, const KvBookmark& entry) {
        if (!KvIsWebAddress(entry.url)) {
            ++m_count.skipped;
            return;
        }
        auto item = std::make_unique<KvLinkItem>();
        item->m_nFolder = folder;
        item->m_strUrl = entry.url;
        item->m_strTitle = entry.title.IsEmpty() ? GetTitleFromUrl(entry.url) : entry.title;
        item->m_strDesc = entry.desc;
        item->m_strKeywords = KvKeywords(entry.tags).AsString();
        item->m_strUploadBy = m_uploadBy;
        if (entry.addDate > 0 && entry.addDate < kLatestDate) item->m_timeUploadOn = KvTime((time_t)entry.addDate);
        if (m_links.Add(item.get()) >= 0) (void)item.release();
    }

    KvRepoLink& m_repo;
    CString m_uploadBy;
    KvBookmarkCount& m_count;
    KvObjectArray m_links;
};

long long UnixTime(const KvTime& t) {
    time_t seconds = 0;
    return !t.IsEmpty() && t.GetTime(&seconds) && seconds > 0 ? (long long)seconds : 0;
}

void ExportLevel(KvRepoLink& repo, int folder, const char* childFilter, const char* linkFilter, int depth,
                 KvBookmarkWriter& writer) {
    KvObjectArray links;
    (void)repo.PopulateItem(folder, linkFilter, -1, 0, &links);
    for (int i = 0; i < links.GetSize(); ++i) {
        const auto* link = dynamic_cast<const KvLinkItem*>(links[i]);
        if (!link || !KvIsWebAddress(link->m_strUrl)) continue;
        writer.AddLink(link->m_strUrl, link->m_strTitle, UnixTime(link->m_timeUploadOn), link->m_strKeywords,
                       link->m_strDesc);
    }
    if (depth <= 0) return;
    KvObjectArray children;
    (void)repo.PopulateFolder(folder, &children, childFilter);
    for (int i = 0; i < children.GetSize(); ++i) {
        const auto* child = dynamic_cast<const KvWebFolder*>(children[i]);
        if (!child) continue;
        // Folders go without a date: an import makes them anew.
        writer.OpenFolder(child->m_strTitle.IsEmpty() ? child->m_strName : child->m_strTitle, 0, child->m_strDesc);
        ExportLevel(repo, child->m_nID, childFilter, linkFilter, depth - 1, writer);
        writer.CloseFolder();
    }
}

}  // namespace

CString KvBookmarkFolderName(const char* title) {
    CString name;
    bool dash = false;
    for (const char* p = title ? title : ""; *p && name.GetLength() < kMaxNameBytes; ++p) {
        const unsigned char c = (unsigned char)*p;
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c >= 0x80) {
            name += (char)c;
            dash = c == '-';
        } else if (!dash && !name.IsEmpty()) {
            name += '-';
            dash = true;
        }
    }
    // A cut inside a multi-byte character drops its leading bytes.
    int end = name.GetLength();
    if (end > 0 && (unsigned char)name[end - 1] >= 0x80) {
        int lead = end - 1;
        while (lead > 0 && ((unsigned char)name[lead] & 0xC0) == 0x80) --lead;
        const unsigned char c = (unsigned char)name[lead];
        const int need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (end - lead < need) end = lead;
    }
    name = name.Left(end);
    name.TrimRight('-');
    name.TrimLeft('-');
    if (name.IsEmpty() || name == "." || name == "..") return "folder";
    return name;
}

bool KvImportBookmarks(KvRepoLink& repo, int parent, const KvBookmarkFile& file, const char* uploadBy,
                       KvBookmarkCount& count) {
    count = KvBookmarkCount();
    count.skipped = file.skipped;
    KvSqlDBEx* db = repo.GetDatabase();
    if (!db) return false;
    KvSqlTransaction tx(*db);
    Importer importer(repo, uploadBy, count);
    if (!tx.IsActive() || !importer.Folder(parent, file.root) || !importer.Flush() || !tx.Commit()) {
        count = KvBookmarkCount();
        return false;
    }
    return true;
}

void KvExportBookmarks(KvRepoLink& repo, int folder, const char* childFilter, const char* linkFilter, int maxDepth,
                       KvBookmarkWriter& writer) {
    ExportLevel(repo, folder, childFilter, linkFilter, maxDepth, writer);
}
