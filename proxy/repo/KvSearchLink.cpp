#include "proxy/repo/KvSearchLink.h"

#include <memory>

#include "base/containers/KvObjectArray.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/repo/KvRepoRows.h"

namespace {

const KvSearchTarget kLinks = {"link_item", "item_id", KV_LINK_COLUMNS, "item_rank desc, item_title",
                               "item_rank desc, item_id"};
const KvSearchTarget kPages = {"web_page", "page_id", KV_PAGE_COLUMNS, "page_rating desc, page_title", "page_id"};

}  // namespace

KvSearchLink::KvSearchLink() : KvSearchStore(kLinks) {}

int KvSearchLink::AddNewSearchResult(int id, int item) {
    if (!HasContent()) return 0;
    KvSqlBuffer sql;
    return m_pContentDB->Execute(sql.Format("insert into search_result (se_id, item_id) values (%d, %d);", id, item)) <
                   0
               ? 0
               : 1;
}

int KvSearchLink::_GetSqlPopulateSearchResult(KvSqlBuffer& sql, int id) {
    sql.Format("select %s from link_item INNER JOIN search_result ON link_item.item_id=search_result.item_id where "
               "search_result.se_id=%d order by item_rank desc, item_title;",
               KV_LINK_JOIN_COLUMNS, id);
    return 1;
}

int KvSearchLink::PopulateSearchResult(int id, KvObjectArray* array) {
    if (!array) return 0;
    array->RemoveAll();
    KvSqlBuffer sql;
    if (!HasContent() || !_GetSqlPopulateSearchResult(sql, id)) return 0;
    return _ReadContentRows(sql, array);
}

int KvSearchLink::AddNewSearchProfile(const char* query) {
    int id = KvSearchStore::AddNewSearchProfile(query);
    // A store file made anew counts its ids from 1 again: results recorded
    // under an earlier profile of the same id must not show up here.
    if (id > 0 && HasContent() && m_pContentDB->IsTableExist("search_result")) {
        KvSqlBuffer sql;
        if (m_pContentDB->Execute(sql.Format("delete from search_result where se_id=%d;", id)) < 0) return 0;
    }
    return id;
}

int KvSearchLink::ClearSearchProfiles() {
    int ok = KvSearchStore::ClearSearchProfiles();
    // The recorded results hang on profile ids; ids are never reused, so a
    // row left here (content database read-only) can never reach a new
    // profile.
    if (HasContent() && m_pContentDB->IsTableExist("search_result") &&
        m_pContentDB->Execute("delete from search_result;") < 0) {
        ok = 0;
    }
    return ok;
}

int KvSearchLink::_ReadItemTable(KvSqlQuery& query, KvLinkItem* item) { return ReadLinkRow(query, item) ? 1 : 0; }

KvObject* KvSearchLink::_ReadRecord(KvSqlQuery& query) {
    auto item = std::make_unique<KvLinkItem>();
    return _ReadItemTable(query, item.get()) ? item.release() : nullptr;
}

KvSearchPage::KvSearchPage() : KvSearchStore(kPages) {}

int KvSearchPage::_ReadPageTable(KvSqlQuery& query, KvWebPage* page) { return ReadPageRow(query, page) ? 1 : 0; }

KvObject* KvSearchPage::_ReadRecord(KvSqlQuery& query) {
    auto page = std::make_unique<KvWebPage>();
    return _ReadPageTable(query, page.get()) ? page.release() : nullptr;
}
