// The two XML search readers over the configured services.
#include <tinyxml2.h>

#include <ctime>

#include "base/containers/KvObjectArray.h"
#include "base/time/KvTime.h"
#include "inet/fetch/KvDownload.h"
#include "inet/url/KvUrlCode.h"
#include "proxy/feeds/KvFeedSettings.h"
#include "proxy/feeds/KvFeedText.h"
#include "proxy/feeds/KvRssReader.h"
#include "proxy/repo/KvRepoRecords.h"

using tinyxml2::XMLElement;

namespace {

constexpr char kWebSearchPath[] = "/search?q={q}&sc=0&dr=0&raw=8&nrt=11";
constexpr char kBookSearchPath[] =
    "/onca/xml?Service=AWSECommerceService&SubscriptionId=%s&Operation=ItemSearch&SearchIndex=Books"
    "&Keywords={q}&ResponseGroup=Small&ItemPage=1";

CString Text(const XMLElement* e) {
    if (!e) return CString();
    const char* text = e->GetText();
    return KvCollapseSpace(text ? text : "");
}

CString Encoded(const char* query) {
    CString q = query ? query : "";
    UrlEncode(&q);
    return q;
}

KvLinkItem* NewRecord(const char* url, const char* title, const char* description, const char* keywords) {
    auto* record = new KvLinkItem(url, title, description);
    record->m_strKeywords = keywords ? keywords : "";
    record->m_timeUploadOn = KvTime(std::time(nullptr));
    return record;
}

bool Download(const CString& url, CString& text) {
    KvDownloadOutcome outcome;
    return KvDownloadToString(url, text, 0, nullptr, outcome) && outcome.status >= 200 && outcome.status <= 299;
}

}  // namespace

bool KvReadWebSearchAnswer(const CString& text, KvObjectArray* links, const char* keywords) {
    tinyxml2::XMLDocument doc;
    doc.Parse(text.c_str(), (size_t)text.GetLength());
    const XMLElement* response = doc.Error() ? nullptr : doc.FirstChildElement("response");
    if (!response || !links) return false;
    for (const XMLElement* r = response->FirstChildElement("result"); r; r = r->NextSiblingElement("result")) {
        CString url = Text(r->FirstChildElement("url"));
        if (url.IsEmpty()) continue;
        CString summary = Text(r->FirstChildElement("sum"));
        EnsureEndPoint(summary);
        links->Add(NewRecord(url, Text(r->FirstChildElement("title")), summary, keywords));
    }
    return true;
}

bool KvReadBookAnswer(const CString& text, KvObjectArray* links, const char* keywords) {
    tinyxml2::XMLDocument doc;
    doc.Parse(text.c_str(), (size_t)text.GetLength());
    const XMLElement* root = doc.Error() ? nullptr : doc.FirstChildElement("ItemSearchResponse");
    const XMLElement* items = root ? root->FirstChildElement("Items") : nullptr;
    if (!items || !links) return false;
    const KvFeedSettings s = KvGetFeedSettings();
    for (const XMLElement* item = items->FirstChildElement("Item"); item; item = item->NextSiblingElement("Item")) {
        const XMLElement* attributes = item->FirstChildElement("ItemAttributes");
        CString asin = Text(item->FirstChildElement("ASIN"));
        CString shown = s.bookShop + "/exec/obidos/ASIN/" + Encoded(asin) + "/";
        CString description;
        description.Format("by %s", Text(attributes ? attributes->FirstChildElement("Author") : nullptr).c_str());
        KvLinkItem* record = NewRecord(shown + Encoded(s.associateTag),
                                       Text(attributes ? attributes->FirstChildElement("Title") : nullptr),
                                       description, keywords);
        record->m_strShowAs = shown;
        links->Add(record);
    }
    return true;
}

bool SearchGigablastToLinks(const char* query, KvObjectArray* links, const char* keywords) {
    if (links) links->RemoveAll();
    const KvFeedSettings s = KvGetFeedSettings();
    if (s.webSearch.IsEmpty() || !links) return false;
    CString text;
    if (!Download(StrQueryFormat(s.webSearch + kWebSearchPath, Encoded(query)), text)) return false;
    return KvReadWebSearchAnswer(text, links, keywords);
}

bool SearchAmazonToLinks(const char* query, KvObjectArray* links, const char* keywords) {
    if (links) links->RemoveAll();
    const KvFeedSettings s = KvGetFeedSettings();
    if (s.bookService.IsEmpty() || s.bookShop.IsEmpty() || !links) return false;
    CString path;
    path.Format(kBookSearchPath, Encoded(s.subscriptionId).c_str());
    CString text;
    if (!Download(StrQueryFormat(s.bookService + path, Encoded(query)), text)) return false;
    return KvReadBookAnswer(text, links, keywords);
}
