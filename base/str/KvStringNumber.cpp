// KvString: numbers in the user's notation, formatting.
#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "base/app/KvData.h"
#include "base/str/KvString.h"
#include "base/str/StrFunc.h"

namespace {

// The text with every "." (a thousands separator) removed and, for
// floats, every "," (the decimal comma) made a full stop for strtod.
std::string NormaliseNumber(const std::string& s, bool decimalComma) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c == '.') continue;
        out += (decimalComma && c == ',') ? '.' : c;
    }
    return out;
}

const char* SkipDigits(const char* p, int& count) {
    while (std::isdigit((unsigned char)*p)) {
        ++p;
        ++count;
    }
    return p;
}

}  // namespace

int KvString::GetInt() const {
    long v = GetNumber();
    return (int)(v > INT_MAX ? INT_MAX : (v < INT_MIN ? INT_MIN : v));
}

long KvString::GetNumber() const {
    return std::strtol(NormaliseNumber(m_str, false).c_str(), nullptr, 10);
}

double KvString::GetFloat() const { return std::strtod(NormaliseNumber(m_str, true).c_str(), nullptr); }

bool KvString::IsNumber() const {
    for (char c : m_str) {
        if (!CSNumbers.IsInclude((BYTE)c)) return false;
    }
    return true;
}

bool KvString::IsFloat() const {
    const char* decimal = kvData.sDecimal.IsEmpty() ? "," : kvData.sDecimal.c_str();
    const size_t decimalLen = std::strlen(decimal);
    const char* p = m_str.c_str();
    while (std::isspace((unsigned char)*p)) ++p;
    if (*p == '+' || *p == '-') ++p;
    int digits = 0;
    p = SkipDigits(p, digits);
    if (std::strncmp(p, decimal, decimalLen) == 0) p = SkipDigits(p + decimalLen, digits);
    if (digits == 0) return false;
    if (*p == 'D' || *p == 'E' || *p == 'd' || *p == 'e') {
        ++p;
        if (*p == '+' || *p == '-') ++p;
        int expDigits = 0;
        p = SkipDigits(p, expDigits);
        if (expDigits == 0) return false;
    }
    while (std::isspace((unsigned char)*p)) ++p;
    // The whole string, not just up to an embedded zero byte.
    return p == m_str.c_str() + m_str.size();
}

int KvString::sprintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);  // sized to the text: no fixed buffer to overrun
    va_end(args);
    return GetLength();
}

const KvString& KvString::RandomFileName(const char* prefix, const char* ext) {
    Format("%s%s.%s", prefix ? prefix : "", GetStrRandomHexa(8).c_str(), ext ? ext : "");
    return *this;
}
