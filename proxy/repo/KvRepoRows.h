// The column lists of the repository tables and the readers that turn one
// query row into a record.
//
// A select names the columns of its record's list in this order, so the
// reader can take them by position from column 0. Each reader answers
// false (record untouched) when the row has fewer columns than it needs.
#pragma once

#include "base/time/KvTime.h"

class KvSqlQuery;
class KvWebFolder;
class KvWebFolderRSS;
class KvLinkItem;
class KvWebPage;

// web_folder of link directories and local web sites: 21 columns.
inline constexpr char KV_FOLDER_COLUMNS[] =
    "folder_id, folder_name, folder_label, folder_title, folder_desc, folder_content, folder_keywords, "
    "folder_robots, folder_sidebar, folder_redirect, folder_parent, folder_show, folder_active, folder_order, "
    "folder_flags, folder_hits, read_level, write_level, upload_by, upload_on, update_on";
// web_folder of the feed reader: 27 columns, the feed columns before upload_by.
inline constexpr char KV_FOLDER_RSS_COLUMNS[] =
    "folder_id, folder_name, folder_label, folder_title, folder_desc, folder_content, folder_keywords, "
    "folder_robots, folder_sidebar, folder_redirect, folder_parent, folder_show, folder_active, folder_order, "
    "folder_flags, folder_hits, read_level, write_level, rss_url, rss_copyright, rss_periode, rss_periode_str, "
    "rss_downloading, rss_last_download, upload_by, upload_on, update_on";
// link_item: 17 columns; the second form for a join with link_member.
inline constexpr char KV_LINK_COLUMNS[] =
    "item_id, item_url, item_showas, item_title, item_desc, item_keywords, item_note, item_show, item_active, "
    "item_great, item_rank, item_hits, item_afd, item_flags, upload_by, upload_on, item_checked";
inline constexpr char KV_LINK_JOIN_COLUMNS[] =
    "link_item.item_id, item_url, item_showas, item_title, item_desc, item_keywords, item_note, item_show, "
    "item_active, item_great, item_rank, item_hits, item_afd, item_flags, upload_by, upload_on, item_checked";
// web_page: 26 columns.
inline constexpr char KV_PAGE_COLUMNS[] =
    "page_id, folder_id, page_name, page_label, page_title, page_desc, page_keywords, page_robots, page_author, "
    "page_content, page_seealso, page_seealso_title, page_redirect, page_show, page_active, page_order, "
    "page_type, page_flags, page_rating, page_votes, page_hits, page_external, page_src_desc, upload_by, "
    "upload_on, update_on";

// A time as stored (its day number; 0 for the empty time) and back.
double KvRepoDayNumber(const KvTime& t);
KvTime KvRepoTimeFromDayNumber(double day);

bool ReadFolderRow(const KvSqlQuery& q, KvWebFolder* folder);
bool ReadFolderRSSRow(const KvSqlQuery& q, KvWebFolderRSS* folder);
// A shown URL stored as "(NULL)" reads as empty. m_nFolder is left alone.
bool ReadLinkRow(const KvSqlQuery& q, KvLinkItem* item);
bool ReadPageRow(const KvSqlQuery& q, KvWebPage* page);
