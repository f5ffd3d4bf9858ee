// KvRepoKavori: the portal's own store, kept in the portal's site database
// file: the advertising items other pages show and link through the
// portal (table advitem).
//
// Every text is bound to its statement, never pasted into SQL. Ids are
// given by the table (never reused after a delete).
//
// Threads: used under the portal's lock only.
#pragma once

#include "base/containers/KvObjectArray.h"
#include "proxy/repo/KvPortalRecords.h"
#include "proxy/repo/KvRepoBase.h"

class KvRepoKavori : public KvRepoBase {
    DECLARE_DYNCREATE(KvRepoKavori)
public:
    KvRepoKavori() = default;

    // Every item by id, as new KvAdvItems appended to `items` (owned by
    // the array). The count appended, -1 on failure.
    int GetAdvItems(KvObjectArray& items);
    // 1 with `item` filled when the id exists.
    int GetAdvItem(int id, KvAdvItem* item);
    // Stores a new item; its id (also set in `item`), 0 on failure.
    int AddAdvItem(KvAdvItem* item);
    // Stores every field of an existing item; 1 when a row changed.
    int UpdateAdvItem(const KvAdvItem& item);
    // 1 when the item was there.
    int DeleteAdvItem(int id);
    // One more click-through.
    int CountAdvHit(int id);

protected:
    int _DoInitNewRepository() override;
    int _IsRepositoryPresent() override;
};
