// In-place splitting of a text into fields.
#include <cstring>

#include "base/str/StrFunc.h"

int StrSplit(char* text, const char* separators, char** fields, int maxFields, bool skipEmpty,
             bool skipLeading) {
    if (!text) return -1;
    bool isSep[256] = {};
    for (const char* s = separators ? separators : " \t"; *s; ++s) isSep[(unsigned char)*s] = true;
    // The terminator and the line feed always end the text.
    isSep[0] = isSep[(unsigned char)'\n'] = false;
    auto sep = [&](char c) { return isSep[(unsigned char)c]; };
    auto end = [](char c) { return c == '\0' || c == '\n'; };

    char* p = text;
    if (skipLeading) {
        while (sep(*p)) ++p;
    }
    int count = 0;
    auto startField = [&](char* at) {
        if (skipEmpty && (sep(*at) || end(*at))) return true;
        if (maxFields <= 0 || count >= maxFields) return false;
        fields[count++] = at;
        return true;
    };
    if (!startField(p)) return -1;
    for (; !end(*p); ++p) {
        if (!sep(*p)) continue;
        *p = '\0';
        if (!startField(p + 1)) return -1;
    }
    *p = '\0';
    return count;
}
