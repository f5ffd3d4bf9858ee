// KvWebObjectEx: the request flow of the site engine and its static files.
#include "proxy/web/KvWebObjectEx.h"

#include "base/file/KvFileFunc.h"
#include "base/str/StrFunc.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/web/KvWebPath.h"

IMPLEMENT_DYNCREATE(KvWebObjectEx, KvWebObject)

namespace {

// Folders of stored files that may also be read from the data directory.
const char* const kDiskFolders[] = {"_images", "_theme", "_template", "_files"};

bool StartsWithNoCase(const CString& s, const char* prefix, int n) {
    return s.GetLength() >= n && StrICompare(s.c_str(), prefix, n) == 0;
}

}  // namespace

KvWebObjectEx::KvWebObjectEx() { m_strThemeName = KV_DEFAULT_THEME; }

KvWebObjectEx::KvWebObjectEx(const char* domain) : KvWebObject(domain) { m_strThemeName = KV_DEFAULT_THEME; }

KvWebObjectEx::~KvWebObjectEx() = default;

void KvWebObjectEx::SetBasePath(const char* path) {
    KvWebObject::SetBasePath(path);
    m_strThemeDir = m_strBasePath + "/Theme";
    m_strImagesDir = m_strBasePath + "/Images";
}

void KvWebObjectEx::SetDbFileName(const char* path) { m_strDbFileName = path; }

int KvWebObjectEx::Initiate() { return 1; }

int KvWebObjectEx::DoGetResponse() { return 0; }

int KvWebObjectEx::InitiateSite() {
    if (m_strDbFileName.IsEmpty()) m_strDbFileName.Format("%s/%s.db", m_strBasePath.c_str(), m_strDomain.c_str());
    if (!m_db.IsOpen() && !m_db.OpenSite(m_strDbFileName)) return 0;
    m_mapSysVar.RemoveAll();
    if (!m_db.ReadAllSystemVars(m_mapSysVar)) return 0;
    CString name = GetSystemVar("hp_name");
    if (!name.IsEmpty()) SetHostName(name);
    SetDescription(GetSystemVar("hp_desc"));
    m_keywords.SetList(GetSystemVar("hp_keywords"));
    CString theme = GetSystemVar("hp_theme");
    if (!theme.IsEmpty() && theme.Find('/') < 0 && KvIsSafeRequestPath(theme)) m_strThemeName = theme;
    m_bInitiated = 1;
    return 1;
}

void KvWebObjectEx::ResetPageFields() {
    m_strPageTitle.Empty();
    m_strPageDesc.Empty();
    m_strPageKeywords.Empty();
    m_strPageContent.Empty();
    m_strPageRobots = "index, follow";
}

int KvWebObjectEx::GetResponse(KvHttpRequest* request, KvHttpResponse* response) {
    KvCriticalLock lock(m_csLock);
    if (!request || !response) return 0;
    m_bNewSession = 0;
    m_pSession = nullptr;
    if (!IsInitiated()) {
        Initiate();
        if (!IsInitiated()) return 0;
    }
    ResetPageFields();
    KvWebRequestScope scope(m_pRequest, m_pResponse, request, response);
    if (!PrepareRequestUrl()) return 0;

    if (!m_cgi.Parse(request)) return ResponseError("%s", m_strParsingFailed.c_str());
    CString path = m_cgi.m_strPath;
    int query = path.Find('?');
    if (query >= 0) path = path.Left(query);
    StrUnEscape(&path);
    if (!KvIsSafeRequestPath(path) || !BreakCgiPathComponent(path)) {
        return ResponseError("%s", m_strInvalidRequest.c_str());
    }
    m_bNewSession = 0;
    int result = ResponseReservedPath(m_strPath);
    if (result >= 0) return result;
    SessionStart();
    result = DoGetResponse();
    SessionEnd();
    return result;
}

int KvWebObjectEx::BreakCgiPathComponent(const CString& path) {
    m_strPath = path.IsEmpty() ? CString("/") : path;
    m_strPath2 = m_strPath;
    if (m_strPath.Right(1) == "/") {
        m_strCurDir = m_strPath;
        m_strCurFile.Empty();
        return 1;
    }
    int slash = m_strPath.ReverseFind('/');
    if (slash < 0) {
        m_strCurDir = "/";
        m_strCurFile = m_strPath;
    } else {
        m_strCurDir = m_strPath.Left(slash + 1);
        m_strCurFile = m_strPath.Mid(slash + 1);
    }
    return 1;
}

int KvWebObjectEx::ResponseReservedPath(const CString& path) {
    // The browser asks for the icon by itself, often while a sign-in is
    // under way: answered with a session, the answer to a request that
    // still carried the identifier the sign-in retired would set a fresh
    // guest cookie over the member's.
    if (path.CompareNoCase("/favicon.ico") == 0) return ResponseSimpleOrLocalFile("/_images/favicon.ico");
    if (StartsWithNoCase(path, "/images/", 8)) return ResponseSimpleOrLocalFile("/_images/" + path.Mid(8));
    if (StartsWithNoCase(path, "/_", 2)) return ResponseSimpleOrLocalFile(path);
    if (StartsWithNoCase(path, "/theme_snapshot/", 16)) {
        CString theme = path.Mid(16), themeDir, file;
        if (theme.IsEmpty() || theme.Find('/') >= 0 || !GetDiskFolder("_theme", themeDir) ||
            !KvResolveBelow(themeDir, theme + "/snapshot.jpg", file)) {
            return ResponseNotFound();
        }
        return ResponseLocalFile(file);
    }
    return -1;
}

// --- static files -------------------------------------------------------------------

bool KvWebObjectEx::GetDiskFolder(const CString& folder, CString& dir) const {
    for (const char* allowed : kDiskFolders) {
        if (StrICompare(folder, allowed) != 0) continue;
        CString realName;
        if (!KvFindNameNoCase(m_strBasePath, folder.Mid(1), true, realName)) return false;
        dir = m_strBasePath + "/" + realName;
        return true;
    }
    return false;
}

bool KvWebObjectEx::GetDiskFile(const CString& folder, const CString& name, CString& file) const {
    CString dir;
    return GetDiskFolder(folder, dir) && KvResolveBelow(dir, name, file);
}

int KvWebObjectEx::ResponseSimpleFile(const char* folder, const char* name) {
    if (!m_pResponse || !m_db.IsOpen()) return 0;
    KvSimpleFile file;
    if (!m_db.GetSimpleFile(folder, name, &file)) return 0;
    m_pResponse->m_bufBody.Empty();
    m_pResponse->m_bufBody.Attach(file.m_bufContent);
    return ResponseFinish(file.m_strMime.IsEmpty() ? "application/octet-stream" : file.m_strMime.c_str());
}

int KvWebObjectEx::ResponseSimpleOrLocalFile(const CString& path) {
    CString folder, name;
    if (!KvIsSafeRequestPath(path) || !KvWebDB::SplitSitePath(path, folder, name)) {
        return ResponseNotFound();
    }
    if (ResponseSimpleFile(folder, name)) return 1;
    CString file;
    if (!GetDiskFile(folder, name, file)) return ResponseNotFound();
    return ResponseLocalFile(file);
}

CString KvWebObjectEx::LoadSimpleOrLocalFile(const char* pathText) {
    CString path(pathText), folder, name;
    if (path.GetLength() < 2 || !KvIsSafeRequestPath(path) || !KvWebDB::SplitSitePath(path, folder, name)) {
        return CString();
    }
    KvSimpleFile stored;
    if (m_db.IsOpen() && m_db.GetSimpleFile(folder, name, &stored)) {
        return CString(std::string(stored.m_bufContent.GetData(), stored.m_bufContent.GetCount()));
    }
    CString file;
    if (!GetDiskFile(folder, name, file)) return CString();
    KvGenBuffer content(4096);
    if (!content.PutFile(file)) return CString();
    return CString(std::string(content.GetData(), content.GetCount()));
}

CString KvWebObjectEx::LoadLocalFile(const char* pathText) {
    CString file;
    if (!KvResolveBelow(m_strBasePath, CString(pathText), file)) return CString();
    KvGenBuffer content(4096);
    if (!content.PutFile(file)) return CString();
    return CString(std::string(content.GetData(), content.GetCount()));
}
