#include "inet/url/KvUrlCanonical.h"

#include <cctype>
#include <string>
#include <vector>

using namespace std::string_view_literals;

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& ch : out) ch = (char)std::tolower((unsigned char)ch);
    return out;
}

bool IsSchemeChar(char ch) {
    return std::isalnum((unsigned char)ch) || ch == '+' || ch == '-' || ch == '.';
}

// "1" to "65535", leading zeros allowed.
bool ParsePortNumber(std::string_view text, int& port) {
    if (text.empty()) return false;
    long value = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9') return false;
        value = value * 10 + (ch - '0');
        if (value > 65535) return false;
    }
    if (value == 0) return false;
    port = (int)value;
    return true;
}

// Host and port of an authority without its user part.
bool SplitHostPort(std::string_view authority, KvUrlParts& parts) {
    size_t portColon = std::string_view::npos;
    if (!authority.empty() && authority.front() == '[') {
        size_t close = authority.find(']');
        if (close == std::string_view::npos) return false;
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') return false;
            portColon = close + 1;
        }
    } else {
        portColon = authority.find(':');
    }
    std::string_view host = authority.substr(0, portColon);
    if (portColon != std::string_view::npos) {
        std::string_view portText = authority.substr(portColon + 1);
        // "host:" names no port: the default stands.
        if (!portText.empty()) {
            if (!ParsePortNumber(portText, parts.port)) return false;
            parts.portWritten = true;
        }
    }
    if (host.size() > 1 && host.back() == '.') host.remove_suffix(1);
    if (host.empty() || host == "."sv) return false;
    parts.host = CString(Lower(host));
    return true;
}

}  // namespace

int KvSchemeDefaultPort(std::string_view scheme) {
    if (scheme == "http"sv) return 80;
    if (scheme == "https"sv) return 443;
    if (scheme == "ftp"sv) return 21;
    return 0;
}

bool KvSplitUrl(std::string_view url, KvUrlParts& parts) {
    parts = KvUrlParts{};
    const size_t sep = url.find("://");
    if (sep == std::string_view::npos || sep == 0) return false;
    for (char ch : url.substr(0, sep)) {
        if (!IsSchemeChar(ch)) return false;
    }
    const std::string scheme = Lower(url.substr(0, sep));
    std::string_view rest = url.substr(sep + 3);
    const size_t fragment = rest.find('#');
    if (fragment != std::string_view::npos) rest = rest.substr(0, fragment);
    const size_t pathStart = rest.find_first_of("/?");
    std::string_view authority = rest.substr(0, pathStart);
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority.remove_prefix(at + 1);
    parts.port = KvSchemeDefaultPort(scheme);
    if (!SplitHostPort(authority, parts)) return false;
    parts.scheme = CString(scheme);
    std::string path;
    if (pathStart == std::string_view::npos || rest[pathStart] == '?') path.push_back('/');
    if (pathStart != std::string_view::npos) path.append(rest.substr(pathStart));
    parts.path = CString(std::move(path));
    return true;
}

CString KvCanonicalPath(std::string_view path) {
    const size_t query = path.find('?');
    std::string_view segments = path.substr(0, query);
    std::vector<std::string_view> kept;
    bool endsWithSlash = false;
    while (!segments.empty()) {
        const size_t slash = segments.find('/');
        std::string_view segment = segments.substr(0, slash);
        segments = slash == std::string_view::npos ? std::string_view() : segments.substr(slash + 1);
        const bool last = slash == std::string_view::npos;
        // A segment that leaves the path at a directory keeps its final "/".
        endsWithSlash = last ? (segment.empty() || segment == "."sv || segment == ".."sv) : true;
        if (segment.empty() || segment == "."sv) continue;
        if (segment == ".."sv) {
            if (!kept.empty()) kept.pop_back();
            continue;
        }
        kept.push_back(segment);
    }
    std::string out;
    for (std::string_view segment : kept) {
        out += '/';
        out += segment;
    }
    if (out.empty() || endsWithSlash) out += '/';
    if (query != std::string_view::npos) out += path.substr(query);
    return CString(out);
}

CString KvCanonicalUrl(std::string_view url) {
    KvUrlParts parts;
    if (!KvSplitUrl(url, parts)) return CString();
    CString out = parts.scheme + "://" + parts.host;
    if (parts.port != KvSchemeDefaultPort(parts.scheme.view())) out.AppendFormat(":%d", parts.port);
    out += KvCanonicalPath(parts.path.view());
    return out;
}

namespace {

// "scheme:" at the start: a letter, then letters, digits, "+", "-", "."
// up to a colon.
bool HasScheme(std::string_view text) {
    if (text.empty() || !std::isalpha((unsigned char)text[0])) return false;
    for (size_t i = 1; i < text.size(); ++i) {
        const unsigned char ch = (unsigned char)text[i];
        if (ch == ':') return true;
        if (!std::isalnum(ch) && ch != '+' && ch != '-' && ch != '.') return false;
    }
    return false;
}

}  // namespace

CString KvResolveUrl(std::string_view base, std::string_view reference) {
    while (!reference.empty() && (reference.front() == ' ' || reference.front() == '\t')) reference.remove_prefix(1);
    while (!reference.empty() && (reference.back() == ' ' || reference.back() == '\t')) reference.remove_suffix(1);
    if (HasScheme(reference)) return CString(reference);
    const size_t schemeEnd = base.find("://");
    if (schemeEnd == std::string_view::npos) return CString();
    base = base.substr(0, base.find('#'));
    if (reference.starts_with("//")) return CString(base.substr(0, schemeEnd + 1)) + CString(reference);
    const size_t pathStart = base.find('/', schemeEnd + 3);
    const std::string_view origin = base.substr(0, pathStart);
    std::string_view path = pathStart == std::string_view::npos ? std::string_view("/") : base.substr(pathStart);
    if (reference.empty() || reference.front() == '#') return CString(base);
    if (reference.front() == '/') return CString(origin) + CString(reference);
    path = path.substr(0, path.find('?'));
    if (reference.front() == '?') return CString(origin) + CString(path) + CString(reference);
    return CString(origin) + CString(path.substr(0, path.rfind('/') + 1)) + CString(reference);
}
