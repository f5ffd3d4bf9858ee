// KvSqlBuffer: builds SQL statement text with the engine's own quoting.
//
// Format takes a printf-style format with these conversions:
//   %d %i %u %x %X %o %c (int; "l"/"ll" for long / long long), %lld,
//   %f %e %g (double, always with a full stop), %s (text pasted as is),
//   %q (text with every single quote doubled, for use inside '...'),
//   %Q (the text quoted as a literal, or NULL for a null pointer),
//   %w (text with every double quote doubled, for use inside "..."), %%.
// A null pointer given to %s, %q or %w counts as the empty text. A format
// literal is checked against the arguments when it is compiled (see
// base/str/KvFormatCheck.h); FormatV takes a format made at run time, in
// which an unknown conversion ends the formatting: the rest of the format
// is appended as it is.
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
#include <cstddef>
#include <type_traits>

#include "base/str/KvFormatCheck.h"

// A SQL format literal checked against the types Args when compiled.
template <class... Args>
struct KvSqlFormat {
    template <size_t N>
    consteval KvSqlFormat(const char (&format)[N]) : text(format) {
        if (!KvPrintfFits<Args...>(format, "sqQw")) kv_format::FormatDoesNotFitItsArguments();
    }
    const char* text;
};

class KvSqlBuffer {
public:
    KvSqlBuffer() = default;
    ~KvSqlBuffer() { Clear(); }
    KvSqlBuffer(const KvSqlBuffer&) = delete;
    KvSqlBuffer& operator=(const KvSqlBuffer&) = delete;

    template <class... Args>
    const char* Format(KvSqlFormat<std::type_identity_t<Args>...> fmt, Args... args) {
        return BuildFormatted(false, fmt.text, args...);
    }
    const char* FormatV(const char* fmt, va_list args);
    // Appends to the current text.
    template <class... Args>
    const char* AppendFormat(KvSqlFormat<std::type_identity_t<Args>...> fmt, Args... args) {
        return BuildFormatted(true, fmt.text, args...);
    }

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
    const char* BuildFormatted(bool append, const char* fmt, ...);

    char* m_psz = nullptr;  // allocated by the engine (sqlite3_free)
    int m_nLength = 0;
};
