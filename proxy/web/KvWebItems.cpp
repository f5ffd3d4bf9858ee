// KvWebObjectEx: the link lists of the link-based sites.
//
// Links come from outside (feeds, searches, other members), so every text
// of a link is escaped, braces included, and an address becomes a link
// only when it is an http or https address.
#include <cctype>

#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/web/KvWebObjectEx.h"

namespace {

CString StyledTitle(const KvLinkItem& link) {
    CString title = HtmlEscape(link.m_strTitle.IsEmpty() ? link.m_strUrl : link.m_strTitle);
    if (link.m_nFlags & 1) title = "<b>" + title + "</b>";
    if (link.m_nFlags & 2) title = "<i>" + title + "</i>";
    return title;
}

}  // namespace

CString KvWebObjectEx::RenderItemArray(KvWebFolder* folder, KvObjectArray& links) {
    CString out = "<div id=\"item-list\"><dl>\r\n";
    for (int i = 0; i < links.GetSize(); ++i) {
        auto* link = dynamic_cast<KvLinkItem*>(links.GetAt(i));
        if (link) out += RenderOneItem(i + 1, folder, link);
    }
    return out + "</dl></div>\r\n";
}

CString KvWebObjectEx::RenderOneItem(int index, KvWebFolder* folder, KvLinkItem* link) {
    if (!link) return CString();
    const int folderId = folder ? folder->m_nID : link->m_nFolder;
    const bool webUrl = KvIsWebAddress(link->m_strUrl);
    const CString href = HtmlEscapeAttr(link->m_strUrl);
    CString out = StrFormat("<dt><input type=\"checkbox\" name=\"item_%d\" value=\"%d\">&nbsp;", index, link->m_nID);
    out += StrFormat("<a href=\"/phpmod/jump.php?id=%d\">%s</a>&nbsp;", link->m_nID, StyledTitle(*link).c_str());
    if (webUrl) {
        out += "<a href=\"" + href + "\" target=\"_blank\" rel=\"noopener noreferrer\"><img src=\"/images/nw1.gif\" "
               "border=\"0\" width=\"12\" height=\"11\"></a>";
    }
    if (link->m_bGreat) out += "&nbsp;<img src=\"/images/great.gif\">";
    const bool admin = IsUserAdmin();
    const bool editLinks = admin && HasLinkModule();
    if (editLinks) {
        out += StrFormat("&nbsp;<a href=\"/phpmod/link.php?op=edit&amp;cat=%d&amp;id=%d\" title=\"Edit this link "
                         "item\">EDIT</a>",
                         folderId, link->m_nID);
    }
    out += "</dt>\r\n<dd>";
    if (!link->m_strNote.IsEmpty() && link->m_strNote != "(NULL)") {
        out += "<span class=\"item-attr\">[" + HtmlEscape(link->m_strNote) + "]</span> ";
    }
    out += HtmlEscape(link->m_strDesc);
    if (webUrl) out += " " + HtmlSiteInfo(link->m_strUrl);
    if (editLinks) {
        out += StrFormat(" <a href=\"/phpmod/link.php?op=owner&amp;cat=%d&amp;id=%d\" title=\"Find the folders of "
                         "this link\">OWNER</a>",
                         folderId, link->m_nID);
    }
    if (admin) {
        out += StrFormat(" <br><span class=\"item-attr\">%s %s %s. RANK: %d. HITS: %d. URL: %s</span>",
                         link->m_bShow ? "SHOW" : "HIDDEN", link->m_bActive ? "ACTIVE" : "NON-ACTIVE",
                         link->m_bGreat ? "GREAT" : "NORMAL", link->m_nRank, link->m_nHits,
                         HtmlEscape(link->m_strUrl).c_str());
    }
    return out + "</dd>\r\n";
}
