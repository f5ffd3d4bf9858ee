// KvWebMgr: the set of local sites and the routing of requests.
#include "proxy/web/KvWebMgr.h"

#include <string>
#include <vector>

#include "base/file/KvFileFunc.h"
#include "base/str/StrFunc.h"
#include "base/thread/KvCleanupMgr.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvSimpleLink.h"
#include "inet/log/KvLogError.h"
#include "inet/web/KvWebApp.h"
#include "proxy/web/KvWebHosts.h"
#include "proxy/web/KvWebObject.h"

IMPLEMENT_DYNCREATE(KvWebMgr, KvObject)

KvCriticalObj KvWebMgr::_csWebMgr;
KvWebMgr* KvWebMgr::_glbWebMgr = nullptr;
std::atomic<int> KvWebMgr::_nInstanceCount{0};

KvWebMgr::KvWebMgr() {
    ++_nInstanceCount;
    m_mapSiteClass.SetAt("cld", "KvWebLink");
    m_mapSiteClass.SetAt("cwd", "KvWebLocal");
    m_mapSiteClass.SetAt("crd", "KvWebRSS");
    m_mapSiteClass.SetAt("csd", "KvWebKavori");
    m_mapSiteClass.SetAt(KV_HOST_PORTAL, "KvWebKavori");
    m_mapSiteClass.SetAt(KV_HOST_FEEDIR, "KvWebFeedir");
    m_mapSiteClass.SetAt(KV_HOST_POLYSEEK, "KvWebPolyseek");
    m_mapSiteClass.SetAt(KV_HOST_TERMBID, "KvWebTermbid");
}

KvWebMgr::~KvWebMgr() {
    m_mapWebObject.RemoveAll(true);
    m_arrRetired.RemoveAll();
    --_nInstanceCount;
}

KvWebMgr* KvWebMgr::GetInstance() {
    KvCriticalLock lock(_csWebMgr);
    if (!_glbWebMgr) {
        _glbWebMgr = new KvWebMgr;
        KvCleanupMgr::Register(&KvWebMgr::DestroyInstance);
    }
    return _glbWebMgr;
}

void KvWebMgr::DestroyInstance() {
    KvCriticalLock lock(_csWebMgr);
    delete _glbWebMgr;
    _glbWebMgr = nullptr;
}

void KvWebMgr::SetBaseDirectory(const char* dir) {
    KvCriticalLock lock(_csWebMgr);
    m_strBaseDir = dir;
}

CString KvWebMgr::GetBaseDirectory() const {
    KvCriticalLock lock(_csWebMgr);
    if (!m_strBaseDir.IsEmpty()) return m_strBaseDir;
    KvWebApp* app = KvGetWebApp();
    return app ? app->m_strBasePath : CString();
}

void KvWebMgr::SetSiteClass(const char* kindOrHost, const char* className) {
    KvCriticalLock lock(_csWebMgr);
    m_mapSiteClass.SetAt(kindOrHost, className);
}

int KvWebMgr::GetSiteCount() {
    KvCriticalLock lock(_csWebMgr);
    return m_mapWebObject.GetCount();
}

std::vector<KvWebObject*> KvWebMgr::GetSites() {
    std::vector<KvWebObject*> sites;
    KvCriticalLock lock(_csWebMgr);
    POSITION pos = m_mapWebObject.GetStartPosition();
    while (pos) {
        CString key;
        KvObject* obj = nullptr;
        m_mapWebObject.GetNextAssoc(pos, key, obj);
        if (obj) sites.push_back(static_cast<KvWebObject*>(obj));
    }
    return sites;
}

KvWebObject* KvWebMgr::CreateSite(const char* kindOrHost, const char* host) {
    CString className;
    if (!m_mapSiteClass.Lookup(kindOrHost, className)) return nullptr;
    const KvRuntimeClass* cls = KvRuntimeClass::FromName(className);
    const CString kind(kindOrHost);
    if (!cls && (kind == "cld" || kind == "cwd" || kind == "crd")) {
        // Until the kind's own site lands, its databases still get the
        // engine's pages (sign-in, control panel, settings).
        cls = KvRuntimeClass::FromName("KvWebEngineSite");
    }
    if (!cls || !cls->IsDerivedFrom(RUNTIME_CLASS(KvWebObject))) {
        LogError(KV_LOG_INFO, "Local web %s skipped: no site class %s.", host, className.c_str());
        return nullptr;
    }
    auto* site = static_cast<KvWebObject*>(cls->CreateObject());
    if (!site) return nullptr;
    site->SetDomain(host);
    site->SetHostName(host);
    return site;
}

// --- building the set ------------------------------------------------------------------

int KvWebMgr::Initiate() {
    KvCriticalLock lock(_csWebMgr);
    if (m_bInitiated) return 1;
    const CString base = GetBaseDirectory();
    int ok = InitiateLocalWebs(base);
    if (ok) ok = InitiateLocalFileWebs(base);
    m_bInitiated = ok;
    return ok;
}

int KvWebMgr::InitiateLocalWebs(const CString& base) {
    const CString dir = base + "/LocalWeb";
    std::vector<std::string> names;
    if (!KvListDirectory(dir, "*.c?d", false, names)) return 1;
    for (const std::string& n : names) {
        if (n.size() < 5) continue;
        CString name(n);
        CString kind = name.Right(3), host = name.Left(name.GetLength() - 4);
        kind.MakeLower();
        host.MakeLower();
        const bool isDbKind = kind == "cld" || kind == "cwd" || kind == "crd";
        KvWebObject* site = CreateSite(isDbKind ? kind.c_str() : host.c_str(), host);
        if (!site) continue;
        site->SetBasePath(base);
        site->SetHostName(site->GetDomain());
        site->SetDbFileName(dir + "/" + name);
        AddWebObject(site);
    }
    return 1;
}

int KvWebMgr::InitiateLocalFileWebs(const CString& base) {
    const CString dir = base + "/LocalWeb";
    std::vector<std::string> names;
    if (!KvListDirectory(dir, "*", true, names)) return 1;
    const KvRuntimeClass* cls = KvRuntimeClass::FromName("KvWebLocalFile");
    if (!cls) return 1;
    for (const std::string& n : names) {
        CString host(n);
        host.MakeLower();
        auto* site = static_cast<KvWebObject*>(cls->CreateObject());
        if (!site) continue;
        site->SetDomain(host);
        // The plain-file site serves from the directory's real name.
        site->SetDbFileName(CString(n));
        site->SetBasePath(base);
        site->SetHostName(host);
        AddWebObject(site);
    }
    return 1;
}

int KvWebMgr::AddWebObject(KvWebObject* obj) {
    if (!obj) return 0;
    KvCriticalLock lock(_csWebMgr);
    KvObject* previous = nullptr;
    m_mapWebObject.Lookup(obj->GetDomain(), previous);
    m_mapWebObject[obj->GetDomain()] = obj;
    if (previous && previous != obj && m_arrRetired.Add(previous) < 0) {
        // Out of memory: leaking one object beats deleting it under a
        // running request.
        LogError(KV_LOG_ERROR, "Local web %s: replaced site kept.", obj->GetDomain().c_str());
    }
    return 1;
}

KvWebObject* KvWebMgr::FindWebObject(const char* host) {
    KvCriticalLock lock(_csWebMgr);
    KvObject* obj = nullptr;
    return m_mapWebObject.Lookup(host, obj) ? static_cast<KvWebObject*>(obj) : nullptr;
}

// --- routing ------------------------------------------------------------------------------

int KvWebMgr::GetResponse(const char* host, const char* hostIPAddr, const char* clientIPAddr, KvHttpRequest* request,
                          KvHttpResponse* response) {
    if (!request || !response) return 0;
    if (!m_bInitiated) Initiate();
    CString key(host);
    key.Trim();
    key.MakeLower();
    KvWebObject* site = FindWebObject(key);
    if (!site) return 0;
    if (site->GetResponseFrom(hostIPAddr, clientIPAddr, request, response)) return 1;
    // A local host never goes to the internet.
    site->AnswerNotHandled(request, response);
    return 1;
}

int KvWebMgr::IsLocalHost(const char* host) {
    if (!m_bInitiated) Initiate();
    CString key(host);
    key.Trim();
    key.MakeLower();
    return FindWebObject(key) ? 1 : 0;
}

int KvWebMgr::AddNewLocalWeb(const char* dbFile, const char* kindText) {
    CString name = GetFileNameOnly(dbFile);
    if (name.GetLength() < 5) return 0;
    CString kind(kindText), host = name.Left(name.GetLength() - 4);
    kind.MakeLower();
    host.MakeLower();
    if (kind != "cld" && kind != "cwd" && kind != "crd" && kind != "csd") return 0;
    KvCriticalLock lock(_csWebMgr);
    KvWebObject* site = CreateSite(kind, host);
    if (!site) return 0;
    site->SetHostName(host);
    site->SetDbFileName(dbFile);
    AddWebObject(site);
    site->SetBasePath(GetBaseDirectory());
    return 1;
}

void KvWebMgr::UpdateLocalWebInfo(const char* host, const char* name, const char* description) {
    KvWebObject* site = FindWebObject(host);
    if (!site) return;
    site->SetHostName(name);
    site->SetDescription(description);
}

// --- the list of sites ----------------------------------------------------------------

int KvWebMgr::ConvertLocalWebListToSimpleLinks(KvObjectArray& out) {
    // The sites are copied under the class lock, then each is initiated
    // under its own lock alone: the class lock is never held while a
    // site's lock is taken.
    for (KvWebObject* site : GetSites()) {
        if (!site->IsInitiated()) {
            KvCriticalLock siteLock(site->GetLock());
            if (!site->IsInitiated()) site->Initiate();
        }
        auto* item = new KvSimpleLinkItem(site->GetHomeUrl(), site->GetHostName(), site->GetDescription());
        if (!out.InsertSort(item)) delete item;
    }
    return 1;
}

CString KvWebMgr::RenderLocalWebList(int page, int paged) {
    KvObjectArray links;
    ConvertLocalWebListToSimpleLinks(links);
    CString html;
    auto link = [](const KvSimpleLinkItem* item) {
        return HtmlLink(HtmlSafeHref(item->m_strUrl), HtmlEscape(item->m_strTitle), nullptr);
    };
    if (!paged) {
        for (int i = 0; i < links.GetSize(); ++i) {
            auto* item = static_cast<KvSimpleLinkItem*>(links.GetAt(i));
            html += "<tr><td><font face=\"Verdana\" size=\"2\">" + link(item) + "</font></td></tr>";
        }
        return html;
    }
    const int count = links.GetSize();
    if (page < 1) page = 1;
    CString pager;
    if (count > 10) pager = HtmlPagePosition("/localweb.php?op=show", count, 10, page);
    html = pager + "<ul>";
    // A page number from a request may be anything: the first index is
    // computed wide, and a page past the end shows an empty list.
    const long long first = (long long)page * 10 - 10;
    for (int i = first < count ? (int)first : count, shown = 0; i < count && shown < 10; ++i, ++shown) {
        auto* item = static_cast<KvSimpleLinkItem*>(links.GetAt(i));
        html += "<li>" + link(item);
        if (!item->m_strDescription.IsEmpty()) html += "<br><small>" + HtmlEscape(item->m_strDescription) + "</small>\r\n";
    }
    html += "</ul>" + pager;
    return html;
}
