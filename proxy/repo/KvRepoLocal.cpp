// The local web site's schema and what it keeps per folder.
#include "proxy/repo/KvRepoLocal.h"

#include <iterator>

#include "ext/KvSqLite/KvSqlBuffer.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/repo/KvRepoRows.h"

IMPLEMENT_DYNCREATE(KvRepoLocal, KvRepoTree)

namespace {

const KvRepoTreeLayout kLocalSpec = {KV_FOLDER_COLUMNS, "item_rank desc, item_title", "item_rank desc, item_id", 5,
                                   false};

const char kIndexPage[] = "index.html";
const char kIndexContent[] = "<h1>{page_title}</h1>\n{search_form2}\n{subfolder_list3}\n{page_list}";

const char* const kSchema[] = {
    "create table web_folder(folder_id int(3) not null,folder_name varchar(255) not null collate nocase,"
    "folder_label varchar(255) not null collate nocase,folder_title varchar(255) not null collate nocase,"
    "folder_desc text collate nocase,folder_content text collate nocase,folder_keywords text collate nocase,"
    "folder_robots varchar(64) not null,folder_sidebar text,folder_redirect varchar(255), folder_parent int(3) not "
    "null,folder_show int(3) not null default 1,folder_active int(3) not null default 1,folder_order int(3) default "
    "9999,folder_flags int(3) default 0,folder_hits int(3) default 0,read_level int(3) not null default "
    "0,write_level int(3) not null default 9,upload_by varchar(20) not null default 'admin',upload_on datetime not "
    "null default '1980-00-01 00:00:00',update_on datetime not null default '1980-00-01 00:00:00',primary key "
    "(folder_id),unique (folder_parent, folder_name) );",
    "create table web_page(page_id int(3) not null,folder_id int(3) not null,page_name varchar(255) not null collate "
    "nocase,page_label varchar(255) collate nocase,page_title varchar(255) collate nocase,page_desc "
    "text,page_keywords text,page_robots varchar(64) not null,page_author varchar(64) not null,page_content "
    "text,page_seealso_title varchar(255),page_seealso text,page_redirect varchar(255),page_show int(3) not null "
    "default 1,page_active int(3) not null default 1,page_order int(3) not null default 9999,page_type int(3) default "
    "0,page_flags int(3) default 0,page_rating float default '0.0',page_votes int(3) default 0,page_hits int(3) "
    "default 0,page_external int(3) not null default 0,page_src_desc text,upload_by varchar(20),upload_on datetime not "
    "null default '1980-00-01 00:00:00',update_on datetime not null default '1980-00-01 00:00:00',primary key "
    "(page_id),unique (folder_id, page_name) );",
    "insert into web_page (page_id, folder_id, page_name, page_label, page_title, page_author, "
    "page_robots, upload_by, page_content) values (1, 0, 'index.html', 'Top', 'Top', 'admin', 'index, follow', "
    "'admin', '<h1>{page_title}</h1>\n{subfolder_list3}\n{link_list}\n{link_form}\n{subfolder_add_form}');",
};

}  // namespace

KvRepoLocal::KvRepoLocal() : KvRepoTree(kLocalSpec) {}

int KvRepoLocal::_DoInitNewRepository() {
    return _CreateTreeSchema(kSchema, (int)std::size(kSchema), "1980-00-01") && m_pDB->InitId("web_page", 1);
}

int KvRepoLocal::_DoCheckRepository() { return m_pDB->IsTableExist("web_page") && KvRepoTree::_DoCheckRepository(); }

int KvRepoLocal::_DoFolderDeleting(int id) {
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("delete from web_page where folder_id=%d;", id)) >= 0;
}

int KvRepoLocal::_CreateIndexPage(int folder, const char* title) {
    KvWebPage page(kIndexPage, title, "");
    page.m_strContent = kIndexContent;
    page.m_strUploadBy = "admin";
    return AddNewPage(folder, &page);
}
