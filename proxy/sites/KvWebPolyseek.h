// KvWebPolyseek: the meta-search site. It asks the configured outside
// search services (see ext/KvSEFetch), shows their merged results, keeps
// each service's answer per keyword in the keyword store so that a
// repeated search stays local, publishes every result list as RSS, counts
// keyword popularity and copies chosen results into the link clipboard of
// the client's address, from which the link directories paste.
//
// Requests:
//   / and /index.html          home page (the starting points)
//   /Search/                   starting points
//   /Search/<query>.html       the search page of the query (engine "se")
//   /Search/<query>.xml        its RSS feed
//   /search.php?q=&se=[&op=refresh]   a search (a read: GET or POST)
//   /item_list.php             copy of selected results, emptying the
//                              clipboard (form token, same origin)
//   /top-100.html, /last-updated-terms.html, /sitemap.html, /aboutus.html
//   /Keyword/                  a notice (no keyword database pages here)
//   other *.php                the site engine's modules
//
// Every query, title, description and address from a visitor or a service
// is escaped (braces too); only http and https addresses become links.
#pragma once

#include "base/time/KvTime.h"
#include "proxy/web/KvWebObjectEx.h"

class KvWebPolyseek : public KvWebObjectEx {
    DECLARE_DYNCREATE(KvWebPolyseek)
public:
    KvWebPolyseek() = default;
    ~KvWebPolyseek() override = default;

    // Answers in two passes when a search needs the services: the first
    // pass notes what to ask, the services are asked without the site's
    // lock (other requests of the site are answered meanwhile), their
    // answers go into the keyword store, and the request is answered again
    // from the store.
    int GetResponse(KvHttpRequest* request, KvHttpResponse* response) override;
    int Initiate() override;
    int DoGetResponse() override;
    CString RenderSearchForm(const char* arg) override;
    CString RenderSearchForm2(const char* arg) override;
    CString RenderSearchForm3(const char* arg) override;

    // A visitor's query as it is searched and stored: quotes, apostrophes
    // and control characters dropped, trimmed, lower-case.
    static CString CleanQuery(const char* raw);
    // The engine as asked: "all", "google", "yahoo"; any other name is "msn".
    static CString EngineName(const char* raw);

    // The result list of the engine for the query: from the keyword store
    // unless `refresh` (or nothing is stored), else from the services,
    // "all" asking them at the same time. `updated` is when the newest
    // answer used was fetched. False when no result was found.
    bool SearchEngineRequestToArray(const CString& engine, const CString& query, KvObjectArray* links,
                                    KvTime& updated, bool refresh);

protected:
    int ResponseSearch();
    int ResponseSearchXML();
    int ResponseStartingPoints();
    int DoResponseSearch(const CString& engine, const CString& query);
    int DoResponseSearchXML(const CString& engine, const CString& query);
    // "top-100.html", "last-updated-terms.html", "sitemap.html", "aboutus.html".
    int ResponseSimpleWebPage(const CString& file);
    int ResponseItemList();
    int ResponseSitePage(const CString& title, const CString& description, const CString& body,
                         const CString& trail);

    CString RenderSearchBox(const CString& query, int size = 36);
    CString RenderSearchResult(const CString& engine, const CString& query);
    CString RenderOtherServices(const CString& engine, const CString& query);
    CString RenderFeatureTerms();
    // What the client's link clipboard holds (titles, escaped).
    CString RenderClipboard();

    CString m_strEngine;
    CString m_strQuery;

private:
    // Set by GetResponse for one pass of a request (under the site's lock).
    bool m_bDeferFetch = false;  // note the services to ask instead of asking
    bool m_bStoreOnly = false;   // the services were asked: read the store only
    CString m_strPendingQuery;   // what the first pass needs asked
    int m_nPendingServices = 0;  // one bit per service
};
