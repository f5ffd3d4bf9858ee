// The plain database site.
#include "proxy/sites/KvWebEngineSite.h"

#include "inet/html/KvHtmlEscape.h"
#include "proxy/web/KvParseImp.h"

IMPLEMENT_DYNCREATE(KvWebEngineSite, KvWebObjectEx)

int KvWebEngineSite::Initiate() { return InitiateSite(); }

int KvWebEngineSite::DoGetResponse() {
    if (m_strCurDir == "/phpmod/") return ResponsePhpModule();
    if (m_strPath == "/" || m_strPath == "/index.html" || m_strPath == "/index.htm") return ResponseHomePage();
    return 0;
}

int KvWebEngineSite::ResponseHomePage() {
    m_strPageTitle = GetHostName();
    m_strPageDesc = GetDescription();
    m_strPageKeywords = GetSystemVar("hp_keywords");
    const CString description = GetDescription();
    m_strPageContent = "<p>" + HtmlEscape(description.IsEmpty() ? "Welcome to " + GetHostName() + "." : description) +
                       "</p>\r\n";
    KvParseImp imp;
    return WebPageShow("wpage.htm", &imp);
}
