// Inserts and updates of whole folder and link records.
#include "proxy/repo/KvRepoSql.h"

#include "ext/KvSqLite/KvSqlBuffer.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/repo/KvRepoRows.h"

const char* FormatFolderInsert(KvSqlBuffer& sql, const KvWebFolder& f) {
    return sql.Format(
        "insert into web_folder (folder_id, folder_name, folder_label, folder_title, folder_desc, folder_content, "
        "folder_keywords, folder_robots, folder_sidebar, folder_redirect, folder_parent, folder_show, folder_active, "
        "folder_order, folder_flags, folder_hits, read_level, write_level, upload_by, upload_on, update_on)values(%d, "
        "'%q', '%q', '%q', '%q', '%q', '%q', '%q', '%q', '%q', %d, %d, %d, %d, %d, %d, %d, %d, '%q', %f, %f);",
        f.m_nID, f.m_strName.c_str(), f.m_strLabel.c_str(), f.m_strTitle.c_str(), f.m_strDesc.c_str(),
        f.m_strContent.c_str(), f.m_strKeywords.c_str(), f.m_strRobots.c_str(), f.m_strSidebar.c_str(),
        f.m_strRedirect.c_str(), f.m_nParent, f.m_bShow, f.m_bActive, f.m_nOrder, f.m_nFlags, f.m_nHits,
        f.m_nReadLevel, f.m_nWriteLevel, f.m_strUploadBy.c_str(), KvRepoDayNumber(f.m_timeUploadOn),
        KvRepoDayNumber(f.m_timeUpdateOn));
}

const char* FormatFolderRSSInsert(KvSqlBuffer& sql, const KvWebFolderRSS& f) {
    return sql.Format(
        "insert into web_folder (folder_id, folder_name, folder_label, folder_title, folder_desc, folder_content, "
        "folder_keywords, folder_robots, folder_sidebar, folder_redirect, folder_parent, folder_show, folder_active, "
        "folder_order, folder_flags, folder_hits, read_level, write_level, rss_url, rss_copyright, rss_periode, "
        "rss_periode_str, rss_downloading, rss_last_download, upload_by, upload_on, update_on)values(%d, '%q', "
        "'%q', '%q', '%q', '%q', '%q', '%q', '%q', '%q', %d, %d, %d, %d, %d, %d, %d, %d, '%q', '%q', %d, '%q', %d, "
        "%f, '%q', %f, %f);",
        f.m_nID, f.m_strName.c_str(), f.m_strLabel.c_str(), f.m_strTitle.c_str(), f.m_strDesc.c_str(),
        f.m_strContent.c_str(), f.m_strKeywords.c_str(), f.m_strRobots.c_str(), f.m_strSidebar.c_str(),
        f.m_strRedirect.c_str(), f.m_nParent, f.m_bShow, f.m_bActive, f.m_nOrder, f.m_nFlags, f.m_nHits,
        f.m_nReadLevel, f.m_nWriteLevel, f.m_strRssUrl.c_str(), f.m_strRssCopyright.c_str(), f.m_nRssPeriode,
        f.m_strRssPeriodeStr.c_str(), f.m_bRssDownloading, KvRepoDayNumber(f.m_timeRssLastDownload),
        f.m_strUploadBy.c_str(), KvRepoDayNumber(f.m_timeUploadOn), KvRepoDayNumber(f.m_timeUpdateOn));
}

const char* FormatFolderUpdate(KvSqlBuffer& sql, const KvWebFolder& f) {
    return sql.Format(
        "update web_folder set folder_name='%q', folder_label='%q', folder_title='%q', folder_desc='%q', "
        "folder_content='%q', folder_keywords='%q', folder_robots='%q', folder_sidebar='%q', folder_redirect='%q', "
        "folder_parent=%d, folder_show=%d, folder_active=%d, folder_order=%d, folder_flags=%d, folder_hits=%d, "
        "read_level=%d, write_level=%d, upload_by='%q', upload_on=%f, update_on=%f where folder_id=%d",
        f.m_strName.c_str(), f.m_strLabel.c_str(), f.m_strTitle.c_str(), f.m_strDesc.c_str(), f.m_strContent.c_str(),
        f.m_strKeywords.c_str(), f.m_strRobots.c_str(), f.m_strSidebar.c_str(), f.m_strRedirect.c_str(), f.m_nParent,
        f.m_bShow, f.m_bActive, f.m_nOrder, f.m_nFlags, f.m_nHits, f.m_nReadLevel, f.m_nWriteLevel,
        f.m_strUploadBy.c_str(), KvRepoDayNumber(f.m_timeUploadOn), KvRepoDayNumber(f.m_timeUpdateOn), f.m_nID);
}

const char* FormatFolderRSSUpdate(KvSqlBuffer& sql, const KvWebFolderRSS& f) {
    return sql.Format(
        "update web_folder set folder_name='%q', folder_label='%q', folder_title='%q', folder_desc='%q', "
        "folder_content='%q', folder_keywords='%q', folder_robots='%q', folder_sidebar='%q', folder_redirect='%q', "
        "folder_parent=%d, folder_show=%d, folder_active=%d, folder_order=%d, folder_flags=%d, folder_hits=%d, "
        "read_level=%d, write_level=%d, rss_url='%q', rss_copyright='%q', rss_periode=%d, rss_periode_str='%q', "
        "rss_downloading=%d, rss_last_download=%f, upload_by='%q', upload_on=%f, update_on=%f where folder_id=%d",
        f.m_strName.c_str(), f.m_strLabel.c_str(), f.m_strTitle.c_str(), f.m_strDesc.c_str(), f.m_strContent.c_str(),
        f.m_strKeywords.c_str(), f.m_strRobots.c_str(), f.m_strSidebar.c_str(), f.m_strRedirect.c_str(), f.m_nParent,
        f.m_bShow, f.m_bActive, f.m_nOrder, f.m_nFlags, f.m_nHits, f.m_nReadLevel, f.m_nWriteLevel,
        f.m_strRssUrl.c_str(), f.m_strRssCopyright.c_str(), f.m_nRssPeriode, f.m_strRssPeriodeStr.c_str(),
        f.m_bRssDownloading, KvRepoDayNumber(f.m_timeRssLastDownload), f.m_strUploadBy.c_str(),
        KvRepoDayNumber(f.m_timeUploadOn), KvRepoDayNumber(f.m_timeUpdateOn), f.m_nID);
}

const char* FormatLinkInsert(KvSqlBuffer& sql, const KvLinkItem& i) {
    return sql.Format(
        "insert into link_item (item_id, item_url, item_showas, item_title, item_desc, item_keywords, item_note, "
        "item_show, item_active, item_great, item_rank, item_hits, item_afd, item_flags, upload_by, upload_on, "
        "item_checked) values (%d, '%q', '%q', '%q', '%q', '%q', '%q', %d, %d, %d, %d, %d, %d, %d, '%q', %f, %f);",
        i.m_nID, i.m_strUrl.c_str(), i.m_strShowAs.c_str(), i.m_strTitle.c_str(), i.m_strDesc.c_str(),
        i.m_strKeywords.c_str(), i.m_strNote.c_str(), i.m_bShow, i.m_bActive, i.m_bGreat, i.m_nRank, i.m_nHits,
        i.m_nAfd, i.m_nFlags, i.m_strUploadBy.c_str(), KvRepoDayNumber(i.m_timeUploadOn),
        KvRepoDayNumber(i.m_timeChecked));
}

const char* FormatLinkUpdate(KvSqlBuffer& sql, const KvLinkItem& i) {
    return sql.Format(
        "update link_item set item_url='%q', item_showas='%q', item_title='%q', item_desc='%q', item_keywords='%q', "
        "item_note='%q', item_show=%d, item_active=%d, item_great=%d, item_rank=%d, item_hits=%d, item_afd=%d, "
        "item_flags=%d where item_id=%d;",
        i.m_strUrl.c_str(), i.m_strShowAs.c_str(), i.m_strTitle.c_str(), i.m_strDesc.c_str(),
        i.m_strKeywords.c_str(), i.m_strNote.c_str(), i.m_bShow, i.m_bActive, i.m_bGreat, i.m_nRank, i.m_nHits,
        i.m_nAfd, i.m_nFlags, i.m_nID);
}
