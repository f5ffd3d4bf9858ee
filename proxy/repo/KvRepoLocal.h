// KvRepoLocal: the store of one local web site: a folder tree, the pages of
// each folder, and links attached to folders.
//
// The tree and link code is KvRepoTree's; links are published here under
// the site's names (AddNewLink, DeleteLink, PopulateLink...). On top of
// it: every new folder gets its own page "index.html" (in the same
// transaction), and deleting a folder deletes its pages with it. Folder 0
// "Top" and its index page (page 1) exist in every new file. Bulk inserts
// hold system lock 5.
#pragma once

#include "proxy/repo/KvRepoTree.h"

class KvWebPage;

typedef int (*KvPageEnumProc)(KvWebPage* page, void* context);

class KvRepoLocal : public KvRepoTree {
    DECLARE_DYNCREATE(KvRepoLocal)
public:
    KvRepoLocal();
    ~KvRepoLocal() override = default;

    // --- pages ---
    // Sets the record's folder, id and times; non-zero on success (the id
    // is reset to 0 on failure).
    int AddNewPage(int folder, KvWebPage* page);
    int GetPage(int id, KvWebPage* page);
    // An empty name is the folder's "index.html".
    int GetPage(int folder, const char* name, KvWebPage* page);
    // Below 1 when absent.
    int FindPageId(int folder, const char* name);
    // Stamps updated-on and rewrites every column.
    int UpdatePage(KvWebPage* page);
    int DeletePage(int id);
    // Refused when the folder does not exist.
    int MovePage(int id, int folder);
    CString GetPageKeywords(int id);
    int SetPageKeywords(int id, const char* keywords);
    int GetPageFlags(int id);
    int SetPageFlags(int id, int flags);
    CString GetPageContent(int id);
    int SetPageContent(int id, const char* content);
    int IncrementPageHits(int id);
    // All pages of a folder.
    int PopulatePage(int folder, KvObjectArray* pages);
    // Filtered and paged, by order then label.
    int PopulatePage(int folder, const char* filter, int limit, int offset, KvObjectArray* pages);
    int PopulatePageCount(int folder, const char* filter = nullptr);
    // Over all pages; an empty filter is "page_id > 0".
    int QueryPage(const char* filter, int limit, int offset, KvObjectArray* pages);
    int QueryPageCount(const char* filter);
    int QueryPageIds(const char* filter, CUIntArray* ids);
    int EnumPage(int folder, KvPageEnumProc fn, void* context);

    // --- links ---
    int AddNewLink(KvLinkItem* item) { return AddNewItem(item); }
    int AddNewLink(int folder, KvLinkItem* item) { return AddNewItem(folder, item); }
    int AddNewLinks(int folder, KvObjectArray* items) { return AddNewItems(folder, items); }
    int AddNewSimpleLinks(int folder, KvObjectArray* links) { return AddNewSimpleItems(folder, links); }
    int AddNewLinkMember(int folder, int item) { return AddNewMember(folder, item); }
    int DeleteLink(int id) { return DeleteItem(id); }
    int DeleteAllLinkByFolder(int folder) { return DeleteAllItemByFolder(folder); }
    int DeleteAllLinkByFolder(const char* path) { return DeleteAllItemByFolder(path); }
    int DeleteAllLinkMemberByItem(int item) { return DeleteAllMemberByItem(item); }
    int DeleteLinkMember(int folder, int item) { return DeleteMember(folder, item); }
    int FindLinkId(const char* url) { return FindItemId(url); }
    int GetLink(int id, KvLinkItem* item) { return GetItem(id, item); }
    int GetLink(const char* url, KvLinkItem* item) { return GetItem(url, item); }
    int UpdateLink(KvLinkItem* item) { return UpdateItem(item); }
    int GetLinkFlags(int id) { return GetItemFlags(id); }
    int SetLinkFlags(int id, int flags) { return SetItemFlags(id, flags); }
    int IncrementLinkHits(int id) { return IncrementItemHits(id); }
    int GetLinkCountainerCount(int item) { return GetCountainerCount(item); }
    int PopulateLink(int folder, KvObjectArray* items) { return PopulateItem(folder, items); }
    int PopulateLink(int folder, const char* filter, int limit, int offset, KvObjectArray* items) {
        return PopulateItem(folder, filter, limit, offset, items);
    }
    int PopulateLinkCount(int folder, const char* filter = nullptr) { return PopulateItemCount(folder, filter); }
    int QueryLink(const char* filter, int limit, int offset, KvObjectArray* items) {
        return QueryItem(filter, limit, offset, items);
    }
    int QueryLinkCount(const char* filter) { return QueryItemCount(filter); }
    int QueryLinkIds(const char* filter, CUIntArray* ids) { return QueryItemIds(filter, ids); }
    int EnumLink(int folder, KvItemEnumProc fn, void* context) { return EnumItem(folder, fn, context); }

protected:
    int _DoInitNewRepository() override;
    int _DoCheckRepository() override;
    int _DoFolderAdded(int id, const char* title) override { return _CreateIndexPage(id, title); }
    int _DoFolderDeleting(int id) override;
    // The folder's "index.html" titled after the folder.
    int _CreateIndexPage(int folder, const char* title);

private:
    int ReadPages(KvSqlQuery& q, KvObjectArray* pages);
};
