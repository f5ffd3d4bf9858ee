// KvWebObjectEx: the repository and search store of a folder site.
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/log/KvLogError.h"
#include "proxy/repo/KvRepoBase.h"
#include "proxy/repo/KvSearchStore.h"
#include "proxy/web/KvWebObjectEx.h"

bool KvWebObjectEx::OpenSiteRepo(KvRepoBase& repo, const char* site, const char* content) {
    repo.SetDatabase(&m_db);
    if (!repo.Open(m_strDbFileName)) {
        LogError(KV_LOG_ERROR, "%s %s: its %s cannot be read from %s.", site, m_strDomain.c_str(), content,
                 m_strDbFileName.c_str());
        m_bInitiated = 0;
        return false;
    }
    if (GetSystemVar("hp_theme").IsEmpty()) SetSystemVar("hp_theme", "VuvUrad");
    return true;
}

void KvWebObjectEx::OpenSearchStore(KvSearchStore& search, const char* site) {
    search.SetContentDatabase(&m_db);
    const CString store = StrFormat("%s/Temp/%s.srt", m_strBasePath.c_str(), m_strDomain.c_str());
    if (search.OpenStore(store)) (void)search.ClearSearchProfiles();
    else LogError(KV_LOG_ERROR, "%s %s: searches cannot be kept in %s.", site, m_strDomain.c_str(), store.c_str());
}

void KvWebObjectEx::ForgetSearches(KvSearchStore& search, const char* site) {
    if (search.IsOpen() && !search.ClearSearchProfiles()) {
        LogError(KV_LOG_ERROR, "%s %s: remembered searches could not be emptied.", site, m_strDomain.c_str());
    }
}

CString KvWebObjectEx::HeadingAdvSnippet() {
    const CString channel = GetSystemVar("google_channel");
    if (channel.IsEmpty()) return CString();
    return "</h1>\r\n" + HtmlGoogleAdvNew(channel);
}

void KvWebObjectEx::PlaceAfterHeadings(const CString& snippet) {
    if (snippet.IsEmpty()) return;
    m_strPageContent.Replace("</h1>", snippet);
    m_strPageContent.Replace("</H1>", snippet);
}
