// The link directory's schema.
#include "proxy/repo/KvRepoLink.h"

#include <iterator>

#include "ext/KvSqLite/KvSqlDBEx.h"
#include "proxy/repo/KvRepoRows.h"

IMPLEMENT_DYNCREATE(KvRepoLink, KvRepoTree)

namespace {

const KvRepoTreeLayout kLinkSpec = {KV_FOLDER_COLUMNS, "item_rank desc, item_title", "item_rank desc, item_id", 4,
                                  false};

const char* const kSchema[] = {
    "create table web_folder(folder_id int(3) not null,folder_name varchar(255) not null collate nocase,"
    "folder_label varchar(255) not null collate nocase,folder_title varchar(255) not null collate nocase,"
    "folder_desc text collate nocase,folder_content text collate nocase,folder_keywords text collate nocase,"
    "folder_robots varchar(64) not null,folder_sidebar text,folder_redirect varchar(255), folder_parent int(3) not "
    "null,folder_show int(3) not null default 1,folder_active int(3) not null default 1,folder_order int(3) default "
    "9999,folder_flags int(3) default 0,folder_hits int(3) default 0,read_level int(3) not null default "
    "0,write_level int(3) not null default 9,upload_by varchar(20) not null default 'admin',upload_on datetime not "
    "null default '1980-01-01 00:00:00',update_on datetime not null default '1980-01-01 00:00:00',primary key "
    "(folder_id),unique (folder_parent, folder_name));",
    "CREATE TABLE link_member(folder_id int(3) not null, item_id int(3) not null, update_on datetime not null "
    "default '1980-00-01 00:00:00',primary key (folder_id, item_id));",
    "CREATE TABLE link_item(item_id int(3) not null, item_url varchar(255) not null collate nocase, item_showas "
    "varchar(255) collate nocase, item_title varchar(255) collate nocase, item_desc text collate nocase, "
    "item_keywords text collate nocase, item_note varchar(255) collate nocase,item_show int(3) default "
    "0,item_active int(3) default 0,item_great int(3) default 0,item_rank int(3) default 0, item_hits int(3) default "
    "0, item_afd int(3) default 0,item_flags int(3) default 0,item_checked datetime not null default '1980-01-01 "
    "00:00:00',upload_by varchar(20) not null default 'admin',upload_on datetime not null default '1980-01-01 "
    "00:00:00',update_on datetime not null default '1980-01-01 00:00:00',primary key (item_id), unique (item_url));",
    "create table search_profile(se_id     int(3) not null,se_query  varchar(255) collate nocase,se_hits   int(3) "
    "not null default 0,last_search datetime not null default '1980-01-01 00:00:00',primary key (se_id),unique "
    "(se_query));",
    "create table search_result(se_id    int(3) not null,item_id  int(3) not null,primary key (se_id, item_id));",
    "create index web_folder_idx3 on web_folder (folder_name, folder_parent);",
    "insert into web_folder (folder_id, folder_parent, folder_name, folder_label, folder_title, folder_content, "
    "folder_robots, upload_by) values (0, -1, 'Top', 'Top', 'Top', "
    "'<h1>{page_title}</h1>\n{subfolder_list3}\n{link_list}\n{link_form}\n{subfolder_add_form}', 'index, follow', "
    "'admin'); ",
};

}  // namespace

KvRepoLink::KvRepoLink() : KvRepoTree(kLinkSpec) {}

int KvRepoLink::_DoInitNewRepository() {
    return _ExecuteAll(kSchema, (int)std::size(kSchema)) && _ExecuteAll(kSpeedIndexes, kSpeedIndexCount) &&
           m_pDB->InitId("web_folder", 0) && m_pDB->InitId("link_item", 0);
}
