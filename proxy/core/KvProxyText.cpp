#include "proxy/core/KvProxyText.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "inet/http/KvHttpBuffer.h"

namespace {

const char* const kSuffixes[] = {"$force", "$delete", "$bypass"};

// snprintf into a std::string of whatever length the text needs.
template <class T>
void AppendFormatted(std::string& out, const std::string& format, T value) {
    char small[128];
    int n = std::snprintf(small, sizeof small, format.c_str(), value);
    if (n < 0) return;
    if ((size_t)n < sizeof small) {
        out.append(small, (size_t)n);
        return;
    }
    std::string big((size_t)n + 1, '\0');
    std::snprintf(big.data(), big.size(), format.c_str(), value);
    out.append(big.data(), (size_t)n);
}

bool IsTokenListMember(std::string_view list, const char* name) {
    const size_t nameLength = std::strlen(name);
    while (!list.empty()) {
        size_t comma = list.find(',');
        std::string_view token = list.substr(0, comma);
        while (!token.empty() && (token.front() == ' ' || token.front() == '\t')) token.remove_prefix(1);
        while (!token.empty() && (token.back() == ' ' || token.back() == '\t')) token.remove_suffix(1);
        if (token.size() == nameLength && strncasecmp(token.data(), name, nameLength) == 0) return true;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

}  // namespace

KvProxySuffix KvProxyCutSuffix(CString& uri) {
    int dollar = uri.Find('$');
    if (dollar < 0) return kvSuffixNone;
    const char* tail = uri.c_str() + dollar;
    for (int i = 0; i < 3; ++i) {
        if (std::strcmp(tail, kSuffixes[i]) == 0) {
            uri = uri.Left(dollar);
            return (KvProxySuffix)(i + 1);
        }
    }
    return kvSuffixNone;
}

CString KvProxyUpstreamTarget(const char* rawUri, bool absolute) {
    std::string_view uri(rawUri ? rawUri : "");
    std::string_view target = uri;
    std::string prefix;
    if (!absolute) {
        size_t scheme = uri.find("://");
        if (scheme != std::string_view::npos && uri.find_first_of("/?") > scheme) {
            size_t pathStart = uri.find_first_of("/?#", scheme + 3);
            target = pathStart == std::string_view::npos ? std::string_view() : uri.substr(pathStart);
        }
        if (!target.empty() && target.front() == '#') target = std::string_view();
        if (target.empty() || target.front() != '/') prefix = "/";
    }
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = prefix;
    out.reserve(prefix.size() + target.size());
    for (unsigned char ch : target) {
        if (ch >= 0x21 && ch <= 0x7E) {
            out.push_back((char)ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[ch >> 4]);
            out.push_back(kHex[ch & 15]);
        }
    }
    return CString(std::move(out));
}

CString KvProxyHtmlText(const char* text) {
    std::string out;
    if (!text) return CString();
    out.reserve(std::strlen(text) + 16);
    for (const char* p = text; *p; ++p) {
        switch (*p) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        case '{': out += "&#123;"; break;
        case '}': out += "&#125;"; break;
        default: out.push_back(*p); break;
        }
    }
    return CString(std::move(out));
}

CString KvProxyFormatHtml(const char* format, va_list args) {
    std::string out;
    if (!format) return CString();
    va_list ap;
    va_copy(ap, args);
    const char* p = format;
    while (*p) {
        if (*p != '%') {
            const char* next = std::strchr(p, '%');
            size_t n = next ? (size_t)(next - p) : std::strlen(p);
            out.append(p, n);
            p += n;
            continue;
        }
        if (p[1] == '%') {
            out.push_back('%');
            p += 2;
            continue;
        }
        // One conversion: flags, width, precision, length, conversion.
        std::string format = "%";
        const char* q = p + 1;
        while (*q && std::strchr("-+ #0'", *q)) format.push_back(*q++);
        for (int part = 0; part < 2; ++part) {
            if (part == 1) {
                if (*q != '.') break;
                format.push_back(*q++);
            }
            if (*q == '*') {
                format += std::to_string(va_arg(ap, int));
                ++q;
            } else {
                while (*q >= '0' && *q <= '9') format.push_back(*q++);
            }
        }
        std::string length;
        while (*q && std::strchr("hljztL", *q)) length.push_back(*q++);
        char conv = *q;
        if (!conv) {
            out.append(p);  // a lone "%" at the end stays
            break;
        }
        ++q;
        format += length;
        format.push_back(conv);
        switch (conv) {
        case 'd': case 'i':
            if (length == "l") AppendFormatted(out, format, va_arg(ap, long));
            else if (length == "ll") AppendFormatted(out, format, va_arg(ap, long long));
            else if (length == "z" || length == "t" || length == "j") AppendFormatted(out, format, va_arg(ap, long long));
            else AppendFormatted(out, format, va_arg(ap, int));
            break;
        case 'u': case 'o': case 'x': case 'X':
            if (length == "l") AppendFormatted(out, format, va_arg(ap, unsigned long));
            else if (length == "ll") AppendFormatted(out, format, va_arg(ap, unsigned long long));
            else if (length == "z" || length == "t" || length == "j") AppendFormatted(out, format, va_arg(ap, unsigned long long));
            else AppendFormatted(out, format, va_arg(ap, unsigned));
            break;
        case 'c':
            AppendFormatted(out, format, va_arg(ap, int));
            break;
        case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A':
            if (length == "L") AppendFormatted(out, format, va_arg(ap, long double));
            else AppendFormatted(out, format, va_arg(ap, double));
            break;
        case 's': {
            const char* s = va_arg(ap, const char*);
            std::string piece;
            AppendFormatted(piece, format, s ? s : "");
            out += KvProxyHtmlText(piece.c_str()).str();
            break;
        }
        case 'p':
            AppendFormatted(out, format, va_arg(ap, void*));
            break;
        case 'n':
            (void)va_arg(ap, void*);  // never written through
            break;
        default:
            out.append(p, (size_t)(q - p));  // not a conversion: kept as text
            break;
        }
        p = q;
    }
    va_end(ap);
    return CString(std::move(out));
}

bool KvIsHopByHopHeader(const char* name) {
    static const char* const kNames[] = {"Connection", "Proxy-Connection", "Keep-Alive", "TE", "Upgrade"};
    if (!name) return false;
    for (const char* hop : kNames) {
        if (strcasecmp(name, hop) == 0) return true;
    }
    return false;
}

bool KvHeaderListsToken(const KvHttpBuffer& message, const char* header, const char* token) {
    if (!token || !*token) return false;
    bool listed = false;
    message.m_mapHeader.ForEach([&](CsStrMapItem* item) {
        if (!listed && strcasecmp(item->GetKey(), header) == 0) listed = IsTokenListMember(item->GetValue(), token);
    });
    return listed;
}

bool KvIsListedInConnection(const KvHttpBuffer& message, const char* name) {
    return KvHeaderListsToken(message, "Connection", name);
}

void KvRemoveHeaderAnyCase(KvHttpBuffer& message, const char* name) { message.RemoveHeadersNamed(name); }

bool KvSplitAuthority(const char* authority, CString& host, int& port) {
    std::string_view text(authority ? authority : "");
    size_t colon;
    std::string_view name;
    if (!text.empty() && text.front() == '[') {
        size_t close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') return false;
        name = text.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = text.rfind(':');
        if (colon == std::string_view::npos) return false;
        name = text.substr(0, colon);
        if (name.find(':') != std::string_view::npos) return false;
    }
    std::string_view digits = text.substr(colon + 1);
    if (name.empty() || digits.empty() || digits.size() > 5) return false;
    int value = 0;
    for (char ch : digits) {
        if (ch < '0' || ch > '9') return false;
        value = value * 10 + (ch - '0');
    }
    if (value < 1 || value > 65535) return false;
    host = CString(name);
    port = value;
    return true;
}

bool KvPortInList(const char* list, int port) {
    const char* p = list ? list : "";
    while (*p) {
        while (*p && !(*p >= '0' && *p <= '9')) ++p;
        if (!*p) break;
        long value = 0;
        while (*p >= '0' && *p <= '9') {
            if (value < 100000) value = value * 10 + (*p - '0');
            ++p;
        }
        if (value == port) return true;
    }
    return false;
}
