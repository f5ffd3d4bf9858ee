// KvWebMgr: the local web sites, one web object per virtual host name, and
// the routing of the proxy's requests to them.
//
// The set of sites is built on the first request from the "LocalWeb"
// directory of the base directory: every "*.c?d" database file (any letter
// case) and every sub-directory (a plain-file site, KvWebLocalFile). The
// kind of a database file picks the site class by run-time class name:
// "cld" KvWebLink, "cwd" KvWebLocal, "crd" KvWebRSS (a kind whose class
// the program does not hold gets the plain site engine, KvWebEngineSite);
// a file of another kind is a portal site when its name is one of the
// fixed host names (KvWebHosts.h). A class that the running program does
// not hold is skipped. Sites created later come through AddNewLocalWeb.
//
// A host the manager serves is always answered here: when no handler takes
// the request, the site answers with its not-found page. Hosts it does not
// serve are left to the proxy (GetResponse answers 0).
//
// Threads: any request thread may call any operation. The class lock
// guards the set of sites; a site's own lock is held while it answers and
// is never taken while the class lock is held. A site replaced by another
// of the same host stays alive (retired) until the manager is destroyed,
// because a request may still be running in it.
#pragma once

#include <atomic>
#include <vector>

#include "base/containers/KvMap.h"
#include "base/containers/KvObject.h"
#include "base/containers/KvObjectArray.h"
#include "base/platform/CString.h"
#include "base/thread/KvCriticalObj.h"

class KvHttpRequest;
class KvHttpResponse;
class KvWebObject;

// One site as the pages that list the sites show it.
struct KvLocalWebInfo {
    CString domain;       // host name
    CString url;          // home URL
    CString name;         // display name (hp_name)
    CString description;  // hp_desc
    CString className;    // the site's run-time class ("KvWebLink"...)
};

class KvWebMgr : public KvObject {
    DECLARE_DYNCREATE(KvWebMgr)
public:
    KvWebMgr();
    ~KvWebMgr() override;
    KvWebMgr(const KvWebMgr&) = delete;
    KvWebMgr& operator=(const KvWebMgr&) = delete;

    // The process-wide manager, created on first use; its destruction is
    // registered with KvCleanupMgr.
    static KvWebMgr* GetInstance();
    static void DestroyInstance();
    static int GetInstanceCount() { return _nInstanceCount.load(); }

    // The proxy's entry: 1 when `host` is a local site (the response is
    // then filled and the caller sends it), 0 otherwise.
    int GetResponse(const char* host, const char* hostIPAddr, const char* clientIPAddr, KvHttpRequest* request,
                    KvHttpResponse* response);
    // 1 when `host` (any letter case) names one of the sites.
    int IsLocalHost(const char* host);
    // Registers a site whose database file was created at run time; `kind`
    // "cld", "cwd", "crd" or "csd". 1 on success.
    int AddNewLocalWeb(const char* dbFile, const char* kind);
    // New display name and description of a site (its settings changed).
    void UpdateLocalWebInfo(const char* host, const char* name, const char* description);
    // The list of all sites by name: paged, pages of 10 with a paging bar;
    // otherwise one table row per site.
    CString RenderLocalWebList(int page, int paged);
    // Every site, each initiated first, ordered by display name (then host).
    std::vector<KvLocalWebInfo> ListLocalWebs();

    void SetReadOnly(int flag) { m_bReadOnly = flag; }
    int IsReadOnly() const { return m_bReadOnly; }

    // The base directory; empty uses the running application's.
    void SetBaseDirectory(const char* dir);
    CString GetBaseDirectory() const;
    // Chooses the run-time class made for a database kind ("cld"...) or for
    // a fixed host name; for hosts and tests that bring their own sites.
    void SetSiteClass(const char* kindOrHost, const char* className);
    int GetSiteCount();
    // Every site, for work outside requests; a site outlives the manager's
    // use of it (replaced ones are kept until the manager goes).
    std::vector<KvWebObject*> GetSites();
    int IsInitiated() const { return m_bInitiated.load(); }

protected:
    int Initiate();
    int InitiateLocalWebs(const CString& base);
    int InitiateLocalFileWebs(const CString& base);
    int AddWebObject(KvWebObject* obj);
    KvWebObject* FindWebObject(const char* host);
    // The site object for a kind or fixed host; null when its class is not
    // in the program.
    KvWebObject* CreateSite(const char* kindOrHost, const char* host);
    int ConvertLocalWebListToSimpleLinks(KvObjectArray& out);

    KvMapStringToObject m_mapWebObject{10};  // host -> KvWebObject, owned
    KvObjectArray m_arrRetired;              // replaced sites, deleted with the manager
    KvMapStringToString m_mapSiteClass;      // kind or fixed host -> class name
    std::atomic<int> m_bInitiated{0};
    int m_bReadOnly = 0;
    CString m_strBaseDir;

    static KvCriticalObj _csWebMgr;
    static KvWebMgr* _glbWebMgr;
    static std::atomic<int> _nInstanceCount;
};
