// The pages of a local web site.
#include <vector>

#include "base/containers/KvObjectArray.h"
#include "base/platform/Collections.h"
#include "ext/KvSqLite/KvSqlBuffer.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "proxy/repo/KvRepoLocal.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/repo/KvRepoRows.h"

namespace {

const char kAllPages[] = "page_id > 0";

const char* FormatPageInsert(KvSqlBuffer& sql, const KvWebPage& p) {
    return sql.Format(
        "insert into web_page (page_id, folder_id, page_name, page_label, page_title, page_desc, page_keywords, "
        "page_robots, page_author, page_content, page_seealso, page_seealso_title, page_redirect, page_show, "
        "page_active, page_order, page_type, page_flags, page_rating, page_votes, page_hits, page_external, "
        "page_src_desc, upload_by, upload_on, update_on) values (%d, %d, '%q', '%q', '%q', '%q', '%q', '%q', '%q', "
        "'%q', '%q', '%q', '%q', %d, %d, %d, %d, %d, %f, %d, %d, %d, '%q', '%q', %f, %f);",
        p.m_nID, p.m_nFolder, p.m_strName.c_str(), p.m_strLabel.c_str(), p.m_strTitle.c_str(), p.m_strDesc.c_str(),
        p.m_strKeywords.c_str(), p.m_strRobots.c_str(), p.m_strAuthor.c_str(), p.m_strContent.c_str(),
        p.m_strSeeAlso.c_str(), p.m_strSeeAlsoTitle.c_str(), p.m_strRedirect.c_str(), p.m_bShow, p.m_bActive,
        p.m_nOrder, p.m_nType, p.m_nFlags, (double)p.m_fRating, p.m_nVotes, p.m_nHits, p.m_bExternal,
        p.m_strSrcDesc.c_str(), p.m_strUploadBy.c_str(), KvRepoDayNumber(p.m_timeUploadOn),
        KvRepoDayNumber(p.m_timeUpdateOn));
}

const char* FormatPageUpdate(KvSqlBuffer& sql, const KvWebPage& p) {
    return sql.Format(
        "update web_page set folder_id=%d, page_name='%q', page_label='%q', page_title='%q', page_desc='%q', "
        "page_keywords='%q', page_robots='%q', page_author='%q', page_content='%q', page_seealso='%q', "
        "page_seealso_title='%q', page_redirect='%q', page_show=%d, page_active=%d, page_order=%d, page_type=%d, "
        "page_flags=%d, page_rating=%f, page_votes=%d, page_hits=%d, page_external=%d, page_src_desc='%q', "
        "upload_by='%q', upload_on=%f, update_on=%f where page_id=%d;",
        p.m_nFolder, p.m_strName.c_str(), p.m_strLabel.c_str(), p.m_strTitle.c_str(), p.m_strDesc.c_str(),
        p.m_strKeywords.c_str(), p.m_strRobots.c_str(), p.m_strAuthor.c_str(), p.m_strContent.c_str(),
        p.m_strSeeAlso.c_str(), p.m_strSeeAlsoTitle.c_str(), p.m_strRedirect.c_str(), p.m_bShow, p.m_bActive,
        p.m_nOrder, p.m_nType, p.m_nFlags, (double)p.m_fRating, p.m_nVotes, p.m_nHits, p.m_bExternal,
        p.m_strSrcDesc.c_str(), p.m_strUploadBy.c_str(), KvRepoDayNumber(p.m_timeUploadOn),
        KvRepoDayNumber(p.m_timeUpdateOn), p.m_nID);
}

}  // namespace

int KvRepoLocal::ReadPages(KvSqlQuery& q, KvObjectArray* pages) {
    if (!q.IsValid()) return 0;
    for (; !q.IsEOF(); q.MoveNext()) {
        auto* page = new KvWebPage;
        if (!ReadPageRow(q, page) || pages->Add(page) < 0) {
            delete page;
            return 0;
        }
    }
    return q.HasError() ? 0 : 1;
}

int KvRepoLocal::AddNewPage(int folder, KvWebPage* page) {
    if (!_CanWrite() || !page) return 0;
    page->m_nFolder = folder;
    page->m_nID = m_pDB->GetNewId("web_page");
    if (page->m_nID <= 0) return page->m_nID = 0;
    page->m_timeUploadOn = KvTime::GetCurTime();
    page->m_timeUpdateOn = page->m_timeUploadOn;
    KvSqlBuffer sql;
    if (m_pDB->Execute(FormatPageInsert(sql, *page)) < 0) return page->m_nID = 0;
    return page->m_nID;
}

int KvRepoLocal::GetPage(int id, KvWebPage* page) {
    if (!_CanRead() || !page) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_pDB->ExecQuery(sql.Format("select %s from web_page where page_id=%d;", KV_PAGE_COLUMNS, id));
    return ReadPageRow(q, page) ? 1 : 0;
}

int KvRepoLocal::GetPage(int folder, const char* name, KvWebPage* page) {
    if (!_CanRead() || !page) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_pDB->ExecQuery(sql.Format("select %s from web_page where folder_id=%d and page_name='%q';",
                                               KV_PAGE_COLUMNS, folder, name && *name ? name : "index.html"));
    return ReadPageRow(q, page) ? 1 : 0;
}

int KvRepoLocal::FindPageId(int folder, const char* name) {
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    return m_pDB->ExecScalar(
        sql.Format("select page_id from web_page where folder_id=%d and page_name='%q';", folder, name), 0);
}

int KvRepoLocal::UpdatePage(KvWebPage* page) {
    if (!_CanWrite() || !page) return 0;
    page->m_timeUpdateOn = KvTime::GetCurTime();
    KvSqlBuffer sql;
    return m_pDB->Execute(FormatPageUpdate(sql, *page)) >= 0;
}

int KvRepoLocal::DeletePage(int id) {
    if (!_CanWrite()) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("delete from web_page where page_id=%d;", id)) >= 0;
}

int KvRepoLocal::MovePage(int id, int folder) {
    CString name;
    int parent = -1;
    if (!_CanWrite() || !GetFolderNameAndParent(folder, name, parent)) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("update web_page set folder_id=%d where page_id=%d;", folder, id)) >= 0;
}

CString KvRepoLocal::GetPageKeywords(int id) {
    if (!_CanRead()) return CString();
    KvSqlBuffer sql;
    return m_pDB->ExecQuery(sql.Format("select page_keywords from web_page where page_id=%d;", id)).GetStringField(0);
}

int KvRepoLocal::SetPageKeywords(int id, const char* keywords) {
    if (!_CanWrite()) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("update web_page set page_keywords='%q' where page_id=%d;", keywords, id)) >= 0;
}

int KvRepoLocal::GetPageFlags(int id) {
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    return m_pDB->ExecScalar(sql.Format("select page_flags from web_page where page_id=%d;", id), 0);
}

int KvRepoLocal::SetPageFlags(int id, int flags) {
    if (!_CanWrite()) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("update web_page set page_flags=%d where page_id=%d;", flags, id)) >= 0;
}

CString KvRepoLocal::GetPageContent(int id) {
    if (!_CanRead()) return CString();
    KvSqlBuffer sql;
    return m_pDB->ExecQuery(sql.Format("select page_content from web_page where page_id=%d;", id)).GetStringField(0);
}

int KvRepoLocal::SetPageContent(int id, const char* content) {
    if (!_CanWrite()) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("update web_page set page_content='%q' where page_id=%d;", content, id)) >= 0;
}

int KvRepoLocal::IncrementPageHits(int id) {
    if (!_CanWrite()) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("update web_page set page_hits=page_hits+1 where page_id=%d;", id)) >= 0;
}

int KvRepoLocal::PopulatePage(int folder, KvObjectArray* pages) {
    if (!pages) return 0;
    pages->RemoveAll();
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_pDB->ExecQuery(sql.Format("select %s from web_page where folder_id=%d;", KV_PAGE_COLUMNS, folder));
    return ReadPages(q, pages);
}

int KvRepoLocal::PopulatePage(int folder, const char* filter, int limit, int offset, KvObjectArray* pages) {
    if (!pages) return 0;
    pages->RemoveAll();
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    if (KvRepoIsBlank(filter)) {
        sql.Format("select %s from web_page where (folder_id=%d) order by page_order, page_label limit %d offset %d;",
                   KV_PAGE_COLUMNS, folder, limit, offset);
    } else {
        sql.Format(
            "select %s from web_page where (%s) and (folder_id=%d) order by page_order, page_label limit %d offset %d;",
            KV_PAGE_COLUMNS, filter, folder, limit, offset);
    }
    KvSqlQuery q = m_pDB->ExecQuery(sql);
    return ReadPages(q, pages);
}

int KvRepoLocal::PopulatePageCount(int folder, const char* filter) {
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    if (KvRepoIsBlank(filter)) {
        return m_pDB->ExecScalar(sql.Format("select count(page_id) from web_page where (folder_id=%d);", folder), 0);
    }
    return m_pDB->ExecScalar(
        sql.Format("select count(page_id) from web_page where (%s) and (folder_id=%d);", filter, folder), 0);
}

int KvRepoLocal::QueryPage(const char* filter, int limit, int offset, KvObjectArray* pages) {
    if (!pages) return 0;
    pages->RemoveAll();
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_pDB->ExecQuery(sql.Format(
        "select %s from web_page where (%s) order by page_order, page_label limit %d offset %d;", KV_PAGE_COLUMNS,
        KvRepoIsBlank(filter) ? kAllPages : filter, limit, offset));
    return ReadPages(q, pages);
}

int KvRepoLocal::QueryPageCount(const char* filter) {
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    return m_pDB->ExecScalar(
        sql.Format("select count(page_id) from web_page where (%s);", KvRepoIsBlank(filter) ? kAllPages : filter), 0);
}

int KvRepoLocal::QueryPageIds(const char* filter, CUIntArray* ids) {
    if (!ids) return 0;
    ids->RemoveAll();
    std::vector<int> found;
    KvSqlBuffer sql;
    if (!_CanRead() || !_GetIds(sql.Format("select page_id from web_page where (%s) order by page_id;",
                                           KvRepoIsBlank(filter) ? kAllPages : filter),
                                found)) {
        return 0;
    }
    for (int id : found) ids->Add((UINT)id);
    return 1;
}

int KvRepoLocal::EnumPage(int folder, KvPageEnumProc fn, void* context) {
    KvObjectArray pages;
    if (!fn || !PopulatePage(folder, &pages)) return 0;
    for (int i = 0; i < pages.GetSize(); i++) {
        if (!fn(static_cast<KvWebPage*>(pages[i]), context)) return 0;
    }
    return 1;
}
