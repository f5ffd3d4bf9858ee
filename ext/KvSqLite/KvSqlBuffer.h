// KvSqlBuffer: builds SQL statement text with the engine's own quoting.
//
// Format takes a printf-style format with these conversions:
//   %d %i %u %x %X %o %c (int; "l"/"ll" for long / long long), %lld,
//   %f %e %g (double, always with a full stop), %s (text pasted as is),
//   %q (text with every single quote doubled, for use inside '...'),
//   %Q (the text quoted as a literal, or NULL for a null pointer),
//   %w (text with every double quote doubled, for use inside "..."), %%.
// A null pointer given to %s, %q or %w counts as the empty text.
//
// Only %q, %Q (and binding, see KvSqlStatement) make outside text safe: %s
// is for fragments the program itself wrote (table and column names,
// conditions already formatted with %q).
//
//     KvSqlBuffer sql;
//     db.ExecQuery(sql.Format("select host_id from cache_host where host_name='%q'", host));
//
// The text returned stays valid until the next Format/Fmt* call, Clear or
// destruction of the buffer; arguments may point into the buffer's own
// text (they are read before it changes). It is never null. A buffer belongs to one
// thread.
#pragma once

#include <cstdarg>

class KvSqlBuffer {
public:
    KvSqlBuffer() = default;
    ~KvSqlBuffer() { Clear(); }
    KvSqlBuffer(const KvSqlBuffer&) = delete;
    KvSqlBuffer& operator=(const KvSqlBuffer&) = delete;

    const char* Format(const char* fmt, ...);
    const char* FormatV(const char* fmt, va_list args);
    // Appends to the current text.
    const char* AppendFormat(const char* fmt, ...);

    // "select <columns> from <table> where <condition>;" (no where clause
    // when the condition is empty).
    const char* FmtSelect(const char* table, const char* columns, const char* condition);
    // "insert into <table> (<columns>) values (<values>);"
    const char* FmtInsert(const char* table, const char* columns, const char* values);
    // "delete from <table> where <condition>;" (an empty condition deletes
    // every row of the table).
    const char* FmtDelete(const char* table, const char* condition);

    const char* GetText() const { return m_psz ? m_psz : ""; }
    operator const char*() const { return GetText(); }
    int GetLength() const { return m_nLength; }
    void Clear();

private:
    const char* Build(bool append, const char* fmt, va_list args);

    char* m_psz = nullptr;  // allocated by the engine (sqlite3_free)
    int m_nLength = 0;
};
