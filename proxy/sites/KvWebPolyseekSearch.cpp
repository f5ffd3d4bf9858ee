// KvWebPolyseek: searching through the services, the result page, its RSS
// feed and copying results into the link clipboard.
#include <algorithm>
#include <ctime>
#include <thread>
#include <vector>

#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "ext/KvSEFetch/KvSEFetch.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/html/KvSimpleLink.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/feeds/KvRssWriter.h"
#include "proxy/repo/KvKeywordMgr.h"
#include "proxy/repo/KvLinkCard.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/sites/KvFolderSite.h"
#include "proxy/sites/KvWebPolyseek.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvSiteLockRelease.h"

namespace {

constexpr const char* kServices[] = {"google", "yahoo", "msn"};
constexpr int kServiceCount = 3;

// One service's part of a search.
struct ServiceAnswer {
    KvObjectArray links;
    KvTime updated;
    bool found = false;  // links to show
};

// Whether the store holds an answer of the service for the query: links,
// or the service's empty answer (kept too, so the next search stays local).
bool FromStore(const char* service, const CString& query, ServiceAnswer& answer) {
    CString text;
    if (!KvKeywordMgr::GetInstance()->GetKeywordCache(query, service, text, answer.updated)) return false;
    if (!text.IsEmpty()) ConvertTextToSimpleLink(text, &answer.links);
    answer.found = answer.links.GetSize() > 0;
    return true;
}

// Keeps a fresh answer in the store. A failed one falls back to what is
// stored, so a failed refresh loses nothing; an empty one is stored with
// its time unless links were stored before.
void SettleFetched(const char* service, const CString& query, bool ok, ServiceAnswer& answer) {
    if (ok && answer.links.GetSize() > 0) {
        CString text;
        ConvertSimpleLinkToText(&answer.links, &text);
        KvKeywordMgr::GetInstance()->SetKeywordCache(query, service, text);
        answer.updated = KvTime(std::time(nullptr));
        answer.found = true;
        return;
    }
    answer.links.RemoveAll();
    (void)FromStore(service, query, answer);
    if (ok && !answer.found) {
        KvKeywordMgr::GetInstance()->SetKeywordCache(query, service, "");
        answer.updated = KvTime(std::time(nullptr));
    }
}

// Asks the services at the same time, each bounded by the download
// time-out, so a slow one delays the page by its own time only.
void AskServices(const CString& query, const std::vector<int>& asked, ServiceAnswer* answers, int* ok) {
    std::vector<std::thread> fetchers;
    for (int i : asked) {
        fetchers.emplace_back([i, &query, answers, ok] {
            ok[i] = KvServiceSearchToArray(kServices[i], query, &answers[i].links);
        });
    }
    for (std::thread& t : fetchers) t.join();
}

CString ProperCase(const CString& text) {
    KvString s(text);
    return s.GetProperCase();
}

}  // namespace

bool KvWebPolyseek::SearchEngineRequestToArray(const CString& engine, const CString& query, KvObjectArray* links,
                                               KvTime& updated, bool refresh) {
    if (!links || query.IsEmpty()) return false;
    ServiceAnswer answers[kServiceCount];
    int ok[kServiceCount] = {0, 0, 0};
    std::vector<int> asked;
    for (int i = 0; i < kServiceCount; ++i) {
        if (engine != "all" && engine != kServices[i]) continue;
        if ((!refresh || m_bStoreOnly) && FromStore(kServices[i], query, answers[i])) continue;
        if (!m_bStoreOnly) asked.push_back(i);
    }
    if (!asked.empty() && m_bDeferFetch) {
        if (m_nPendingServices == 0) {
            m_strPendingQuery = query;
            for (int i : asked) m_nPendingServices |= 1 << i;
        }
        return false;
    }
    AskServices(query, asked, answers, ok);
    for (int i : asked) SettleFetched(kServices[i], query, ok[i] != 0, answers[i]);

    links->RemoveAll();
    bool any = false;
    for (ServiceAnswer& answer : answers) {
        if (!answer.found) continue;
        CombineSimpleLinks(links, &answer.links);
        if (!any || updated < answer.updated) updated = answer.updated;
        any = true;
    }
    return links->GetSize() > 0;
}

int KvWebPolyseek::GetResponse(KvHttpRequest* request, KvHttpResponse* response) {
    KvCriticalLock lock(m_csLock);
    m_strPendingQuery.Empty();
    m_nPendingServices = 0;
    m_bDeferFetch = true;
    m_bStoreOnly = false;
    int result = KvWebObjectEx::GetResponse(request, response);
    m_bDeferFetch = false;
    if (m_nPendingServices == 0 || !response) return result;

    const CString query = m_strPendingQuery;
    std::vector<int> asked;
    for (int i = 0; i < kServiceCount; ++i) {
        if (m_nPendingServices & (1 << i)) asked.push_back(i);
    }
    ServiceAnswer answers[kServiceCount];
    int ok[kServiceCount] = {0, 0, 0};
    const CString hostAddr = m_strHostIPAddr;
    {
        KvSiteLockRelease release(m_csLock, m_pRequest, m_pResponse, m_strClientIPAddr);
        AskServices(query, asked, answers, ok);
    }
    m_strHostIPAddr = hostAddr;
    for (int i : asked) SettleFetched(kServices[i], query, ok[i] != 0, answers[i]);
    // The first pass's answer is dropped; the second reads what was stored.
    response->Reset();
    m_bStoreOnly = true;
    result = KvWebObjectEx::GetResponse(request, response);
    m_bStoreOnly = false;
    return result;
}

// --- the search page ---------------------------------------------------------------------------

int KvWebPolyseek::ResponseSearch() {
    CString file = m_strCurFile;
    if (file.IsEmpty() || m_strCurDir.GetLength() > 8) return ResponseStartingPoints();
    const int dot = file.ReverseFind('.');
    if (dot >= 0) file = file.Left(dot);
    return DoResponseSearch(EngineName(m_cgi.GetValue("se", "all")), CleanQuery(file));
}

int KvWebPolyseek::DoResponseSearch(const CString& engine, const CString& query) {
    if (query.IsEmpty()) return ResponseRedirect("/Search/");
    m_strEngine = engine;
    m_strQuery = query;
    // Counted once: not again when the request is answered a second time.
    if (!m_bStoreOnly) KvKeywordMgr::GetInstance()->IncHits(query);
    const CString shown = HtmlEscape(query);
    m_strPageKeywords = GenPageKeywords(query + ", search, resource");
    m_strPageRobots = "noindex";
    const CString body = "<h1>" + shown + "</h1>\r\n<div align=\"center\"><center>\r\n" + RenderSearchBox(query) +
                         RenderAdvText("search") + "</center></div>\r\n" + RenderSearchResult(engine, query) +
                         RenderFeatureTerms();
    const CString rssUrl = m_strHomeUrl + "/Search/" + UrlEscapeComponent(query) + ".xml";
    KvParseImp imp;
    imp.AddVariable("current_path", RenderTrail("Search", "/Search/", query,
                                                "/Search/" + UrlEscapeComponent(query) + ".html"));
    imp.AddVariable("rss_version", RenderRssVersion(rssUrl));
    m_strPageTitle = query + " Resources";
    m_strPageDesc = "Internet resources and related terms of '" + query + "', provided as html and RSS format.";
    m_strPageContent = body;
    return WebPageShow("wpage.htm", &imp);
}

CString KvWebPolyseek::RenderSearchResult(const CString& engine, const CString& query) {
    const bool refresh = CString(m_cgi.GetValue("op", "")) == "refresh";
    KvObjectArray links;
    KvTime updated;
    const CString shown = HtmlEscape(query);
    CString out;
    if (engine == "all") out += "<h3>Search Result From Google, Yahoo, and MSN</h3>\r\n";
    if (SearchEngineRequestToArray(engine, query, &links, updated, refresh)) {
        const CString again =
            StrFormat("/search.php?q=%s&se=%s&op=refresh", UrlEscapeComponent(query).c_str(), engine.c_str());
        out += "<p><font face=\"arial,sans-serif\" size=\"-1\">This page is downloaded and saved on KvProxy database "
               "on " +
               updated.Format("%Y-%m-%d %H:%M:%S") +
               ". You can refresh the current content from remote host by click " +
               HtmlLink(HtmlEscapeAttr(again), "HERE") + ".</font></p>\r\n";
        CString list;
        ConvertSimpleLinkToHtml(&links, &list);
        const CString hidden = "<input type=\"hidden\" name=\"q\" value=\"" + HtmlEscapeAttr(query) +
                               "\">\r\n<input type=\"hidden\" name=\"se\" value=\"" + HtmlEscapeAttr(engine) +
                               "\">\r\n";
        out += KvFolderSite::RenderSelectionForm(list + hidden, links.GetSize(), 0, GetFormToken(), false);
        out += RenderClipboard();
    } else {
        out += "<p>No result for query <b>" + shown +
               "</b>. Are you online? Connect this computer to the internet and try again later.</p>\r\n";
    }
    return out + RenderOtherServices(engine, query);
}

CString KvWebPolyseek::RenderOtherServices(const CString& engine, const CString& query) {
    CString out("<p class=\"other-services\">Search <b>" + HtmlEscape(query) + "</b> also with:");
    for (const char* se : {"all", "google", "yahoo", "msn"}) {
        if (engine == se) continue;
        const CString href = StrFormat("/search.php?q=%s&se=%s", UrlEscapeComponent(query).c_str(), se);
        out += " " + HtmlLink(HtmlEscapeAttr(href), se);
    }
    return out + "</p>\r\n";
}

CString KvWebPolyseek::RenderClipboard() {
    KvLinkCard* card = KvLinkCard::GetInstance();
    card->Lock();
    KvLinkCardList* list = card->Get(m_strClientIPAddr);
    CString titles;
    for (int i = 0; i < list->GetSize(); ++i) {
        const auto* item = dynamic_cast<const KvLinkItem*>(list->GetAt(i));
        if (item) titles += "<li>" + HtmlEscape(item->m_strTitle.IsEmpty() ? item->m_strUrl : item->m_strTitle) + "</li>";
    }
    const int count = list->GetSize();
    card->Unlock();
    if (count == 0) return CString();
    return StrFormat("<div class=\"clipboard\">Your clipboard holds %d link(s), ready to paste into a link "
                     "directory:<ul>",
                     count) +
           titles + "</ul></div>\r\n";
}

// --- the RSS feed ------------------------------------------------------------------------------

int KvWebPolyseek::ResponseSearchXML() {
    CString file = m_strCurFile;
    const int dot = file.ReverseFind('.');
    if (dot >= 0) file = file.Left(dot);
    return DoResponseSearchXML(EngineName(m_cgi.GetValue("se", "all")), CleanQuery(file));
}

int KvWebPolyseek::DoResponseSearchXML(const CString& engine, const CString& query) {
    if (query.IsEmpty()) return ResponseRedirect("/Search/");
    KvObjectArray links;
    KvTime updated;
    (void)SearchEngineRequestToArray(engine, query, &links, updated, false);
    const CString title = ProperCase(query) + " Resources";
    const CString description =
        "Internet resources and related terms of '" + query + "', provided as html and RSS format.";
    const CString link = m_strHomeUrl + "/Search/" + UrlEscapeComponent(query) + ".html";
    const CString xml = RssGenerateFromSimpleLinks(title, link, description, &links);
    m_pResponse->m_bufBody.Empty();
    m_pResponse->m_bufBody.PutString(xml);
    return ResponseFinish("text/xml");
}

// --- the clipboard -----------------------------------------------------------------------------

int KvWebPolyseek::ResponseItemList() {
    KvCGI& cgi = m_cgi;
    const bool copy = *cgi.GetValue("Copy", "") != 0;
    for (const char* other : {"Cut", "Paste", "Delete"}) {
        if (*cgi.GetValue(other, "")) return ResponseUnknownAction(other);
    }
    if (!AllowStateChange(KvWho::Anyone, KvVia::Form)) return 1;
    if (!copy) {
        KvFolderSite::ClearClipboard(m_strClientIPAddr);
        return ResponseRedirectToReferer();
    }
    const CString query = CleanQuery(cgi.GetValue("q", ""));
    if (query.IsEmpty()) return ResponseError("Copy: no query given.");
    KvObjectArray results;
    KvTime updated;
    (void)SearchEngineRequestToArray(EngineName(cgi.GetValue("se", "all")), query, &results, updated, false);
    KvObjectArray chosen;
    const int count = std::min(cgi.GetIntValue("item_count", 0), results.GetSize());
    for (int n = 1; n <= count; ++n) {
        if (cgi.GetIntValue(StrFormat("item_%d", n), 0) <= 0) continue;
        const auto* item = static_cast<const KvSimpleLinkItem*>(results[n - 1]);
        chosen.Add(new KvLinkItem(item->m_strUrl, item->m_strTitle, item->m_strDescription));
    }
    KvFolderSite::CopyToClipboard(m_strClientIPAddr, chosen);
    return ResponseRedirectToReferer();
}
