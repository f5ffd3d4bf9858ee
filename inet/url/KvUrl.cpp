#include "inet/url/KvUrl.h"

#include <cctype>
#include <string_view>

#include "base/platform/Archive.h"
#include "inet/url/KvUrlPath.h"
#include "inet/url/TqParseURL.h"

IMPLEMENT_SERIAL(KvUrl, CObject, 1)

namespace {

bool StartsWith(const CString& s, const char* prefix) { return s.view().starts_with(prefix); }
bool EndsWith(const CString& s, char ch) { return !s.IsEmpty() && s[s.GetLength() - 1] == ch; }

}  // namespace

KvUrl::KvUrl() = default;

KvUrl::KvUrl(const char* url) { SetUrl(url); }

KvUrl::KvUrl(const KvUrl& other) : CObject() { SetUrl(other); }

KvUrl& KvUrl::operator=(const KvUrl& other) {
    if (this != &other) SetUrl(other);
    return *this;
}

KvUrl& KvUrl::operator=(const char* url) {
    SetUrl(url);
    return *this;
}

void KvUrl::Empty() {
    m_nScheme = 0;
    m_strScheme.Empty();
    m_strHost.Empty();
    m_nPort = 0;
    m_strPath.Empty();
    m_strFile.Empty();
    m_strExt.Empty();
    m_strAnchor.Empty();
    m_strQuery.Empty();
    m_strContentType.Empty();
    m_nFileType = typeNone;
    m_bValid = FALSE;
}

void KvUrl::EmptyBasePath() {
    m_strBaseScheme.Empty();
    m_strBaseHost.Empty();
    m_strBasePath.Empty();
}

bool KvUrl::HasBase() const {
    return !m_strBaseScheme.IsEmpty() || !m_strBaseHost.IsEmpty() || !m_strBasePath.IsEmpty();
}

// "/x" keeps scheme and host of the base, "./x" and "x" go below the base
// directory, and each leading "../" climbs one directory (never above the
// top). Works by index so a long run of "../" stays linear.
CString KvUrl::ResolveRelative(const CString& text) const {
    CString result = m_strBaseScheme + m_strBaseHost;
    if (StartsWith(text, "/")) return result + text;
    if (StartsWith(text, "./")) return result + m_strBasePath + text.Mid(2);

    std::string_view dir = m_strBasePath.view();
    if (!dir.empty()) dir.remove_suffix(1);
    std::string_view rest = text.view();
    while (rest.starts_with("../")) {
        rest.remove_prefix(3);
        size_t slash = dir.rfind('/');
        if (slash != std::string_view::npos) dir = dir.substr(0, slash);
    }
    result += CString(dir);
    result += '/';
    result += CString(rest);
    return result;
}

int KvUrl::SetUrl(const char* url) {
    Empty();
    if (!url || !*url) return FALSE;
    CString text(url);
    bool relative = StartsWith(text, "/") || StartsWith(text, "../") || StartsWith(text, "./") ||
                    text.Find(':') < 0;
    if (relative && HasBase()) text = ResolveRelative(text);
    // A relative text without a base, or resolved against a base that has no
    // scheme, is a bare path.
    if (relative && m_strBaseScheme.IsEmpty()) return ParsePath(text);

    unsigned long scheme = 0;
    CString path;
    if (!TqParseURL(text, scheme, m_strScheme, m_strHost, path, m_nPort)) {
        Empty();
        return FALSE;
    }
    m_nScheme = (int)scheme;
    if (m_nScheme == kvSchemeFile) path.Replace('\\', '/');
    return ParsePath(path);
}

void KvUrl::MarkDirectory(const CString& path) {
    m_strPath = path;
    if (m_nFileType != typeCGI) {
        m_nFileType = typeHTML;
        m_strContentType = "text/html";
    }
    m_bValid = TRUE;
}

// Splits the path part into query, anchor, directory, file and extension.
int KvUrl::ParsePath(CString path) {
    int query = path.Find('?', 1);
    if (query > 0) {
        m_nFileType = typeCGI;
        m_strQuery = path.Mid(query + 1);
        path = path.Left(query);
    }
    if (EndsWith(path, '/')) {
        MarkDirectory(path);
        return m_bValid;
    }
    // A final "#" or "." with nothing after it stays in the file name, so
    // that the composed URL still ends with it.
    int anchor = path.ReverseFind('#');
    if (anchor > 0 && anchor + 1 < path.GetLength()) {
        m_strAnchor = path.Mid(anchor + 1);
        path = path.Left(anchor);
    }
    int dot = path.ReverseFind('.');
    if (dot > 0 && dot + 1 < path.GetLength()) {
        m_strExt = path.Mid(dot + 1);
        path = path.Left(dot);
    }
    if (dot <= 0 && anchor <= 0) {
        if (!EndsWith(path, '/')) path += '/';
        MarkDirectory(path);
        return m_bValid;
    }
    int slash = path.ReverseFind('/');
    m_strPath = path.Left(slash + 1);
    m_strFile = path.Mid(slash + 1);
    if (m_nFileType == typeNone && !m_strExt.IsEmpty()) FindFileType();
    m_bValid = TRUE;
    return m_bValid;
}

int KvUrl::SetUrl(const KvUrl& other) {
    if (this == &other) return m_bValid;
    m_nScheme = other.m_nScheme;
    m_strScheme = other.m_strScheme;
    m_strHost = other.m_strHost;
    m_nPort = other.m_nPort;
    m_strPath = other.m_strPath;
    m_strFile = other.m_strFile;
    m_strExt = other.m_strExt;
    m_strAnchor = other.m_strAnchor;
    m_strQuery = other.m_strQuery;
    m_strContentType = other.m_strContentType;
    m_nFileType = other.m_nFileType;
    m_bValid = other.m_bValid;
    m_strBaseScheme = other.m_strBaseScheme;
    m_strBaseHost = other.m_strBaseHost;
    m_strBasePath = other.m_strBasePath;
    return m_bValid;
}

int KvUrl::SetBasePath(const char* url) {
    KvUrl parsed;
    parsed.m_strBaseScheme = m_strBaseScheme;
    parsed.m_strBaseHost = m_strBaseHost;
    parsed.m_strBasePath = m_strBasePath;
    if (!parsed.SetUrl(url)) return FALSE;
    m_strBaseScheme = parsed.m_strScheme;
    // The port belongs to the base too, or references would lose it.
    m_strBaseHost = parsed.GetHomePage(1).Mid(parsed.m_strScheme.GetLength());
    m_strBasePath = parsed.m_strPath;
    return TRUE;
}

CString KvUrl::GetBasePath() const { return m_strBaseScheme + m_strBaseHost + m_strBasePath; }

int KvUrl::SetAsLocalUrl(const char* filePath) {
    KvLocalPath local;
    if (!KvSplitLocalPath(filePath, local)) return FALSE;
    Empty();
    m_nScheme = kvSchemeFile;
    m_strScheme = TqSchemePrefix(kvSchemeFile);
    m_strHost = local.drive.IsEmpty() ? CString() : local.drive + "|";
    m_strPath = local.directory;
    m_strFile = local.baseName;
    m_strExt = local.extension;
    m_bValid = TRUE;
    FindFileType();
    return TRUE;
}

int KvUrl::GetDefaultPort() const { return TqSchemeDefaultPort((unsigned long)m_nScheme); }

int KvUrl::IsSameHome(const KvUrl& other) const {
    return m_nScheme == other.m_nScheme && m_strHost.CompareNoCase(other.m_strHost) == 0;
}

int KvUrl::IsSameHome(const char* url) const {
    KvUrl other(url);
    return IsSameHome(other);
}

int KvUrl::IsSame(const KvUrl& o) const {
    return m_nScheme == o.m_nScheme && m_nPort == o.m_nPort &&
           m_strScheme.CompareNoCase(o.m_strScheme) == 0 &&
           m_strHost.CompareNoCase(o.m_strHost) == 0 && m_strPath.CompareNoCase(o.m_strPath) == 0 &&
           m_strFile.CompareNoCase(o.m_strFile) == 0 && m_strExt.CompareNoCase(o.m_strExt) == 0 &&
           m_strAnchor.CompareNoCase(o.m_strAnchor) == 0 &&
           m_strQuery.CompareNoCase(o.m_strQuery) == 0;
}
