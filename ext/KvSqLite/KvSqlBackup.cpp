#include "ext/KvSqLite/KvSqlBackup.h"

#include <sqlite3.h>

#include <string>

#include "base/platform/FileIo.h"

namespace {

// Owns one connection for the length of a copy.
class Connection {
public:
    Connection(const char* path, int flags, int busyMs) {
        m_rc = sqlite3_open_v2(KvNativePath(path).c_str(), &m_db, flags | SQLITE_OPEN_FULLMUTEX, nullptr);
        if (m_rc == SQLITE_OK) sqlite3_busy_timeout(m_db, busyMs);
    }
    ~Connection() { sqlite3_close_v2(m_db); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool Ok() const { return m_rc == SQLITE_OK; }
    sqlite3* Handle() const { return m_db; }
    std::string Message() const { return m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(m_rc); }

private:
    sqlite3* m_db = nullptr;
    int m_rc = SQLITE_ERROR;
};

int Fail(CString* error, const char* path, const std::string& why) {
    if (error) *error = CString(path ? path : "") + ": " + why.c_str();
    return 0;
}

}  // namespace

int KvSqlCopyDatabase(const char* source, const char* target, CString* error, int busyMs) {
    if (!source || !*source || !target || !*target) return Fail(error, "", "no database file named");
    Connection from(source, SQLITE_OPEN_READONLY, busyMs);
    if (!from.Ok()) return Fail(error, source, from.Message());
    // The target is never created here: the caller made it exclusively.
    Connection to(target, SQLITE_OPEN_READWRITE, busyMs);
    if (!to.Ok()) return Fail(error, target, to.Message());
    sqlite3_backup* backup = sqlite3_backup_init(to.Handle(), "main", from.Handle(), "main");
    if (!backup) return Fail(error, target, to.Message());
    // All pages in one step: the source is read in one snapshot.
    const int step = sqlite3_backup_step(backup, -1);
    const int finish = sqlite3_backup_finish(backup);
    if (step != SQLITE_DONE) return Fail(error, source, sqlite3_errstr(step));
    if (finish != SQLITE_OK) return Fail(error, target, to.Message());
    return 1;
}
