// KvSqlStatement: a compiled statement with "?" placeholders.
//
// Made by KvSqlDB::CompileStatement and returned by value (movable, not
// copyable). Placeholders count from 1. Values are copied when bound, so
// the caller's buffers may go away before Execute. Binding is the way to
// pass text from outside (request data, file contents): it is never parsed
// as SQL.
//
//     KvSqlStatement st = db.CompileStatement("insert into t (id, data) values (?, ?);");
//     st.Bind(1, id);
//     st.Bind(2, bytes, length);
//     if (st.Execute() < 0) ... db.GetLastErrorMsg() ...
//
// Execute runs the statement to its end and resets it (the bindings stay),
// so it can be bound again and re-run. Reset clears the bindings too.
//
// Lifetime and threads: as KvSqlQuery. A statement that outlives its
// database's Close fails every call with an error.
#pragma once

#include <concepts>

#include "base/platform/WinTypes.h"
#include "ext/KvSqLite/KvSqlConn.h"
#include "ext/KvSqLite/KvSqlQuery.h"

class KvSqlStatement {
public:
    KvSqlStatement() = default;
    KvSqlStatement(KvSqlStatement&& other) noexcept;
    KvSqlStatement& operator=(KvSqlStatement&& other) noexcept;
    KvSqlStatement(const KvSqlStatement&) = delete;
    KvSqlStatement& operator=(const KvSqlStatement&) = delete;
    ~KvSqlStatement();

    BOOL IsValid() const { return m_stmt != nullptr; }
    int GetParamCount() const;

    // Each Bind returns FALSE (and records the error) when the statement is
    // invalid or the index is out of range. Null text binds the empty text.
    BOOL Bind(int index, int value);
    BOOL Bind(int index, double value);
    BOOL Bind(int index, const char* text);
    BOOL Bind(int index, const unsigned char* bytes, int length);
    BOOL Bind(int index, const char* bytes, int length);
    // A blob bound without a copy (for large values): the bytes must stay
    // as they are until the statement has run and is bound again, reset
    // or finalised.
    BOOL BindBorrowed(int index, const unsigned char* bytes, int length);
    // Other integer types (unsigned ids, 64-bit sizes) bind as 64-bit.
    template <std::integral T>
    BOOL Bind(int index, T value) { return BindInt64(index, (long long)value); }
    BOOL BindInt64(int index, long long value);
    BOOL BindNull(int index);

    // Runs the statement to its end: rows changed, or -1 on failure (the
    // error is in the database: 19 when a constraint refused the row).
    [[nodiscard]] int Execute();
    // Runs a statement that returns rows. The query borrows this statement:
    // finish with the query before binding or executing again.
    KvSqlQuery ExecQuery();
    // Rewinds and clears every binding.
    BOOL Reset();
    void Finalize();

private:
    friend class KvSqlDB;
    KvSqlStatement(KvSqlConnPtr conn, sqlite3_stmt* stmt);
    bool CheckBind(int index, int rc);
    BOOL BindBlob(int index, const unsigned char* bytes, int length, bool copy);
    bool Usable();

    KvSqlConnPtr m_conn;
    sqlite3_stmt* m_stmt = nullptr;
};
