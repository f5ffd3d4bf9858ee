// KvWebDB: the database of one local web site: members, advertising
// blocks, stored files and (through KvSqlDBEx) the site's settings. The
// site's repository keeps its own tables in the same file.
//
// A new file gets the engine's tables and two members: the guest (id 0,
// level 0) and the administrator "admin" (id 1, level 9). The
// administrator's first password is drawn at random when the file is
// created; it is written once to the console and to the day's log so that
// the owner can sign in, and kept for the rest of the process in
// GetInitialAdminPassword. Member ids of later members start at 2.
//
// Every operation answers 0 (or an empty result) when the database is not
// open or a record pointer is null. Outside text is always quoted ("%q") or
// bound.
//
// Threads: as KvSqlDB; the owning web object serialises all use.
#pragma once

#include "base/platform/CString.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "proxy/web/KvWebRecords.h"

class KvObjectArray;

class KvWebDB : public KvSqlDBEx {
public:
    KvWebDB() = default;
    ~KvWebDB() override = default;

    // Opens the file; a file that did not exist yet is prepared with
    // InitNewDatabase (in one transaction, so a failure leaves no half-made
    // site). 1 on success.
    int OpenSite(const char* path);
    // The counters and variables of the base, then the engine's tables and
    // seed members. 1 on success.
    int InitNewDatabase() override;
    // The administrator password drawn when this object created a new file;
    // empty otherwise.
    const CString& GetInitialAdminPassword() const { return m_strInitialPassword; }

    // --- members ---
    int GetUserInfo(int id, KvUserInfo* user);
    int GetUserInfo(const char* name, KvUserInfo* user);
    // The stored digest; empty when the member does not exist.
    CString GetUserPassword(int id);
    // Stores the digest of `password` (as sign-in computes it) as the
    // member's. 1 on success.
    int SetUserPassword(int id, const char* password);
    // Gives the member a new id (written back into the record), stamps the
    // registration time and inserts it. 1 on success.
    int AddUser(KvUserInfo* user);
    int UpdateUser(KvUserInfo* user);
    int UpdatePhotoStatus(int id, int flag);
    int IncMemberVisit(int id);
    int IncMemberHits(int id);

    // --- advertising texts, one per key ---
    int PopulateAdvText(KvObjectArray& out);
    int GetAdvText(const char* key, KvAdvText* adv);
    int AddAdvText(KvAdvText* adv);
    // The record may carry a new key: the block is renamed.
    int UpdateAdvText(const char* oldKey, KvAdvText* adv);
    int DeleteAdvText(const char* key);
    int ResetHitsAdvText();

    // --- random advertising texts, several per key ---
    int PopulateAdvRandom(KvObjectArray& out);
    // One block of the key drawn with equal chances; 0 (record untouched)
    // when the key has none.
    int GetAdvRandom(const char* key, KvAdvRandom* adv);
    int GetAdvRandom(int id, KvAdvRandom* adv);
    // Gives the block a new id (written back into the record).
    int AddAdvRandom(KvAdvRandom* adv);
    int UpdateAdvRandom(KvAdvRandom* adv);
    int DeleteAdvRandom(int id);
    int ResetHitsAdvRandom();

    // --- stored files ---
    int AddSimpleFile(KvSimpleFile* file);
    int UpdateSimpleFile(const char* type, const char* path, KvSimpleFile* file);
    // Content byte for byte, read position at its start.
    int GetSimpleFile(const char* type, const char* path, KvSimpleFile* file);
    int IsSimpleFileExist(const char* type, const char* path);
    // Update when it exists, else add.
    int PutSimpleFile(KvSimpleFile* file);
    // Stores a file from disk under a site path "/<folder>/<name>" (the
    // split the static file look-up uses), with the MIME type of its name
    // and the time now. 0 for a path without folder and name, or an
    // unreadable file.
    int PutSimpleFileFromLocalFile(const char* sitePath, const char* localFile);
    // Stores every regular file below the local directory under the site
    // path ("/<folder>/..." ending with "/"), sub-directories as path
    // pieces. Links are skipped, so nothing outside the directory is read;
    // so are files larger than maxFileSize. `count` (when given) gets the
    // number of files stored. 0 when the directory cannot be read or a
    // file cannot be stored (the caller's transaction undoes the rest).
    int CopyLocalPath(const char* localDir, const char* sitePath, long long maxFileSize, int* count = nullptr);
    int DeleteSimpleFile(const char* type, const char* path);
    int DeleteAllSimpleFile(const char* type);

    // Splits "/<folder>/<name>" (leading "/" optional) at the first "/"
    // after the folder; false when either part is empty.
    static bool SplitSitePath(const char* sitePath, CString& folder, CString& name);

protected:
    int CreateTables();
    int SeedMembers();
    // The 18 member columns of a query, in the order of the select.
    void ReadUserData(class KvSqlQuery& q, KvUserInfo* user);
    int QueryUser(const char* sql, KvUserInfo* user);
    int QueryAdvRandom(const char* sql, KvAdvRandom* adv);
    int BindFileData(class KvSqlStatement& st, int first, KvSimpleFile* file);

private:
    CString m_strInitialPassword;
};
