// Reading repository rows into records, column by column.
#include "proxy/repo/KvRepoRows.h"

#include "ext/KvSqLite/KvSqlQuery.h"
#include "proxy/repo/KvRepoRecords.h"

double KvRepoDayNumber(const KvTime& t) { return t.IsEmpty() ? 0.0 : t.GetDayNumber(); }

KvTime KvRepoTimeFromDayNumber(double day) {
    KvTime t;
    if (day != 0.0) t.SetTime(day);
    return t;
}

namespace {

bool HasColumns(const KvSqlQuery& q, int count) { return !q.IsEOF() && q.GetNumFields() >= count; }

// The 18 columns that both folder forms start with.
void ReadFolderHead(const KvSqlQuery& q, KvWebFolder* f) {
    f->m_nID = q.GetIntField(0);
    f->m_strName = q.GetStringField(1);
    f->m_strLabel = q.GetStringField(2);
    f->m_strTitle = q.GetStringField(3);
    f->m_strDesc = q.GetStringField(4);
    f->m_strContent = q.GetStringField(5);
    f->m_strKeywords = q.GetStringField(6);
    f->m_strRobots = q.GetStringField(7);
    f->m_strSidebar = q.GetStringField(8);
    f->m_strRedirect = q.GetStringField(9);
    f->m_nParent = q.GetIntField(10);
    f->m_bShow = q.GetIntField(11);
    f->m_bActive = q.GetIntField(12);
    f->m_nOrder = q.GetIntField(13);
    f->m_nFlags = q.GetIntField(14);
    f->m_nHits = q.GetIntField(15);
    f->m_nReadLevel = q.GetIntField(16);
    f->m_nWriteLevel = q.GetIntField(17);
}

void ReadFolderTail(const KvSqlQuery& q, int col, KvWebFolder* f) {
    f->m_strUploadBy = q.GetStringField(col);
    f->m_timeUploadOn = KvRepoTimeFromDayNumber(q.GetFloatField(col + 1));
    f->m_timeUpdateOn = KvRepoTimeFromDayNumber(q.GetFloatField(col + 2));
}

}  // namespace

bool ReadFolderRow(const KvSqlQuery& q, KvWebFolder* folder) {
    if (!folder || !HasColumns(q, 21)) return false;
    ReadFolderHead(q, folder);
    ReadFolderTail(q, 18, folder);
    return true;
}

bool ReadFolderRSSRow(const KvSqlQuery& q, KvWebFolderRSS* folder) {
    if (!folder || !HasColumns(q, 27)) return false;
    ReadFolderHead(q, folder);
    folder->m_strRssUrl = q.GetStringField(18);
    folder->m_strRssCopyright = q.GetStringField(19);
    folder->m_nRssPeriode = q.GetIntField(20);
    folder->m_strRssPeriodeStr = q.GetStringField(21);
    folder->m_bRssDownloading = q.GetIntField(22);
    folder->m_timeRssLastDownload = KvRepoTimeFromDayNumber(q.GetFloatField(23));
    ReadFolderTail(q, 24, folder);
    return true;
}

bool ReadLinkRow(const KvSqlQuery& q, KvLinkItem* item) {
    if (!item || !HasColumns(q, 17)) return false;
    item->m_nID = q.GetIntField(0);
    item->m_strUrl = q.GetStringField(1);
    item->m_strShowAs = q.GetStringField(2);
    if (item->m_strShowAs == "(NULL)") item->m_strShowAs.Empty();
    item->m_strTitle = q.GetStringField(3);
    item->m_strDesc = q.GetStringField(4);
    item->m_strKeywords = q.GetStringField(5);
    item->m_strNote = q.GetStringField(6);
    item->m_bShow = q.GetIntField(7);
    item->m_bActive = q.GetIntField(8);
    item->m_bGreat = q.GetIntField(9);
    item->m_nRank = q.GetIntField(10);
    item->m_nHits = q.GetIntField(11);
    item->m_nAfd = q.GetIntField(12);
    item->m_nFlags = q.GetIntField(13);
    item->m_strUploadBy = q.GetStringField(14);
    item->m_timeUploadOn = KvRepoTimeFromDayNumber(q.GetFloatField(15));
    item->m_timeChecked = KvRepoTimeFromDayNumber(q.GetFloatField(16));
    return true;
}

bool ReadPageRow(const KvSqlQuery& q, KvWebPage* page) {
    if (!page || !HasColumns(q, 26)) return false;
    page->m_nID = q.GetIntField(0);
    page->m_nFolder = q.GetIntField(1);
    page->m_strName = q.GetStringField(2);
    page->m_strLabel = q.GetStringField(3);
    page->m_strTitle = q.GetStringField(4);
    page->m_strDesc = q.GetStringField(5);
    page->m_strKeywords = q.GetStringField(6);
    page->m_strRobots = q.GetStringField(7);
    page->m_strAuthor = q.GetStringField(8);
    page->m_strContent = q.GetStringField(9);
    page->m_strSeeAlso = q.GetStringField(10);
    page->m_strSeeAlsoTitle = q.GetStringField(11);
    page->m_strRedirect = q.GetStringField(12);
    page->m_bShow = q.GetIntField(13);
    page->m_bActive = q.GetIntField(14);
    page->m_nOrder = q.GetIntField(15);
    page->m_nType = q.GetIntField(16);
    page->m_nFlags = q.GetIntField(17);
    page->m_fRating = (float)q.GetFloatField(18);
    page->m_nVotes = q.GetIntField(19);
    page->m_nHits = q.GetIntField(20);
    page->m_bExternal = q.GetIntField(21);
    page->m_strSrcDesc = q.GetStringField(22);
    page->m_strUploadBy = q.GetStringField(23);
    page->m_timeUploadOn = KvRepoTimeFromDayNumber(q.GetFloatField(24));
    page->m_timeUpdateOn = KvRepoTimeFromDayNumber(q.GetFloatField(25));
    return true;
}
