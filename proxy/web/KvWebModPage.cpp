// KvWebObjectEx: the page of a built-in module: its template shown in the
// site's page frame.
#include "inet/html/KvHtml.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebObjectEx.h"

int KvWebObjectEx::ShowModulePage(const char* templatePath, const char* title, const char* themeFile,
                                  KvParseImp* imp) {
    m_strPageTitle = title;
    m_strPageRobots = "noindex";
    // The template's placeholders are filled by the page frame's pass: the
    // handler's variables come first in `imp`, so they win.
    m_strPageContent = LoadSimpleOrLocalFile(templatePath);
    return WebPageShow(themeFile, imp);
}

CString KvWebObjectEx::GetControlPanelTrail(const char* label, const char* url) {
    CString trail = HtmlLink(HtmlEscapeAttr(m_strHomeUrl + "/"), HtmlEscape(m_strTopLabel)) + " > " +
                    HtmlLink("/phpmod/cpanel.php", "Control Panel");
    if (label && *label) trail += " > " + HtmlLink(HtmlEscapeAttr(url), HtmlEscape(label));
    return trail;
}
