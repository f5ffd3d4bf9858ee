// KvSqlQuery: the rows of one SELECT (or any statement returning rows).
//
// Made by KvSqlDB::ExecQuery or KvSqlStatement::ExecQuery and returned by
// value; a query can be moved but not copied. It is positioned on the first
// row when made. Columns count from 0.
//
// Lifetime and threads: a query belongs to the thread that holds its
// database owner's lock and must be finalized (or destroyed) before that
// lock is released. Text and blob pointers handed out stay valid until the
// next MoveNext, Finalize or destruction. A query that outlives the
// database's Close reports end of rows.
//
// Errors: a statement that fails to compile or to run its first step gives
// an invalid query (IsValid() false, IsEOF() true) and leaves the error in
// the database (GetLastError / GetLastErrorMsg). An error on a later step
// ends the rows and sets HasError().
#pragma once

#include "base/platform/CString.h"
#include "base/platform/WinTypes.h"
#include "ext/KvSqLite/KvSqlConn.h"

class KvSqlQuery {
public:
    KvSqlQuery() = default;
    KvSqlQuery(KvSqlQuery&& other) noexcept;
    KvSqlQuery& operator=(KvSqlQuery&& other) noexcept;
    KvSqlQuery(const KvSqlQuery&) = delete;
    KvSqlQuery& operator=(const KvSqlQuery&) = delete;
    ~KvSqlQuery();

    // True when the statement compiled and its first step succeeded (even
    // with no rows).
    BOOL IsValid() const { return m_stmt != nullptr && !m_bError; }
    BOOL IsEOF() const { return m_bEOF; }
    // True when a step after the first failed; the rows were cut short.
    BOOL HasError() const { return m_bError; }
    // Steps to the next row; FALSE at the end or on error.
    BOOL MoveNext();

    int GetNumFields() const;
    const char* GetFieldName(int col) const;
    BOOL IsFieldNull(int col) const;

    // Field readers: `def` when there is no current row, the column is out
    // of range or the value is NULL.
    int GetIntField(int col, int def = 0) const;
    long long GetInt64Field(int col, long long def = 0) const;
    double GetFloatField(int col, double def = 0.0) const;
    CString GetStringField(int col, const char* def = "") const;
    // Raw text of a field, valid until the next step; `def` as above.
    const char* GetTextField(int col, const char* def = "") const;
    // The bytes of a blob (or text) field, valid until the next step;
    // null with length 0 when absent or NULL.
    const unsigned char* GetBlobField(int col, int& length) const;

    // Releases the statement (a borrowed statement is reset instead).
    void Finalize();

private:
    friend class KvSqlDB;
    friend class KvSqlStatement;
    // Takes the compiled statement and runs its first step. `owned` false
    // means the statement belongs to a KvSqlStatement and is only reset.
    KvSqlQuery(KvSqlConnPtr conn, sqlite3_stmt* stmt, bool owned);
    bool HasRow(int col) const;
    void Step();

    KvSqlConnPtr m_conn;
    sqlite3_stmt* m_stmt = nullptr;
    bool m_bOwned = true;
    bool m_bEOF = true;
    bool m_bError = false;
};
