// KvRepoTree: the folder tree, links and memberships that the link
// directory, feed reader and local web repositories share, written once.
//
// Tables: web_folder (folder 0 is the root "Top", parent -1; names unique
// within a parent, without regard to case), link_item (URLs unique without
// regard to case) and link_member, which puts a link into any number of
// folders. Ids of new folders and links come from the database's id
// counters "web_folder" and "link_item".
//
// What differs between the repositories is given by a KvRepoTreeLayout (the
// folder column list, the order of link lists, the system lock of the bulk
// inserts) and by hooks: how a folder row is read and written (the feed
// reader's folders have six more columns), and what happens when a folder
// is added or deleted (a local web site's index page and pages).
//
// Folder operations are public here under their common names. The link
// operations are protected: each repository publishes them under its own
// names (AddNewItem... in the link directory and feed reader, AddNewLink...
// in the local web repository).
//
// Soundness beyond the plain statements:
//   - a folder is never moved onto itself or below itself (MoveFolder, and
//     UpdateFolder with a changed parent), nor under a folder that does not
//     exist;
//   - every walk up or down the tree stops at KV_REPO_MAX_DEPTH levels, so a
//     damaged parent chain cannot loop; DeleteFolder visits each folder once
//     (a cycle made by damage is deleted, not followed forever) and fails
//     as a whole on a chain deeper than the bound;
//   - operations of several statements (adding a folder with its index
//     page, adding a link with its membership, deleting a link, deleting a
//     folder tree, the bulk inserts) run in one transaction each: all of it
//     or nothing, also when the process dies half-way;
//   - an empty filter is no filter; a folder without links lists nothing
//     without running a statement; id lists spliced into SQL are made of
//     integers read from the database.
//
// Results: 1/0 for operations, -1 (folder ids) or 0 (link ids) when not
// found; every write answers 0 (-1 where the result is an id) at once on a
// read-only or closed repository. Listing operations empty their array
// first; a row that cannot be read ends the listing with 0, keeping the
// records read so far. Threads: as KvRepoBase.
#pragma once

#include <set>
#include <vector>

#include "base/platform/CString.h"
#include "proxy/repo/KvRepoBase.h"

class CStringArray;
class CUIntArray;
class KvGenBuffer;
class KvLinkFormat;
class KvLinkItem;
class KvObjectArray;
class KvSqlBuffer;
class KvSqlQuery;
class KvTime;
class KvWebFolder;
struct KvRuntimeClass;

// A condition that is empty or only blanks: no filter for lists.
bool KvRepoIsBlank(const char* condition);
// Integers as "1, 2, 3" for an "in(...)" list: only numbers ever reach the
// statement.
CString KvRepoIdList(const std::vector<int>& ids);

typedef int (*KvFolderEnumProc)(KvWebFolder* folder, void* context);
typedef int (*KvItemEnumProc)(KvLinkItem* item, void* context);

struct KvRepoTreeLayout {
    // Select list of a folder row, read by _ReadFolder.
    const char* folderColumns;
    // Order of a folder's links and of link queries.
    const char* linkOrder;
    // Order of QueryItemIds.
    const char* linkIdsOrder;
    // System lock held by the bulk inserts (they read an id counter once).
    unsigned bulkLock;
    // Bulk-inserted links keep their own uploaded-on (feed dates) instead of
    // taking the time of the insert.
    bool bulkKeepsUploadDate;
};

// Publishes the tree's link operations under their own names (a repository
// whose links need no names of their own puts this in its public part).
#define KV_REPO_TREE_PUBLISH_ITEMS \
    using KvRepoTree::FindItemId; \
    using KvRepoTree::GetItem; \
    using KvRepoTree::AddNewItem; \
    using KvRepoTree::AddNewItems; \
    using KvRepoTree::AddNewSimpleItems; \
    using KvRepoTree::ImportItems; \
    using KvRepoTree::UpdateItem; \
    using KvRepoTree::DeleteItem; \
    using KvRepoTree::DeleteItemMember; \
    using KvRepoTree::DeleteAllItemByFolder; \
    using KvRepoTree::AddNewMember; \
    using KvRepoTree::DeleteMember; \
    using KvRepoTree::IsMember; \
    using KvRepoTree::GetCountainerCount; \
    using KvRepoTree::GetItemFlags; \
    using KvRepoTree::SetItemFlags; \
    using KvRepoTree::IncrementItemHits; \
    using KvRepoTree::PopulateItem; \
    using KvRepoTree::PopulateItemCount; \
    using KvRepoTree::QueryItem; \
    using KvRepoTree::QueryItemCount; \
    using KvRepoTree::QueryItemIds; \
    using KvRepoTree::EnumItem; \
    using KvRepoTree::GenerateLinks;

class KvRepoTree : public KvRepoBase {
    DECLARE_DYNAMIC(KvRepoTree)
public:
    ~KvRepoTree() override = default;

    // --- paths ---
    // "/a/b/" gives a, b: one leading "/" skipped, cut at every "/", a
    // trailing "/" adds no part; an empty path (or "/") gives "@". Always 1.
    virtual int _BreakFolderPathComponent(const char* path, CStringArray& parts);
    // Walks the parts from folder 0; -1 when one is missing or the path has
    // more than KV_REPO_MAX_DEPTH parts ("/" looks for a child "@").
    int FindFolderId(const char* path);
    int FindFolderId(int parent, const char* name);
    // -1 when the folder does not exist (and for the root).
    int FindFolderParentId(int id);
    // "/" for folder 0, else "/name1/name2/"; 0 when a folder on the way is
    // missing or the chain is deeper than KV_REPO_MAX_DEPTH.
    int GetFolderPath(int id, CString& path);

    // --- folders ---
    // Finds or creates every part; the last id, -1 on failure.
    int AddNewFolder(const char* path);
    // Name, label and title all `name`; the new id or -1.
    int AddNewFolder(int parent, const char* name);
    // The record's parent, id and times are set; the new id, 0 on failure.
    int AddNewFolder(int parent, KvWebFolder* folder);
    // Consecutive ids under the bulk lock; rows that fail are skipped.
    int AddNewFolders(int parent, KvObjectArray* folders);
    int FindOrAddNewFolder(int parent, const char* name);
    int GetFolder(int id, KvWebFolder* folder);
    int GetFolder(const char* path, KvWebFolder* folder);
    // Stamps updated-on and rewrites every column.
    int UpdateFolder(KvWebFolder* folder);
    int MoveFolder(int id, int newParent);
    // The folder, its sub-folders, their memberships (and what the
    // repository keeps per folder); the links stay. The root is refused.
    int DeleteFolder(int id);
    CString GetFolderKeywords(int id);
    int SetFolderKeywords(int id, const char* keywords);
    CString GetFolderContent(int id);
    int SetFolderContent(int id, const char* content);
    int GetFolderFlags(int id);
    int SetFolderFlags(int id, int flags);
    int IncrementFolderHits(int id);
    int GetFolderNameAndParent(int id, CString& name, int& parent);
    // Children by order then name; the filter is an SQL condition.
    int PopulateFolder(int parent, KvObjectArray* folders, const char* filter = nullptr);
    // A whole SELECT returning the folder columns.
    int QueryFolder(const char* sql, KvObjectArray* folders);
    // fn for each child; 0 at the first fn answering 0.
    int EnumFolder(int parent, KvFolderEnumProc fn, void* context);

    // The classes of the records that listings create.
    void SetFolderClass(const KvRuntimeClass* cls) { m_pFolderClass = cls; }
    void SetItemClass(const KvRuntimeClass* cls) { m_pItemClass = cls; }

protected:
    explicit KvRepoTree(const KvRepoTreeLayout& layout);

    // --- hooks ---
    virtual bool _ReadFolder(const KvSqlQuery& q, KvWebFolder* folder);
    virtual const char* _GetSqlInsertFolder(KvSqlBuffer& sql, const KvWebFolder& folder);
    virtual const char* _GetSqlUpdateFolder(KvSqlBuffer& sql, const KvWebFolder& folder);
    // A folder was inserted (inside the adding transaction); 0 undoes it.
    virtual int _DoFolderAdded(int /*id*/, const char* /*title*/) { return 1; }
    // A folder is about to be deleted (inside the deleting transaction).
    virtual int _DoFolderDeleting(int /*id*/) { return 1; }

    int _DoCheckRepository() override;
    int _IsRepositoryPresent() override;
    // Makes a new file: the repository's own statements (its folder table
    // and what it keeps per folder), then the tables every tree shares
    // (links, memberships, search profiles and results, the folder name
    // index, the top folder), the speed indexes, and the folder and link id
    // counters. `emptyDate` ("YYYY-MM-DD") is the default of the link and
    // search profile dates, which differs between the repositories' files.
    int _CreateTreeSchema(const char* const* own, int count, const char* emptyDate);

    // --- links, published by each repository under its own names ---
    int FindItemId(const char* url);
    int GetItem(int id, KvLinkItem* item);
    int GetItem(const char* url, KvLinkItem* item);
    // Uploaded-on now, checked-on 1 January 1980, a new id; no membership.
    int AddNewItem(KvLinkItem* item);
    // The stored link of the same URL, or the item added; then the
    // membership.
    int AddNewItem(int folder, KvLinkItem* item);
    int AddNewItem(int folder, const char* url, const char* title, const char* description);
    // Bulk forms under the bulk lock, in one transaction.
    int AddNewItems(int folder, KvObjectArray* items);
    int AddNewSimpleItems(int folder, KvObjectArray* links);
    // Many links (KvLinkItem), each into its own folder (m_nFolder), with
    // compiled statements in one transaction under the bulk lock: a stored
    // URL only gets the membership, a new link keeps its uploaded-on when
    // it has one. The number of links newly stored; -1 on failure, when
    // nothing is kept.
    int ImportItems(KvObjectArray* items);
    int UpdateItem(KvLinkItem* item);
    // Memberships, then the link.
    int DeleteItem(int id);
    // The membership; the link too when this was its last folder.
    int DeleteItemMember(int folder, int id);
    int DeleteAllItemByFolder(int folder);
    // A path that does not exist counts as done.
    int DeleteAllItemByFolder(const char* path);
    // An existing membership counts as added.
    int AddNewMember(int folder, int id);
    int DeleteMember(int folder, int id);
    // Whether the link belongs to the folder.
    bool IsMember(int folder, int id);
    int DeleteAllMemberByItem(int id);
    int GetCountainerCount(int id);
    int GetItemFlags(int id);
    int SetItemFlags(int id, int flags);
    int IncrementItemHits(int id);
    int PopulateItem(int folder, KvObjectArray* items);
    int PopulateItem(int folder, const char* filter, int limit, int offset, KvObjectArray* items);
    int PopulateItemCount(int folder);
    int PopulateItemCount(int folder, const char* filter);
    // Over all links; an empty filter is "item_id > 0".
    int QueryItem(const char* filter, int limit, int offset, KvObjectArray* items);
    int QueryItemCount(const char* filter);
    int QueryItemIds(const char* filter, CUIntArray* ids);
    int EnumItem(int folder, KvItemEnumProc fn, void* context);
    // The folder's links through the format (a default one when null).
    int GenerateLinks(int folder, KvGenBuffer* buffer, KvLinkFormat* format);
    int GenerateLinks(const char* path, KvGenBuffer* buffer, KvLinkFormat* format);

    // --- helpers for the repositories ---
    // A new record of the folder (item) class; null when it is none.
    KvWebFolder* _NewFolderRecord() const;
    KvLinkItem* _NewItemRecord() const;
    // Reads folder rows of a query into the array (emptied first).
    int _ReadFolders(KvSqlQuery& q, KvObjectArray* folders);
    // The integers of the first column of a query; false when it fails.
    bool _GetIds(const char* sql, std::vector<int>& ids);
    // Whether newParent may take the folder id: it exists, is neither the
    // folder nor below it, and its chain reaches the root within the bound.
    bool _IsMoveAllowed(int id, int newParent);

    KvRepoTreeLayout m_layout;
    const KvRuntimeClass* m_pFolderClass;
    const KvRuntimeClass* m_pItemClass;

private:
    int InsertFolder(int parent, const char* name);
    int DeleteFolderTree(int id, int depth, std::set<int>& visited);
    int InsertLinkRow(KvLinkItem* item, const KvTime& uploadOn);
    int ReadItems(KvSqlQuery& q, int folder, KvObjectArray* items);
    // The condition of a folder's links with an optional filter; false when
    // the member list cannot be read. `empty` when the folder has none.
    bool FolderItemCondition(int folder, const char* filter, CString& condition, bool& empty);
};
