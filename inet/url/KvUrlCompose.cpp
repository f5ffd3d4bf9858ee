// KvUrl: composing texts from the parts, file types and the archive form.
#include <string_view>

#include "base/platform/Archive.h"
#include "inet/url/KvUrl.h"
#include "inet/url/KvUrlMime.h"
#include "inet/url/KvUrlPath.h"
#include "inet/url/TqParseURL.h"

CString KvUrl::GetHomePage(int withPort) const {
    CString text = m_strScheme + m_strHost;
    if (withPort && m_nPort) text.AppendFormat(":%d", (int)m_nPort);
    return text;
}

CString KvUrl::GetLongPath(int withPort) const { return GetHomePage(withPort) + m_strPath; }

CString KvUrl::GetFileName(int exact, int withAnchor) const {
    bool hasName = !m_strFile.IsEmpty() || !m_strExt.IsEmpty();
    if (!exact && !hasName) return CString("index.htm");
    CString name = m_strFile;
    if (!m_strExt.IsEmpty()) name += "." + m_strExt;
    if (withAnchor && !m_strAnchor.IsEmpty()) name += "#" + m_strAnchor;
    return name;
}

CString KvUrl::GetObjectA(const char* defaultName) const {
    bool hasName = !m_strFile.IsEmpty() || !m_strExt.IsEmpty();
    if (defaultName && !hasName) return m_strPath + defaultName;
    CString text = m_strPath + GetFileName(1, 0);
    if (m_nFileType == typeCGI) text += "?" + m_strQuery;
    return text;
}

CString KvUrl::GetUrl(int withAnchor) const {
    CString text = GetLongPath(1) + GetFileName(1, withAnchor);
    if (m_nFileType == typeCGI) text += "?" + m_strQuery;
    return text;
}

namespace {

// The directory `to` as seen from the directory `from` (both rooted at "/"):
// shared leading segments dropped, one "../" per segment left in `from`.
CString RelativeDirectory(std::string_view from, std::string_view to) {
    if (from.starts_with('/')) from.remove_prefix(1);
    if (to.starts_with('/')) to.remove_prefix(1);
    while (true) {
        size_t a = from.find('/'), b = to.find('/');
        if (a == std::string_view::npos || b == std::string_view::npos) break;
        if (from.substr(0, a) != to.substr(0, b)) break;
        from.remove_prefix(a + 1);
        to.remove_prefix(b + 1);
    }
    CString result;
    for (char ch : from)
        if (ch == '/') result += "../";
    return result + CString(to);
}

}  // namespace

CString KvUrl::GetRelativeUrl(const KvUrl& target, int withAnchor) const {
    if (!IsSameHome(target)) return target.GetUrl(withAnchor);
    CString dir;
    if (m_strPath.IsEmpty())
        dir = target.m_strPath;
    else if (target.m_strPath.view().starts_with(m_strPath.view()))
        dir = target.m_strPath.Mid(m_strPath.GetLength());
    else
        dir = RelativeDirectory(m_strPath.view(), target.m_strPath.view());
    CString text = dir + target.GetFileName(1, withAnchor);
    // The query is part of the target; a link without it names another page.
    if (target.m_nFileType == typeCGI) text += "?" + target.m_strQuery;
    return text;
}

CString KvUrl::GetRelativeUrl(const char* url, int withAnchor) const {
    KvUrl target;
    target.m_strBaseScheme = m_strBaseScheme;
    target.m_strBaseHost = m_strBaseHost;
    target.m_strBasePath = m_strBasePath;
    target.SetUrl(url);
    return GetRelativeUrl(target, withAnchor);
}

CString KvUrl::GetLocalFile(const char* root) const {
    CString relative = m_strPath + GetFileName(0, 0);
    if (m_nScheme != kvSchemeFile) return KvConfinePath(root, relative);
    CString text = m_strHost.IsEmpty() ? CString() : CString(m_strHost[0]) + ":";
    text += relative;
    text.Replace('\\', '/');
    return text;
}

KvUrl::operator const char*() const {
    m_strText = GetUrl(1);
    return m_strText.c_str();
}

void KvUrl::FindFileType() {
    m_strContentType = KvUrlContentType(m_strExt);
    m_nFileType = typeNone;
    int slash = m_strContentType.Find('/', 1);
    if (slash < 0) return;
    CString major = m_strContentType.Left(slash);
    CString minor = m_strContentType.Mid(slash + 1);
    if (major == "text")
        m_nFileType = minor == "html" ? typeHTML : typeText;
    else if (major == "image")
        m_nFileType = minor == "jpeg" ? typeJPEG : minor == "gif" ? typeGIF : typeImage;
    else if (major == "audio")
        m_nFileType = typeAudio;
    else if (major == "video")
        m_nFileType = typeVideo;
}

void KvUrl::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << (int32_t)m_nScheme << m_strScheme << m_strHost << (uint16_t)m_nPort << m_strPath
           << m_strFile << m_strExt << m_strAnchor << m_strQuery << (int32_t)m_bValid
           << (int16_t)m_nFileType << m_strBaseScheme << m_strBaseHost << m_strBasePath;
        return;
    }
    int32_t scheme = 0, valid = 0;
    uint16_t port = 0;
    int16_t fileType = 0;
    ar >> scheme >> m_strScheme >> m_strHost >> port >> m_strPath >> m_strFile >> m_strExt >>
        m_strAnchor >> m_strQuery >> valid >> fileType >> m_strBaseScheme >> m_strBaseHost >>
        m_strBasePath;
    m_nScheme = scheme;
    m_nPort = port;
    m_bValid = valid ? TRUE : FALSE;
    m_nFileType = fileType;
    m_strContentType.Empty();
    // A damaged archive never yields a URL that claims to be valid.
    if (ar.IsFailed() || scheme < 0 || scheme > kvSchemeAfs || fileType < typeNone ||
        fileType > typeVideo)
        m_bValid = FALSE;
}
