// KvWebLocal: showing a page and the list of a folder's pages.
#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/sites/KvWebLocal.h"
#include "proxy/web/KvParseImp.h"

namespace {

CString Emphasised(CString text, int flags) {
    if (flags & 1) text = "<b>" + text + "</b>";
    if (flags & 2) text = "<i>" + text + "</i>";
    return text;
}

// The see-also block and the attribution under a page.
CString PageFooter(const KvWebPage& page) {
    CString out;
    if (!page.m_strSeeAlso.IsEmpty()) {
        out += "<div class=\"see-also\"><h3>" +
               HtmlEscape(page.m_strSeeAlsoTitle.IsEmpty() ? CString("See also") : page.m_strSeeAlsoTitle) +
               "</h3>\r\n" + page.m_strSeeAlso + "</div>\r\n";
    }
    CString attr;
    if (!page.m_strAuthor.IsEmpty()) attr += "Author: " + HtmlEscape(page.m_strAuthor);
    if (!page.m_strSrcDesc.IsEmpty()) attr += CString(attr.IsEmpty() ? "" : ". ") + "Source: " + HtmlEscape(page.m_strSrcDesc);
    if (!attr.IsEmpty()) out += "<div class=\"page-attr\">" + attr + "</div>\r\n";
    return out;
}

}  // namespace

int KvWebLocal::ResponseWebPage(const CString& dir, const CString& file) {
    CString op = m_cgi.GetValue("op", "");
    op.MakeLower();
    const int folderId = dir == "/" ? 0 : m_repo.FindFolderId(dir);
    if (op == "edit") {
        const int pageId = folderId >= 0 ? m_repo.FindPageId(folderId, file) : 0;
        if (pageId > 0) return ResponseRedirect(StrFormat("/phpmod/wpage.php?op=edit&cat=%d&id=%d", folderId, pageId));
        return ResponseError("%s", m_strNotFound.c_str());
    }
    if (folderId < 0 || !m_repo.GetFolder(folderId, &m_folder)) {
        m_folder.m_nID = -1;
        return ResponseNotFound();
    }
    m_strFolderPath = dir;
    // Read levels come before anything about the page, its redirect
    // included: a hidden folder tells a visitor nothing.
    if (!m_folders.MayRead(folderId)) return ResponseUnauthorisized();
    if (!m_repo.GetPage(folderId, file, &m_page)) return ResponseNotFound();
    const bool admin = IsUserLogin() && IsUserAdmin();
    if (!admin && !m_folders.MayWrite(m_folder) && (!m_page.m_bActive || !m_page.m_bShow)) {
        m_page = KvWebPage();
        return ResponseNotFound();
    }
    if (!m_page.m_strRedirect.IsEmpty()) return ResponseRedirect(m_page.m_strRedirect);

    CString trail = GetCurrentPath(dir);
    if (file.CompareNoCase("index.html") != 0) {
        trail += " > " + HtmlLink(HtmlEscapeAttr(UrlEscapePath(dir + m_page.m_strName)), HtmlEscape(m_page.m_strLabel),
                                  nullptr);
    }
    m_strPageTitle = m_page.m_strTitle;
    m_strPageDesc = m_page.m_strDesc;
    m_strPageKeywords = GenPageKeywords(m_page.m_strKeywords);
    m_strPageRobots = m_page.m_strRobots;
    // A folder's own page is the folder's front: no author line there.
    m_strPageContent = ParseString(m_page.m_strContent);
    if (file.CompareNoCase("index.html") != 0 || !m_page.m_strSeeAlso.IsEmpty()) m_strPageContent += PageFooter(m_page);
    KvParseImp imp;
    imp.AddVariable("current_path", trail);
    imp.AddVariable("page_author", HtmlEscape(m_page.m_strAuthor));
    return WebPageShow("wpage.htm", &imp);
}

CString KvWebLocal::RenderPageList() {
    if (m_folder.m_nID < 0) return CString();
    const bool admin = IsUserLogin() && IsUserAdmin();
    const bool writer = m_folders.MayWrite(m_folder);
    CString filter = "page_name <> 'index.html'";
    if (!writer) filter += " and page_show=1 and page_active=1";
    KvObjectArray pages;
    m_repo.PopulatePage(m_folder.m_nID, filter, 1000, 0, &pages);
    if (pages.IsEmpty()) return CString();
    CString out("<dl class=\"page-list\">\r\n");
    for (int i = 0; i < pages.GetSize(); ++i) {
        const auto* p = static_cast<KvWebPage*>(pages[i]);
        const CString href = HtmlEscapeAttr(UrlEscapePath(m_strFolderPath + p->m_strName));
        out += "<dt>" + HtmlLink(href, Emphasised(HtmlEscape(p->m_strLabel), p->m_nFlags), nullptr) + "</dt>\r\n";
        out += "<dd>" + HtmlEscape(p->m_strDesc);
        if (writer || admin) {
            // Descriptions end with a full stop already.
            out += CString(p->m_strDesc.Right(1) == "." || p->m_strDesc.IsEmpty() ? " " : ". ") + HtmlLink(HtmlEscapeAttr(StrFormat("/phpmod/wpage.php?op=edit&cat=%d&id=%d", p->m_nFolder,
                                                            p->m_nID) +
                                                  LinkToken()),
                                   "EDIT", nullptr);
        }
        CString source;
        if (!p->m_strSrcDesc.IsEmpty()) source = ". Source: " + HtmlEscape(p->m_strSrcDesc);
        out += StrFormat(" <br><span class=\"item-attr\">[Last Updated: %s. Author: %s%s]</span>",
                         p->m_timeUpdateOn.Format("%Y-%m-%d %H:%M:%S").c_str(), HtmlEscape(p->m_strAuthor).c_str(),
                         source.c_str());
        out += "</dd>\r\n";
    }
    return out + "</dl>\r\n";
}
