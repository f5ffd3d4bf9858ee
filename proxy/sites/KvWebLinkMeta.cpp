// KvWebLink: a link made from the meta data of a page saved in the Temp
// directory ("grabmeta.php").
#include <unistd.h>

#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/repo/KvPageMeta.h"
#include "proxy/sites/KvWebLink.h"

namespace {

// A plain file name: no folder part, nothing hidden, no way up.
bool IsPlainFileName(const CString& name) {
    if (name.IsEmpty() || name[0] == '.') return false;
    for (unsigned char c : name.str()) {
        if (c == '/' || c == '\\' || c < ' ') return false;
    }
    return true;
}

}  // namespace

int KvWebLink::ResponseGrabMeta() {
    if (!AllowStateChange(KvWho::Admin, KvVia::Link)) return 1;
    const CString file = m_cgi.GetValue("file", ""), url = m_cgi.GetValue("url", "");
    if (file.IsEmpty() || url.IsEmpty() || !IsPlainFileName(file) || !KvIsWebAddress(url)) {
        return ResponseError("Invalid parameter");
    }
    const CString path = StrFormat("%s/Temp/%s", m_strBasePath.c_str(), file.c_str());
    const CString text = LoadLocalFile(StrFormat("/Temp/%s", file.c_str()));
    if (access(path.c_str(), R_OK) != 0) return ResponseError("File %s not found", file.c_str());
    (void)unlink(path.c_str());
    KvLinkItem link;
    link.m_strUrl = url;
    (void)GrabMetaDataFromString(text, &link);
    link.m_strTitle.Trim();
    if (link.m_strTitle.IsEmpty()) link.m_strTitle = GetTitleFromUrl(url);
    link.m_strDesc = EnsureEndPoint(link.m_strDesc);
    link.m_strKeywords.MakeLower();
    link.m_strUploadBy = UserGetName();
    (void)m_repo.AddNewItem(0, &link);
    ContentChanged();
    return ResponseRedirect("/");
}
