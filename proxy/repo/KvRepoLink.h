// KvRepoLink: the store of a link directory: a folder tree, links, and the
// memberships that put links into folders (a link may sit in several).
//
// Folder operations come from KvRepoTree; the link operations are
// published here under the directory's names. Records are created through
// the folder and item classes (KvWebFolder and KvLinkItem unless a derived
// store sets its own). Links of a folder list highest rank first, then by
// title. Bulk inserts hold system lock 4.
#pragma once

#include "proxy/repo/KvRepoTree.h"

class KvRepoLink : public KvRepoTree {
    DECLARE_DYNCREATE(KvRepoLink)
public:
    KvRepoLink();
    ~KvRepoLink() override = default;

    KV_REPO_TREE_PUBLISH_ITEMS

protected:
    // The directory's tables, indexes and root folder.
    int _DoInitNewRepository() override;
};
