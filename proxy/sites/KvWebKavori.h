// KvWebKavori: the portal, the system's own start page at the portal host.
// It shows the home page, the browsing history, a browser over the cache
// stores, the list of local sites and a form that makes a new one, the
// information pages, the set-up page (proxy auto-configuration and the
// configuration in force) and the advertising items other sites show.
//
// Requests:
//   / and /index.html          home page
//   /proxy.pac                 proxy auto-configuration for browsers
//   /SETools/...               search-tools pages
//   /error.css                 the shipped style sheet of error pages
//   <name>.php                 the portal's pages (see ResponsePhpModule),
//                              else the site engine's modules
//   anything else              the local not-found page (a local host name
//                              is never served from the internet)
//
// Every value taken from the cache, the history, a request or a stored
// site is escaped on its page; only http and https addresses become links.
// Changes (site creation, advertising items, cache deletions) need an
// administrator, the form token and a same-site request (AllowStateChange).
#pragma once

#include "proxy/web/KvWebObjectEx.h"

class KvAdvItem;
class KvRepoKavori;

// The creation form of a new local site.
struct KvDomainInfo {
    CString type;      // "cwd" local web site, "cld" link directory, "crd" RSS reader
    CString domain;    // the new site's host name
    CString name;      // hp_name
    CString desc;      // hp_desc
    CString keywords;  // hp_keywords
    CString adminId;   // member 1's name
    CString password;  // member 1's password (stored as its MD5)
};

class KvWebKavori : public KvWebObjectEx {
    DECLARE_DYNCREATE(KvWebKavori)
public:
    KvWebKavori();
    ~KvWebKavori() override;

    int Initiate() override;
    int DoGetResponse() override;
    int ResponsePhpModule() override;
    int WebPageShow(const char* file, KvParseImp* imp) override;
    // The portal's navigation bar, footer and search boxes (to the
    // meta-search site); an administrator may replace the bar and footer
    // through the settings "hp_header" and "hp_footer".
    CString RenderPageHeader() override;
    CString RenderPageFooter() override;
    CString RenderSearchForm(const char* arg) override;
    CString RenderSearchForm3(const char* arg) override;

    // Whether `name` is a plain template file name: letters, digits, ".",
    // "_" and "-" only, not starting with a dot.
    static bool IsPlainFileName(const CString& name);
    // Whether `domain` is one of the databases new sites are copied from.
    static bool IsTemplateSite(const CString& domain);

protected:
    // --- KvWebKavori.cpp: routing, home page, information pages ---
    int ResponseHomePage();
    int ResponseShowFileContent(const char* templatePath, const char* title);
    int ResponseShowFile();     // "showfile.php": a template file sent unchanged
    int ResponseShowContent();  // "showcontent.php": a template file in the page frame
    int ResponseWebCard(const char* templatePath);
    int ResponseSearchEntry();  // "search.php", "newsearch.php"
    int ResponseSETools();      // below "/SETools/"
    int ResponsePageLinks();    // "pagelinks.php"
    int ResponseOption();       // "option.php": set-up and configuration in force
    // The body in the site's page frame with the trail "Home > <label>".
    int ResponsePortalPage(const char* title, const CString& body, const char* label, const char* url);
    CString RenderHomeLink();
    // --- KvWebKavoriHome.cpp: the home page's pieces ---
    CString RenderSiteCards();
    CString RenderSearchBox(const char* cssClass, const char* query);
    // --- KvWebKavoriOption.cpp: the set-up page's pieces ---
    CString RenderConfigRows();
    CString RenderListRows();
    // --- KvWebKavoriLinks.cpp: the page-links rows ---
    int ReadCachedPage(const CString& url, CString& html);

    // --- KvWebKavoriHistory.cpp ---
    int ResponseHistory();  // "history.php"

    // --- KvWebKavoriPac.cpp ---
    int ResponseProxyPac();  // "/proxy.pac"

    // --- KvWebKavoriCache.cpp: the cache browser ("cache.php") ---
    int ResponseCacheManagement();
    int ResponseCacheShowCacheList();
    int ResponseCacheShowDomainList();
    int ResponseCacheShowObjectList();
    int ResponseCacheShowPage();
    // --- KvWebKavoriCacheSearch.cpp: searching and deleting in the cache ---
    int ResponseCacheSearch();                  // op=search
    int ResponseCacheDelete(bool wholeDomain);  // op=delete, op=deldomain

    // --- KvWebKavoriSites.cpp: "linkweb.php", "localweb.php" ---
    int ResponseLocalWeb();
    int ResponseLocalWebList();
    int ResponseLocalWebForm(const KvDomainInfo& info, const char* message);
    bool ReadLocalWebForm(KvDomainInfo& info, CString& message);
    int ResponseDoCreateLocalWeb();
    int ResponseLocalWebCreated(const KvDomainInfo& info);

    // --- KvWebKavoriAds.cpp: advertising items ---
    int ResponseAdManagement();  // "ad-mgmt.php"
    int ResponseAdJump();        // "ad-jump.php"
    int ResponseAdShowJs();      // "ad-show-js.php"
    bool OpenAdRepo(KvRepoKavori& repo);
    int ResponseAdList();
    int ResponseAdEditForm(const KvAdvItem& item, const char* message);
    int ResponseAdSave();
    int ResponseAdDelete();

    KvRepoKavori* m_pRepoKavori = nullptr;  // opened on the site's own database file
};
