#include "proxy/feeds/KvRssWriter.h"

#include <ctime>

#include "base/containers/KvObjectArray.h"
#include "base/time/KvTime.h"
#include "inet/html/KvSimpleLink.h"
#include "inet/url/KvUrlCode.h"
#include "proxy/feeds/KvFeedSettings.h"
#include "proxy/feeds/KvFeedText.h"
#include "proxy/repo/KvRepoRecords.h"

namespace {

constexpr char kRfcFormat[] = "%a, %d %b %Y %H:%M:%S GMT";

// Item text: "&amp;" and "&middot;" taken back first, then escaped.
CString ItemText(const CString& text) {
    CString s = text;
    s.Replace("&amp;", "&");
    s.Replace("&middot;", ".");
    return KvXmlEscape(s);
}

CString Head(const char* title, const char* link, const char* description, const CString& buildDate) {
    CString out = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<rss version=\"2.0\"><channel>\r\n";
    out += "<title>" + KvXmlEscape(title) + "</title>\r\n";
    out += "<copyright>" + KvXmlEscape(KvGetFeedSettings().copyright) + "</copyright>\r\n";
    out += "<link>" + KvXmlEscape(link) + "</link>\r\n";
    out += "<description>" + KvXmlEscape(description) + "</description>\r\n";
    out += "<language>en-us</language>\r\n";
    out += "<lastBuildDate>" + buildDate + "</lastBuildDate>\r\n";
    return out;
}

void AppendItem(CString& out, const CString& url, const CString& title, const CString& description,
                const CString& date) {
    const CString link = KvXmlEscape(url);
    out += "<item>\r\n";
    out += "\t<title>" + ItemText(title) + "</title>\r\n";
    out += "\t<link>" + link + "</link>\r\n";
    out += "\t<guid isPermaLink=\"true\">" + link + "</guid>\r\n";
    out += "\t<pubDate>" + date + "</pubDate>\r\n";
    out += "\t<description>" + ItemText(description) + "</description>\r\n";
    out += "</item>\r\n";
}

const char kTail[] = "</channel>\r\n</rss>\r\n";

CString BuildDate() { return KvTime(std::time(nullptr)).FormatGmt(kRfcFormat); }

}  // namespace

CString RssGenerateFromLinks(const char* title, const char* link, const char* description, KvObjectArray* links) {
    const CString buildDate = BuildDate();
    CString out = Head(title, link, description, buildDate);
    for (int i = 0; links && i < links->GetSize(); ++i) {
        const auto* item = dynamic_cast<const KvLinkItem*>(links->GetAt(i));
        if (!item) continue;
        CString date = item->m_timeUploadOn.GetYear() > 0 ? item->m_timeUploadOn.FormatGmt(kRfcFormat) : CString();
        AppendItem(out, item->m_strUrl, item->m_strTitle, item->m_strDesc, date.IsEmpty() ? buildDate : date);
    }
    return out + kTail;
}

CString RssGenerateFromSimpleLinks(const char* title, const char* link, const char* description,
                                   KvObjectArray* links) {
    const CString buildDate = BuildDate();
    CString out = Head(title, link, description, buildDate);
    for (int i = 0; links && i < links->GetSize(); ++i) {
        const auto* item = dynamic_cast<const KvSimpleLinkItem*>(links->GetAt(i));
        if (item) AppendItem(out, item->m_strUrl, item->m_strTitle, item->m_strDescription, buildDate);
    }
    return out + kTail;
}

CString RenderRssVersion(const char* rssUrl) {
    const CString url = KvXmlEscape(rssUrl);
    CString out = "<table cellSpacing=\"0\" cellPadding=\"1\">\r\n<tr>\r\n";
    out += "<td><a href=\"" + url +
           "\" target=\"_blank\"><img src=\"/_images/xml.gif\" border=\"0\" width=\"36\" height=\"17\" "
           "title=\"Get RSS Version Of This Page\"></a></td>\r\n";
    const CString reader = KvGetFeedSettings().feedReader;
    if (!reader.IsEmpty()) {
        CString encoded = rssUrl ? rssUrl : "";
        UrlEncode(&encoded);
        out += "<td><a href=\"" + KvXmlEscape(reader + "/rss?url=" + encoded) +
               "\" target=\"_blank\"><img src=\"/_images/addtomyyahoo4.gif\" border=\"0\" width=\"91\" "
               "height=\"17\" title=\"Add To My Yahoo\"></a></td>\r\n";
    }
    return out + "</tr>\r\n</table>\r\n";
}
