// The feed reader's schema, feed folder rows and export.
#include "proxy/repo/KvRepoRSS.h"

#include <iterator>

#include "base/containers/KvObjectArray.h"
#include "ext/KvSqLite/KvSqlBuffer.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/repo/KvRepoRows.h"
#include "proxy/repo/KvRepoSql.h"

IMPLEMENT_DYNCREATE(KvRepoRSS, KvRepoTree)

namespace {

const KvRepoTreeLayout kRSSSpec = {KV_FOLDER_RSS_COLUMNS, "item_rank desc, upload_on desc, item_title", "item_id", 6,
                                 true};

const char* const kSchema[] = {
    "create table web_folder(folder_id int(3) not null,folder_name varchar(255) not null collate nocase,"
    "folder_label varchar(255) not null collate nocase,folder_title varchar(255) not null collate nocase,"
    "folder_desc text collate nocase,folder_content text collate nocase,folder_keywords text collate nocase,"
    "folder_robots varchar(64) not null,folder_sidebar text,folder_redirect varchar(255), folder_parent int(3) not "
    "null,folder_show int(3) not null default 1,folder_active int(3) not null default 1,folder_order int(3) default "
    "9999,folder_flags int(3) default 0,folder_hits int(3) default 0,read_level int(3) not null default "
    "0,write_level int(3) not null default 9,rss_url varchar(255) collate nocase, rss_copyright varchar(255) collate "
    "nocase, rss_periode int(3) not null default 0,rss_periode_str varchar(32) collate nocase, rss_downloading int(3) "
    "not null default 0,rss_last_download datetime not null default '1980-00-01 00:00:00',upload_by varchar(20) not "
    "null default 'admin',upload_on datetime not null default '1980-00-01 00:00:00',update_on datetime not null "
    "default '1980-00-01 00:00:00',primary key (folder_id),unique (folder_parent, folder_name));",
};

}  // namespace

KvRepoRSS::KvRepoRSS() : KvRepoTree(kRSSSpec) { SetFolderClass(RUNTIME_CLASS(KvWebFolderRSS)); }

int KvRepoRSS::_DoInitNewRepository() {
    return _CreateTreeSchema(kSchema, (int)std::size(kSchema), "1980-00-01");
}

bool KvRepoRSS::_ReadFolder(const KvSqlQuery& q, KvWebFolder* folder) {
    if (auto* rss = dynamic_cast<KvWebFolderRSS*>(folder)) return ReadFolderRSSRow(q, rss);
    KvWebFolderRSS row;
    if (!folder || !ReadFolderRSSRow(q, &row)) return false;
    folder->CopyFrom(row);
    return true;
}

const char* KvRepoRSS::_GetSqlInsertFolder(KvSqlBuffer& sql, const KvWebFolder& folder) {
    if (const auto* rss = dynamic_cast<const KvWebFolderRSS*>(&folder)) return FormatFolderRSSInsert(sql, *rss);
    return FormatFolderRSSInsert(sql, KvWebFolderRSS(folder));
}

const char* KvRepoRSS::_GetSqlUpdateFolder(KvSqlBuffer& sql, const KvWebFolder& folder) {
    if (const auto* rss = dynamic_cast<const KvWebFolderRSS*>(&folder)) return FormatFolderRSSUpdate(sql, *rss);
    // A plain folder record has no feed fields to write: only its own.
    return FormatFolderUpdate(sql, folder);
}

int KvRepoRSS::UpdateFolderLastDownload(int id, const KvTime& time) {
    if (!_CanWrite()) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("update web_folder set rss_last_download=%f where folder_id=%d;",
                                     KvRepoDayNumber(time), id)) >= 0;
}

int KvRepoRSS::PopulateFeedFolders(KvObjectArray* folders) {
    KvSqlBuffer sql;
    return QueryFolder(sql.Format("select %s from web_folder where rss_url is not null and rss_url <> '' and "
                                  "rss_url <> '(NULL)' order by folder_id;",
                                  m_layout.folderColumns),
                       folders);
}

int KvRepoRSS::ExportItem(KvLinkItem* item, KvRepoRSS* target, int targetFolder) {
    if (!item || !target) return 0;
    KvLinkItem copy(*item);
    return target->AddNewItem(targetFolder, &copy);
}

int KvRepoRSS::ExportFolder(int folder, KvRepoRSS* target, int targetFolder) {
    if (!target || (target == this && !_IsMoveAllowed(folder, targetFolder))) return 0;
    return ExportTree(folder, target, targetFolder, 0);
}

int KvRepoRSS::ExportTree(int folder, KvRepoRSS* target, int targetFolder, int depth) {
    if (depth >= KV_REPO_MAX_DEPTH) return 0;
    KvObjectArray items, folders;
    if (!PopulateItem(folder, &items) || !PopulateFolder(folder, &folders)) return 0;
    for (int i = 0; i < items.GetSize(); i++) {
        if (!ExportItem(static_cast<KvLinkItem*>(items[i]), target, targetFolder)) return 0;
    }
    for (int i = 0; i < folders.GetSize(); i++) {
        auto* sub = static_cast<KvWebFolder*>(folders[i]);
        int copy = target->FindOrAddNewFolder(targetFolder, sub->m_strName);
        if (copy < 0 || !ExportTree(sub->m_nID, target, copy, depth + 1)) return 0;
    }
    return 1;
}
