#include "ext/KvSqLite/KvSqlBuffer.h"

#include <sqlite3.h>

#include <cctype>
#include <cstring>

namespace {

// One conversion's format ("%-08.3" followed by length and letter),
// rebuilt so that the engine formats a single value.
struct ConversionText {
    char text[48];
    int len = 0;
    void Add(char c) {
        if (len < (int)sizeof text - 1) text[len++] = c;
        text[len] = '\0';
    }
    void AddNumber(int n) {
        char digits[16];
        sqlite3_snprintf(sizeof digits, digits, "%d", n);
        for (const char* d = digits; *d; d++) Add(*d);
    }
};

// Formats `fmt` into `out`, one conversion at a time, so that every
// argument is read with its true type and null text never prints "(NULL)".
// At a conversion it does not know, the rest of the format is appended as
// it is and no further argument is read.
void FormatInto(sqlite3_str* out, const char* fmt, va_list ap) {
    va_list args;
    va_copy(args, ap);
    const char* p = fmt ? fmt : "";
    while (*p) {
        const char* pct = std::strchr(p, '%');
        if (!pct) {
            sqlite3_str_appendall(out, p);
            break;
        }
        sqlite3_str_append(out, p, (int)(pct - p));
        const char* q = pct + 1;
        ConversionText conversion;
        conversion.Add('%');
        while (*q && std::strchr("-+ #0!,", *q)) conversion.Add(*q++);
        if (*q == '*') {
            conversion.AddNumber(va_arg(args, int));
            q++;
        } else {
            while (std::isdigit((unsigned char)*q)) conversion.Add(*q++);
        }
        if (*q == '.') {
            q++;
            if (*q == '*') {
                int precision = va_arg(args, int);
                if (precision >= 0) {
                    conversion.Add('.');
                    conversion.AddNumber(precision);
                }
                q++;
            } else {
                conversion.Add('.');
                while (std::isdigit((unsigned char)*q)) conversion.Add(*q++);
            }
        }
        int longs = 0;
        while (*q == 'l' || *q == 'h') {
            if (*q == 'l') longs++;
            q++;
        }
        char conv = *q;
        switch (conv) {
        case 'd': case 'i': case 'u': case 'x': case 'X': case 'o': {
            bool isUnsigned = conv != 'd' && conv != 'i';
            sqlite3_int64 v;
            if (longs >= 2) {
                v = va_arg(args, long long);
            } else if (longs == 1) {
                long l = va_arg(args, long);
                v = isUnsigned ? (sqlite3_int64)(unsigned long)l : (sqlite3_int64)l;
            } else {
                int i = va_arg(args, int);
                v = isUnsigned ? (sqlite3_int64)(unsigned int)i : (sqlite3_int64)i;
            }
            conversion.Add('l');
            conversion.Add('l');
            conversion.Add(conv);
            sqlite3_str_appendf(out, conversion.text, v);
            break;
        }
        case 'c':
            conversion.Add('c');
            sqlite3_str_appendf(out, conversion.text, va_arg(args, int));
            break;
        case 'f': case 'e': case 'E': case 'g': case 'G':
            conversion.Add(conv);
            sqlite3_str_appendf(out, conversion.text, va_arg(args, double));
            break;
        case 's': case 'q': case 'w': {
            const char* s = va_arg(args, const char*);
            conversion.Add(conv);
            sqlite3_str_appendf(out, conversion.text, s ? s : "");
            break;
        }
        case 'Q':
            conversion.Add('Q');
            sqlite3_str_appendf(out, conversion.text, va_arg(args, const char*));
            break;
        case 'p':
            conversion.Add('p');
            sqlite3_str_appendf(out, conversion.text, va_arg(args, void*));
            break;
        case '%':
            sqlite3_str_appendchar(out, 1, '%');
            break;
        default:
            // Unknown conversion: the argument types from here on are
            // unknown too, so no further argument may be read.
            sqlite3_str_appendall(out, pct);
            va_end(args);
            return;
        }
        p = q + 1;
    }
    va_end(args);
}

char* FormatToEngineText(const char* prefix, int prefixLen, const char* fmt, va_list args, int* length) {
    sqlite3_str* out = sqlite3_str_new(nullptr);
    if (prefix && prefixLen > 0) sqlite3_str_append(out, prefix, prefixLen);
    FormatInto(out, fmt, args);
    if (sqlite3_str_errcode(out) != SQLITE_OK) {
        sqlite3_free(sqlite3_str_finish(out));
        *length = 0;
        return nullptr;
    }
    *length = sqlite3_str_length(out);
    return sqlite3_str_finish(out);
}

}  // namespace

const char* KvSqlBuffer::Build(bool append, const char* fmt, va_list args) {
    int length = 0;
    char* text = FormatToEngineText(append ? m_psz : nullptr, append ? m_nLength : 0, fmt, args, &length);
    Clear();
    m_psz = text;
    m_nLength = text ? length : 0;
    return GetText();
}

const char* KvSqlBuffer::FormatV(const char* fmt, va_list args) { return Build(false, fmt, args); }

const char* KvSqlBuffer::BuildFormatted(bool append, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const char* text = Build(append, fmt, args);
    va_end(args);
    return text;
}

const char* KvSqlBuffer::FmtSelect(const char* table, const char* columns, const char* condition) {
    if (condition && *condition) return Format("select %s from %s where %s;", columns, table, condition);
    return Format("select %s from %s;", columns, table);
}

const char* KvSqlBuffer::FmtInsert(const char* table, const char* columns, const char* values) {
    return Format("insert into %s (%s) values (%s);", table, columns, values);
}

const char* KvSqlBuffer::FmtDelete(const char* table, const char* condition) {
    if (condition && *condition) return Format("delete from %s where %s;", table, condition);
    return Format("delete from %s;", table);
}

void KvSqlBuffer::Clear() {
    sqlite3_free(m_psz);
    m_psz = nullptr;
    m_nLength = 0;
}
