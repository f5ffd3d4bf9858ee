// KvSearchStore: remembered searches of one site (the base of KvSearchLink
// and KvSearchPage).
//
// The first search for a query text computes the matching ids once and
// stores them under a search profile (at most KV_SEARCH_MAX_RESULTS ids);
// later requests for the same text, every result page included, read the
// stored ids and fetch those rows from the site's content database.
//
// The store is its own small database file (its owner names it, e.g.
// "<base>/Temp/<site>.srt"); the content database is the site's, set by
// the owner and not owned here.
//
// Profiles go stale the moment the site's content changes, so the owning
// site calls ClearSearchProfiles whenever a folder, link, page or item is
// added, edited, moved or deleted: a remembered search never hides
// content.
//
// SQL: query texts are quoted with "%q" or bound; stored id lists are
// parsed and formatted again before they are spliced into "in(...)"
// (KvSearchIdList.h). Filters are conditions the site built itself (with
// SearchQueryBuilder); an empty filter means "no filter" when reading a
// profile's rows, while an empty search condition matches nothing.
//
// Threads: as KvSqlDB, used under the owning web object's lock.
#pragma once

#include "base/platform/CString.h"
#include "base/platform/Collections.h"
#include "ext/KvSqLite/KvSqlBuffer.h"
#include "ext/KvSqLite/KvSqlDBEx.h"

class KvObject;
class KvObjectArray;

// The content table a store reads its rows from.
struct KvSearchTarget {
    const char* table;      // "link_item"
    const char* idColumn;   // "item_id"
    const char* columns;    // the record's columns, in its reader's order
    const char* order;      // order of result pages
    const char* idsOrder;   // order of the ids stored by a search
};

class KvSearchStore : public KvSqlDBEx {
public:
    explicit KvSearchStore(const KvSearchTarget& target) : m_target(target) {}
    ~KvSearchStore() override = default;

    // The site's database the result rows come from (not owned).
    void SetContentDatabase(KvSqlDB* db) { m_pContentDB = db; }
    KvSqlDB* GetContentDatabase() const { return m_pContentDB; }

    // Opens the store's file, creating it and its table when missing. 1 on
    // success; 0 leaves the store closed.
    int OpenStore(const char* path);
    // The counter and variable tables, the profile table and its counter.
    int InitNewDatabase() override;

    // The profile id of the query text, or a value below 1 when none.
    int FindSearchProfile(const char* query);
    // A new profile for the text (no ids yet): its id, 0 on failure (also
    // when the text has a profile already).
    virtual int AddNewSearchProfile(const char* query);
    // Stores the first KV_SEARCH_MAX_RESULTS ids as the profile's result.
    // 1 on success.
    int AddNewSearchResults(int id, const CUIntArray& ids);

    // The profile of the query text, made when missing from the content rows
    // that match `condition` (profile and ids are stored together or not at
    // all). 0 for an empty query, an empty condition (nothing matches) or a
    // failure.
    int FindOrCreateSearchProfile(const char* query, const char* condition);

    // The stored number of ids.
    int PopulateSearchResultCount(int id);
    // How many of the stored ids' rows match the filter (all when empty).
    int PopulateSearchResultCount(int id, const char* filter);
    // One page of the stored ids' rows that match the filter, in result
    // order, as new records in array (emptied first). 1 on success; 0 when
    // a statement fails or a row cannot be read.
    int PopulateSearchResult(int id, const char* filter, int limit, int offset, KvObjectArray* array);

    // Deletes every profile (and what hangs on them). 1 on success.
    virtual int ClearSearchProfiles();

    // The profile's id list as stored, parsed and formatted again.
    CString GetSearchResultIds(int id);

protected:
    virtual int _GetSqlPopulateSearchResult(KvSqlBuffer& sql, int id, const char* filter, int limit, int offset);
    virtual int _GetSqlPopulateSearchResultCount(KvSqlBuffer& sql, int id, const char* filter);
    virtual int _GetSqlPopulateSearchResultCount(KvSqlBuffer& sql, int id);
    // A new record read from the query's current row; null when it fails.
    virtual KvObject* _ReadRecord(KvSqlQuery& query) = 0;

    // Runs sql on the content database and appends a record per row to
    // array (emptied first). 1 on success, 0 at the first failure.
    int _ReadContentRows(const char* sql, KvObjectArray* array);
    // "(<filter>) and (<id> in(<ids>))", or without the filter when empty.
    CString _GetIdCondition(int id, const char* filter);
    bool HasContent() const { return m_pContentDB && m_pContentDB->IsOpen(); }

    KvSearchTarget m_target;
    KvSqlDB* m_pContentDB = nullptr;
};
