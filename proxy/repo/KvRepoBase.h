// KvRepoBase: what every repository shares: the database it works on, the
// open, read-only, verbose and busy time-out settings, and the open/create
// protocol with its two hooks.
//
// The database is not owned: the web object that owns the repository sets
// its own site database (SetDatabase) before opening, and both keep their
// tables in the same file.
//
// Open(file):
//   - is serialised across threads and processes by system lock 7, so two
//     openers cannot both create the schema of one new file;
//   - a file that does not exist yet (or exists without this repository's
//     tables, such as a site database made a moment before) gets the whole
//     schema (_DoInitNewRepository) in one transaction: when any statement
//     fails nothing is kept, and a file this call made is removed, so the
//     next start never takes a half-made file for a valid one;
//   - an existing file is checked (_DoCheckRepository); one that fails the
//     check is reported with an English log line and the repository stays
//     closed;
//   - a read-only repository never creates a file or a schema.
// Create(file) makes the schema the same way without testing for the file.
// Close() closes the database and clears the open flag.
//
// Busy time-out: 5 s, as the cache stores: a request waits at most that
// long behind another writer and then fails (the caller answers with an
// error page) instead of hanging.
//
// Threads: Open is serialised by system lock 7; every other use relies on
// the owning web object's lock (one request at a time per repository).
#pragma once

#include "base/platform/Object.h"
#include "base/platform/WinTypes.h"

class KvSqlDBEx;

// Walks up or down a folder tree never go deeper than this: a damaged
// parent chain (a cycle) must not loop a request forever.
inline constexpr int KV_REPO_MAX_DEPTH = 64;
inline constexpr int KV_REPO_BUSY_TIMEOUT = 5000;

class KvRepoBase : public CObject {
    DECLARE_DYNCREATE(KvRepoBase)
public:
    KvRepoBase() = default;
    ~KvRepoBase() override = default;
    KvRepoBase(const KvRepoBase&) = delete;
    KvRepoBase& operator=(const KvRepoBase&) = delete;

    // 1 when the repository is open on the file.
    int Open(const char* file);
    int Create(const char* file);
    // Always 1.
    int Close();

    BOOL IsOpen() const { return m_bOpen; }
    BOOL IsReadOnly() const { return m_bReadOnly; }
    BOOL IsVerbose() const { return m_bVerbose; }
    int GetBusyTimeout() const { return m_nBusyTimeout; }
    // Stored, and passed on at once when a database is set.
    void SetReadOnly(BOOL flag);
    void SetVerbose(BOOL flag);
    void SetBusyTimeout(int ms);

    void SetDatabase(KvSqlDBEx* db) { m_pDB = db; }
    KvSqlDBEx* GetDatabase() const { return m_pDB; }

protected:
    // Validates an existing file; 1 accepts it.
    virtual int _DoCheckRepository() { return 1; }
    // Creates the schema in a new file (inside the caller's transaction);
    // 1 on success.
    virtual int _DoInitNewRepository() { return 1; }
    // Whether the open file already holds this repository's tables. The
    // base cannot tell and says yes.
    virtual int _IsRepositoryPresent() { return 1; }

    // Runs the statements in order; 0 at the first that fails.
    int _ExecuteAll(const char* const* statements, int count);
    // A write may go ahead: open, writable, with a database.
    bool _CanWrite() const { return m_bOpen && !m_bReadOnly && m_pDB; }
    bool _CanRead() const { return m_bOpen && m_pDB; }

    int m_bOpen = 0;
    int m_bReadOnly = 0;
    int m_bVerbose = 0;
    int m_nBusyTimeout = KV_REPO_BUSY_TIMEOUT;
    KvSqlDBEx* m_pDB = nullptr;

private:
    // reused: the database was open on the file already (the owner's).
    bool OpenDatabase(const char* file, bool& reused);
    void PassSettings();
    // The schema in one transaction: all of it or nothing.
    int InitInTransaction(const char* file);
    // After a failed open: closes a connection this call opened and removes
    // a file that did not exist before.
    void GiveUp(const char* file, bool existed, bool reused);
};
