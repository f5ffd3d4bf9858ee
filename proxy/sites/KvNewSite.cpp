// Making a new local site: the host name rule and the database file.
#include "proxy/sites/KvNewSite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/str/StrFunc.h"
#include "ext/KvMd5/KvMd5.h"
#include "ext/KvSqLite/KvSqlBackup.h"
#include "inet/log/KvLogError.h"
#include "proxy/repo/KvRepoLink.h"
#include "proxy/repo/KvRepoLocal.h"
#include "proxy/repo/KvRepoRSS.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/sites/KvLinkDirTemplate.h"
#include "proxy/sites/KvLocalWebTemplate.h"
#include "proxy/sites/KvRssTemplate.h"
#include "proxy/sites/KvWebKavori.h"
#include "proxy/web/KvWebDB.h"
#include "proxy/web/KvWebHosts.h"

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool IsHostLabel(const std::string& label) {
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
    for (char c : label) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) return false;
    }
    return true;
}

bool AllLabels(const std::string& name) {
    size_t start = 0;
    for (;;) {
        const size_t dot = name.find('.', start);
        if (!IsHostLabel(name.substr(start, dot == std::string::npos ? std::string::npos : dot - start))) return false;
        if (dot == std::string::npos) return true;
        start = dot + 1;
    }
}

bool IsReservedHost(const std::string& host) {
    for (const char* fixed : {KV_HOST_PORTAL, KV_HOST_POLYSEEK, KV_HOST_FEEDIR, KV_HOST_TERMBID,
                              KV_HOST_LOCALWEB_TEMPLATE, KV_HOST_RSS_TEMPLATE, KV_HOST_LINKDIR_TEMPLATE}) {
        if (host == fixed) return true;
    }
    return false;
}

std::string LastLabel(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
}

// The template of the type, made first when it is missing; empty for an
// unknown type.
CString TemplateFor(const char* baseDir, const CString& type) {
    if (type == "cwd") return KvEnsureLocalWebTemplate(baseDir) ? KvLocalWebTemplatePath(baseDir) : CString();
    if (type == "cld") return KvEnsureLinkDirTemplate(baseDir) ? KvLinkDirTemplatePath(baseDir) : CString();
    if (type == "crd") return KvEnsureRssTemplate(baseDir) ? KvRssTemplatePath(baseDir) : CString();
    return CString();
}

void Describe(KvWebFolder& folder, const KvDomainInfo& info) {
    folder.m_strLabel = info.name;
    folder.m_strTitle = info.name;
    folder.m_strDesc = info.desc;
    folder.m_strKeywords = info.keywords;
}

bool DescribeRoot(KvWebDB& db, const CString& file, const KvDomainInfo& info) {
    if (info.type == "crd") {
        KvRepoRSS repo;
        repo.SetDatabase(&db);
        KvWebFolderRSS root;
        const bool ok = repo.Open(file) && repo.GetFolder(0, &root);
        if (ok) Describe(root, info);
        return ok && repo.UpdateFolder(&root);
    }
    if (info.type == "cld") {
        KvRepoLink repo;
        repo.SetDatabase(&db);
        KvWebFolder root;
        const bool ok = repo.Open(file) && repo.GetFolder(0, &root);
        if (ok) Describe(root, info);
        return ok && repo.UpdateFolder(&root);
    }
    KvRepoLocal repo;
    repo.SetDatabase(&db);
    KvWebFolder root;
    KvWebPage front;
    if (!repo.Open(file) || !repo.GetFolder(0, &root) || !repo.GetPage(1, &front)) return false;
    Describe(root, info);
    front.m_strLabel = front.m_strTitle = info.name;
    front.m_strDesc = info.desc;
    front.m_strKeywords = info.keywords;
    return repo.UpdateFolder(&root) && repo.UpdatePage(&front);
}

// The copy becomes the new owner's: member 1 is theirs, the template's
// other members and open sessions are not carried over.
bool TakeOwnership(KvWebDB& db, const KvDomainInfo& info) {
    KvUserInfo admin;
    if (!db.GetUserInfo(1, &admin)) return false;
    admin.m_strName = info.adminId;
    admin.m_strPassword = MD5String(info.password);
    return db.UpdateUser(&admin) && db.Execute("delete from sysmember where m_id > 1") >= 0 &&
           db.Execute("delete from syssessions") >= 0 && db.SetSystemVar("hp_name", info.name) >= 0 &&
           db.SetSystemVar("hp_desc", info.desc) >= 0 && db.SetSystemVar("hp_keywords", info.keywords) >= 0;
}

bool FillSite(const CString& file, const KvDomainInfo& info) {
    KvWebDB db;
    if (!db.OpenSite(file)) return false;
    KvSqlTransaction tx(db);
    return tx.IsActive() && TakeOwnership(db, info) && DescribeRoot(db, file, info) && tx.Commit();
}

}  // namespace

bool KvNormaliseSiteDomain(const char* text, CString& domain) {
    CString trimmed(text ? text : "");
    trimmed.TrimLeft();
    trimmed.TrimRight();
    trimmed.MakeLower();
    std::string name = trimmed.str();
    if (name.empty() || name.size() > 200) return false;
    if (!EndsWith(name, KV_HOST_SUFFIX)) {
        const std::string top = LastLabel(name);
        if (top == "arpa" || top == "localhost" || top == "local") return false;
        name += KV_HOST_SUFFIX;
    }
    if (!AllLabels(name) || IsReservedHost(name)) return false;
    domain = name.c_str();
    return true;
}

KvNewSiteResult KvCreateSiteFile(const char* baseDir, const KvDomainInfo& info, CString& file) {
    const CString source = TemplateFor(baseDir, info.type);
    if (source.IsEmpty()) return KvNewSiteResult::Failed;
    file = StrFormat("%s/LocalWeb/%s.%s", baseDir, info.domain.c_str(), info.type.c_str());
    const int fd = open(file.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) return errno == EEXIST ? KvNewSiteResult::Exists : KvNewSiteResult::Failed;
    close(fd);
    CString error;
    if (!KvSqlCopyDatabase(source, file, &error)) {
        LogError(KV_LOG_ERROR, "New site %s: the template could not be copied (%s).", file.c_str(), error.c_str());
        KvRemoveSiteFile(file);
        return KvNewSiteResult::Failed;
    }
    if (!FillSite(file, info)) {
        LogError(KV_LOG_ERROR, "New site %s could not be set up; the file was removed.", file.c_str());
        KvRemoveSiteFile(file);
        return KvNewSiteResult::Failed;
    }
    return KvNewSiteResult::Created;
}

void KvRemoveSiteFile(const CString& file) {
    // The database file, its write-ahead log and shared-memory index.
    unlink(file.c_str());
    unlink((file + "-wal").c_str());
    unlink((file + "-shm").c_str());
}
