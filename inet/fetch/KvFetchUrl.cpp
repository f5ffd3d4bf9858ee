#include "inet/fetch/KvFetchUrl.h"

#include <cctype>
#include <string>
#include <string_view>

using namespace std::string_view_literals;

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = (char)std::tolower((unsigned char)c);
    return out;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (unsigned char)s.front() <= ' ') s.remove_prefix(1);
    while (!s.empty() && (unsigned char)s.back() <= ' ') s.remove_suffix(1);
    return s;
}

// The scheme of an absolute reference ("http"), or empty.
std::string_view SchemeOf(std::string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == ':') return i > 0 ? s.substr(0, i) : std::string_view();
        bool ok = std::isalpha((unsigned char)c) || (i > 0 && (std::isdigit((unsigned char)c) || c == '+' ||
                                                              c == '-' || c == '.'));
        if (!ok) break;
    }
    return {};
}

bool ParsePort(std::string_view text, int& port) {
    if (text.empty() || text.size() > 5) return false;
    int value = 0;
    for (char c : text) {
        if (!std::isdigit((unsigned char)c)) return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) return false;
    port = value;
    return true;
}

// Authority "user@host:port" into host and port.
bool SplitAuthority(std::string_view auth, std::string& host, int& port) {
    size_t at = auth.rfind('@');
    if (at != std::string_view::npos) auth.remove_prefix(at + 1);
    std::string_view portText;
    if (!auth.empty() && auth.front() == '[') {
        size_t close = auth.find(']');
        if (close == std::string_view::npos) return false;
        host = Lower(auth.substr(1, close - 1));
        std::string_view rest = auth.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return false;
            portText = rest.substr(1);
        }
    } else {
        size_t colon = auth.find(':');
        host = Lower(auth.substr(0, colon));
        if (colon != std::string_view::npos) portText = auth.substr(colon + 1);
    }
    if (host.empty()) return false;
    for (char c : host) {
        if ((unsigned char)c <= ' ' || c == '/' || c == '\\' || c == '%' || c == '"' || c == '<' || c == '>') {
            return false;
        }
    }
    return portText.empty() || ParsePort(portText, port);
}

// Removes "." and ".." segments of a path.
std::string RemoveDots(std::string_view path) {
    std::string out;
    while (!path.empty()) {
        if (path.starts_with("../")) path.remove_prefix(3);
        else if (path.starts_with("./")) path.remove_prefix(2);
        else if (path.starts_with("/./")) path.remove_prefix(2);
        else if (path == "/."sv) path = "/";
        else if (path.starts_with("/../") || path == "/.."sv) {
            path = path.size() == 3 ? std::string_view("/") : path.substr(3);
            size_t slash = out.rfind('/');
            out.erase(slash == std::string::npos ? 0 : slash);
        } else if (path == "."sv || path == ".."sv) {
            path = {};
        } else {
            size_t next = path.find('/', 1);
            out.append(path.substr(0, next));
            path = next == std::string_view::npos ? std::string_view() : path.substr(next);
        }
    }
    return out;
}

struct Parts {
    std::string scheme, authority, path, query;  // query with its "?"
    bool hasAuthority = false;
};

Parts Split(std::string_view s) {
    Parts p;
    size_t hash = s.find('#');
    if (hash != std::string_view::npos) s = s.substr(0, hash);
    std::string_view scheme = SchemeOf(s);
    if (!scheme.empty()) {
        p.scheme = Lower(scheme);
        s.remove_prefix(scheme.size() + 1);
    }
    if (s.starts_with("//")) {
        s.remove_prefix(2);
        size_t end = s.find_first_of("/?");
        p.authority = std::string(s.substr(0, end));
        p.hasAuthority = true;
        s = end == std::string_view::npos ? std::string_view() : s.substr(end);
    }
    size_t q = s.find('?');
    p.path = std::string(s.substr(0, q));
    if (q != std::string_view::npos) p.query = std::string(s.substr(q));
    return p;
}

std::string Join(const Parts& p) {
    std::string out = p.scheme + ":";
    if (p.hasAuthority) out += "//" + p.authority;
    return out + p.path + p.query;
}

}  // namespace

bool KvSplitFetchUrl(const char* url, KvFetchTarget& out) {
    if (!url) return false;
    Parts p = Split(Trim(url));
    if ((p.scheme != "http" && p.scheme != "https") || !p.hasAuthority) return false;
    out.https = p.scheme == "https";
    out.port = out.https ? 443 : 80;
    std::string host;
    if (!SplitAuthority(p.authority, host, out.port)) return false;
    out.host = host.c_str();
    std::string pq = RemoveDots(p.path.empty() ? "/" : p.path) + p.query;
    for (char& c : pq) {
        if ((unsigned char)c <= ' ') c = '+';  // never a blank or control byte in a request line
    }
    if (pq.empty() || pq[0] != '/') pq.insert(0, "/");
    out.pathQuery = pq.c_str();
    return true;
}

CString KvHostHeader(const KvFetchTarget& target) {
    CString host = target.host.Find(':') >= 0 ? "[" + target.host + "]" : target.host;
    if (target.port != (target.https ? 443 : 80)) host.AppendFormat(":%d", target.port);
    return host;
}

CString KvHostPort(const KvFetchTarget& target) {
    CString host = target.host.Find(':') >= 0 ? "[" + target.host + "]" : target.host;
    host.AppendFormat(":%d", target.port);
    return host;
}

CString KvFetchUrlText(const KvFetchTarget& target) {
    return CString(target.https ? "https://" : "http://") + KvHostHeader(target) + target.pathQuery;
}

CString KvResolveReference(const char* base, const char* ref) {
    std::string_view r = Trim(ref ? ref : "");
    Parts rp = Split(r);
    if (!rp.scheme.empty()) return CString(std::string(r).c_str());
    Parts bp = Split(Trim(base ? base : ""));
    if (bp.scheme.empty() || !bp.hasAuthority) return CString();
    Parts t;
    t.scheme = bp.scheme;
    t.hasAuthority = true;
    if (rp.hasAuthority) {
        t.authority = rp.authority;
        t.path = RemoveDots(rp.path);
        t.query = rp.query;
    } else {
        t.authority = bp.authority;
        if (rp.path.empty()) {
            t.path = bp.path;
            t.query = rp.query.empty() ? bp.query : rp.query;
        } else {
            if (rp.path[0] == '/') {
                t.path = RemoveDots(rp.path);
            } else {
                std::string merged = bp.path.empty() ? "/" : bp.path.substr(0, bp.path.rfind('/') + 1);
                t.path = RemoveDots(merged + rp.path);
            }
            t.query = rp.query;
        }
    }
    if (t.path.empty()) t.path = "/";
    // A fragment of the reference is kept: links may point into a page.
    std::string out = Join(t);
    size_t hash = r.find('#');
    if (hash != std::string_view::npos) out.append(r.substr(hash));
    return CString(out.c_str());
}
