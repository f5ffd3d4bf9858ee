// KvSearchLink and KvSearchPage: the search stores of link directories
// (and feed readers) and of local web sites. See KvSearchStore for the
// profiles and how a site keeps them fresh.
#pragma once

#include "base/platform/Collections.h"
#include "proxy/repo/KvSearchStore.h"

class KvLinkItem;
class KvWebPage;

// Results are rows of link_item, read as KvLinkItem, best rank first.
class KvSearchLink : public KvSearchStore {
public:
    KvSearchLink();

    // Records one result id of the profile in the content database's
    // search_result table (the form read by PopulateSearchResult(id, array)).
    int AddNewSearchResult(int id, int item);
    // Every link recorded with AddNewSearchResult for the profile.
    int PopulateSearchResult(int id, KvObjectArray* array);
    using KvSearchStore::PopulateSearchResult;

    // Also drops results recorded under the new id earlier.
    int AddNewSearchProfile(const char* query) override;
    // Also empties the content database's search_result table.
    int ClearSearchProfiles() override;

protected:
    virtual int _GetSqlPopulateSearchResult(KvSqlBuffer& sql, int id);
    using KvSearchStore::_GetSqlPopulateSearchResult;
    virtual int _ReadItemTable(KvSqlQuery& query, KvLinkItem* item);
    KvObject* _ReadRecord(KvSqlQuery& query) override;
};

// Results are rows of web_page, read as KvWebPage, best rating first.
class KvSearchPage : public KvSearchStore {
public:
    KvSearchPage();

protected:
    virtual int _ReadPageTable(KvSqlQuery& query, KvWebPage* page);
    KvObject* _ReadRecord(KvSqlQuery& query) override;
};
