// Search conditions from user queries.
#include "inet/html/KvSearchCond.h"

#include <string>
#include <utility>
#include <vector>

#include "ext/KvSqLite/KvSqlBuffer.h"

namespace {

bool IsWordByte(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

std::vector<std::pair<char, std::string>> SplitTerms(const std::string& q) {
    std::vector<std::pair<char, std::string>> terms;
    char op = '+';
    size_t i = 0;
    while (i < q.size()) {
        unsigned char c = (unsigned char)q[i];
        if (c == '+') {
            op = '+';
            ++i;
        } else if (c == '-') {
            op = '-';
            ++i;
        } else if (c == '"') {
            size_t end = q.find('"', i + 1);
            if (end == std::string::npos) end = q.size();
            std::string phrase = q.substr(i + 1, end - i - 1);
            if (!phrase.empty()) terms.emplace_back(op, std::move(phrase));
            i = end + 1;
        } else if (IsWordByte(c)) {
            size_t end = i;
            while (end < q.size() && IsWordByte((unsigned char)q[end])) ++end;
            terms.emplace_back(op, q.substr(i, end - i));
            i = end;
        } else {
            ++i;
        }
    }
    return terms;
}

}  // namespace

CString SearchQueryBuilder(const char* field, const char* query) {
    CString lower(query);
    lower.MakeLower();
    CString result;
    KvSqlBuffer sql;
    for (const auto& [op, term] : SplitTerms(lower.str())) {
        if (!result.IsEmpty()) result += " and ";
        const char* cond = sql.Format("(%s like '%s%q%s')", field ? field : "", "%", term.c_str(), "%");
        if (op == '-') {
            result += "(not ";
            result += cond;
            result += ")";
        } else {
            result += cond;
        }
    }
    return result;
}
