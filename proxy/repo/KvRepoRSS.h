// KvRepoRSS: the store of the feed reader: a tree of feed folders
// (KvWebFolderRSS: a folder with its feed URL and refresh state) and the
// downloaded feed items as links, put into folders by memberships.
//
// The tree and link operations are those of KvRepoTree, published under
// the reader's names. A folder's items list highest rank first, then the
// newest first, then by title. The bulk inserts hold system lock 6 and keep
// each item's own uploaded-on (the feed's date for the item).
#pragma once

#include "proxy/repo/KvRepoTree.h"

class KvTime;

class KvRepoRSS : public KvRepoTree {
    DECLARE_DYNCREATE(KvRepoRSS)
public:
    KvRepoRSS();
    ~KvRepoRSS() override = default;

    KV_REPO_TREE_PUBLISH_ITEMS

    // Records when the folder's feed was last downloaded.
    int UpdateFolderLastDownload(int id, const KvTime& time);
    // Every folder that names a feed, by id.
    int PopulateFeedFolders(KvObjectArray* folders);

    // Copies the folder's items into targetFolder of target, then each
    // sub-folder into a folder of the same name there (found or made), to
    // KV_REPO_MAX_DEPTH levels. A copy into the folder's own tree is
    // refused. 0 at the first item or folder that fails.
    int ExportFolder(int folder, KvRepoRSS* target, int targetFolder);
    // One item into targetFolder of target (its stored link when the URL
    // is known there).
    virtual int ExportItem(KvLinkItem* item, KvRepoRSS* target, int targetFolder);

protected:
    int _DoInitNewRepository() override;
    // Feed folders have 27 columns; a plain folder record reads and writes
    // its folder fields only.
    bool _ReadFolder(const KvSqlQuery& q, KvWebFolder* folder) override;
    const char* _GetSqlInsertFolder(KvSqlBuffer& sql, const KvWebFolder& folder) override;
    const char* _GetSqlUpdateFolder(KvSqlBuffer& sql, const KvWebFolder& folder) override;

private:
    int ExportTree(int folder, KvRepoRSS* target, int targetFolder, int depth);
};
