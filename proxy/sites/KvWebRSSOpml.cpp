// KvWebRSS: the feed folders a visitor may see as an OPML document
// ("opml.php"), the list every feed reader exchanges.
#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/sites/KvWebRSS.h"

void KvWebRSS::RenderOpmlLevel(int parent, const CString& indent, int depth, CString& out) {
    if (depth > KV_SITEMAP_MAX_DEPTH) return;
    KvObjectArray children;
    m_repo.PopulateFolder(parent, &children, m_folders.ChildFilter());
    for (int i = 0; i < children.GetSize(); ++i) {
        const auto* f = dynamic_cast<KvWebFolderRSS*>(children[i]);
        if (!f) continue;
        const CString text = HtmlEscape(f->m_strTitle.IsEmpty() ? f->m_strName : f->m_strTitle);
        if (KvIsWebAddress(f->m_strRssUrl)) {
            out += StrFormat("%s<outline type=\"rss\" text=\"%s\" title=\"%s\" xmlUrl=\"%s\"/>\n", indent.c_str(),
                             text.c_str(), text.c_str(), HtmlEscape(f->m_strRssUrl).c_str());
            continue;
        }
        out += StrFormat("%s<outline text=\"%s\">\n", indent.c_str(), text.c_str());
        RenderOpmlLevel(f->m_nID, indent + "  ", depth + 1, out);
        out += indent + "</outline>\n";
    }
}

int KvWebRSS::ResponseOpml() {
    CString out("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"2.0\">\n<head><title>");
    out += HtmlEscape(GetHostName()) + "</title></head>\n<body>\n";
    RenderOpmlLevel(0, "  ", 1, out);
    out += "</body>\n</opml>\n";
    if (!m_pResponse) return 0;
    m_pResponse->m_bufBody.Empty();
    m_pResponse->m_bufBody.PutString(out);
    return ResponseFinish("text/x-opml; charset=utf-8");
}
