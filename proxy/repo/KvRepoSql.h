// The statements that write whole records: inserts and updates of folders,
// feed folders and links, every text quoted with "%q" and every time as
// its day number.
#pragma once

class KvSqlBuffer;
class KvWebFolder;
class KvWebFolderRSS;
class KvLinkItem;

// All 21 (27 for a feed folder) columns, folder_id included.
const char* FormatFolderInsert(KvSqlBuffer& sql, const KvWebFolder& f);
const char* FormatFolderRSSInsert(KvSqlBuffer& sql, const KvWebFolderRSS& f);
// Every column but folder_id, for the folder's id.
const char* FormatFolderUpdate(KvSqlBuffer& sql, const KvWebFolder& f);
const char* FormatFolderRSSUpdate(KvSqlBuffer& sql, const KvWebFolderRSS& f);
// The 17 link columns.
const char* FormatLinkInsert(KvSqlBuffer& sql, const KvLinkItem& item);
// Every column but the id, uploaded by, uploaded on and checked on.
const char* FormatLinkUpdate(KvSqlBuffer& sql, const KvLinkItem& item);
