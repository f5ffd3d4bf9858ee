// KvSqlConn: the state one open connection shares with its queries and
// statements (internal to the SQL library; callers never include it).
//
// A KvSqlDB owns its connection through a shared pointer and hands the same
// pointer to every KvSqlQuery and KvSqlStatement it makes. Closing the
// database closes the handle with sqlite3_close_v2 and clears `db`; objects
// made earlier then see a closed connection, refuse work with an error, and
// can still finalize their statements safely.
#pragma once

#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

struct KvSqlConn {
    sqlite3* db = nullptr;
    int lastError = 0;
    std::string lastErrorMsg;
    bool verbose = false;
    int txDepth = 0;           // open Begin calls (outermost BEGIN, inner SAVEPOINTs)
    bool txOuterIsSavepoint = false;  // level 1 joined a transaction begun by hand
    bool sysTablesReady = false;  // id counter and variable tables known to exist

    bool IsOpen() const { return db != nullptr; }

    void ClearError() {
        lastError = 0;
        lastErrorMsg.clear();
    }
    // Records `code` with the connection's current message (or the generic
    // text of the code when the connection has none).
    void SetErrorFromDb(int code);
    void SetError(int code, const char* msg);
    // Writes "SQL: text" to the log sink when verbose.
    void Trace(const char* sql) const;
    void Log(const char* what, const char* text) const;
};

typedef std::shared_ptr<KvSqlConn> KvSqlConnPtr;

// The library's log line sink (stderr by default); see KvSqlDB::SetLogSink.
void KvSqlWriteLog(const char* line);
