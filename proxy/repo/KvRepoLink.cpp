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
};

}  // namespace

KvRepoLink::KvRepoLink() : KvRepoTree(kLinkSpec) {}

int KvRepoLink::_DoInitNewRepository() {
    return _CreateTreeSchema(kSchema, (int)std::size(kSchema), "1980-01-01");
}
