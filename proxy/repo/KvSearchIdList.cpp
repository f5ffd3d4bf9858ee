#include "proxy/repo/KvSearchIdList.h"

#include <climits>

std::vector<int> KvParseIdList(const char* text, int max) {
    std::vector<int> ids;
    if (!text) return ids;
    const char* p = text;
    while (*p && (int)ids.size() < max) {
        // One piece up to the next comma: an id when it is digits only
        // (blanks around them allowed).
        while (*p == ' ') ++p;
        long long value = 0;
        bool digits = false, valid = true;
        while (*p && *p != ',') {
            if (*p >= '0' && *p <= '9' && valid) {
                value = value * 10 + (*p - '0');
                if (value > INT_MAX) valid = false;
                digits = true;
            } else if (*p == ' ') {
                // trailing blanks; a digit after them spoils the piece
                while (*p == ' ') ++p;
                if (*p && *p != ',') valid = false;
                continue;
            } else {
                valid = false;
            }
            ++p;
        }
        if (digits && valid) ids.push_back((int)value);
        if (*p == ',') ++p;
    }
    return ids;
}

CString KvFormatIdList(const std::vector<int>& ids) {
    CString text;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (i) text += ", ";
        text += CString(std::to_string(ids[i]));
    }
    return text;
}
