// Plain-file local web sites.
#include "proxy/sites/KvWebLocalFile.h"

#include <ctime>

#include "base/file/KvFileFunc.h"
#include "base/file/KvIniFile.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/web/KvWebPath.h"

IMPLEMENT_DYNCREATE(KvWebLocalFile, KvWebObject)

KvWebLocalFile::KvWebLocalFile(const char* host) : KvWebObject(host), m_strDirName(host) {}

void KvWebLocalFile::SetBasePath(const char* path) { m_strBasePath = CString(path) + "/LocalWeb"; }

void KvWebLocalFile::SetDbFileName(const char* dirName) { m_strDirName = dirName; }

int KvWebLocalFile::Initiate() {
    if (m_strDirName.IsEmpty()) m_strDirName = m_strDomain;
    KvIniFile ini;
    if (ini.Load(GetSiteDir() + "/config.txt")) {
        const char* name = ini.GetValue("Configuration", "hp_name");
        const char* desc = ini.GetValue("Configuration", "hp_desc");
        if (name && *name) SetHostName(name);
        if (desc) SetDescription(desc);
    }
    m_bInitiated = 1;
    return 1;
}

bool KvWebLocalFile::ResolveIndex(const CString& dirPath, CString& file) const {
    if (!KvResolveBelow(GetSiteDir(), dirPath + "index.html", file)) return false;
    if (IsFileExist(file)) return true;
    CString htm;
    if (!KvResolveBelow(GetSiteDir(), dirPath + "index.htm", htm)) return false;
    if (IsFileExist(htm)) file = htm;
    return true;
}

int KvWebLocalFile::DoGetResponse() {
    // The path was un-escaped with the whole URL; its query is not part of
    // the file name.
    CString path = m_strUrlPath;
    int query = path.Find('?');
    if (query >= 0) path = path.Left(query);
    if (path.IsEmpty()) path = "/";
    CString file;
    if (m_strRequestURL.str().find('\0') != std::string::npos || !KvResolveBelow(GetSiteDir(), path, file)) {
        return ResponseErrorText(m_strInvalidRequest);
    }
    if (path.Right(1) == "/") {
        // The index is confined like any other file: a link named
        // "index.html" (or "index.htm") may not lead out of the site.
        if (!ResolveIndex(path, file)) return ResponseNotFound();
    } else if (IsPathExist(file)) {
        return ResponseRedirect(m_strHomeUrl + UrlEscapePath(path) + "/");
    }
    KvFileStatus status;
    if (FileGetStatus(file, status)) {
        // The status time is local; the comparison is made in UTC.
        time_t local = 0;
        if (status.m_mtime.GetTime(&local)) {
            struct tm utc{};
            gmtime_r(&local, &utc);
            if (int answered = CheckResponseNotModified(KvTime(utc))) return answered;
        }
    }
    return ResponseLocalFile(file);
}
