// The modules the link directory and the feed reader share: the clipboard
// ("item_list.php", "item_pop.php") and the opening of their file
// exchanges ("bookmarks.php", "opml.php").
#include "proxy/sites/KvFolderSite.h"
#include "proxy/sites/KvSiteUpload.h"
#include "proxy/web/KvWebObjectEx.h"

int KvFolderSite::ResponseItemList(const ClipboardOperation& run) {
    const CString op = SelectionOperation();
    // The menu's Paste and Clear links are links; the rest come from the
    // selection form.
    const KvVia via = op == "paste" || op == "clear" ? KvVia::Link : KvVia::Form;
    KvCGI& cgi = m_site.GetCGI();
    return run(op, cgi.GetIntValue("cat", -1), ReadSelection(), via) ? m_site.ResponseRedirectToReferer() : 1;
}

int KvFolderSite::ResponseItemPop(const ClipboardOperation& run) {
    KvCGI& cgi = m_site.GetCGI();
    CString op = cgi.GetValue("op", "");
    op.MakeLower();
    if (op != "copy" && op != "cut") return m_site.ResponseUnknownAction(op);
    const int id = cgi.GetIntValue("id", 0);
    std::vector<int> ids;
    if (id > 0) ids.push_back(id);
    return run(op, cgi.GetIntValue("cat", -1), ids, KvVia::Link) ? m_site.ResponseCloseWindow() : 1;
}

int KvFolderSite::ResponseFileExchange(const ExchangeFile& file, KvFileExchangeSite& site) {
    KvCGI& cgi = m_site.GetCGI();
    CString op = cgi.GetValue("op", file.defaultOp);
    op.MakeLower();
    if (op == "export") return site.ResponseExport();
    if (op != "import" && op != "doimport") return m_site.ResponseUnknownAction(op);
    if (!site.LoadWritableFolder(cgi.GetIntValue("cat", 0))) return 1;
    if (op == "import") {
        if (!IsAdmin()) return m_site.ResponseUnauthorisized();
        return site.ShowImportForm("");
    }
    if (!m_site.AllowStateChange(KvWho::Admin, KvVia::Form)) return 1;
    const KvCGIFile* upload = KvUploadedFile(cgi, file.field);
    if (!upload || upload->m_bufContent.GetCount() == 0) return site.ShowImportForm(file.missing);
    if (upload->m_bufContent.GetCount() > file.maxBytes) return site.ShowImportForm(file.tooLarge);
    return site.ResponseImport(*upload);
}

int KvFolderSite::PathDepth(const CString& path) {
    int depth = 0;
    for (int i = 1; i < path.GetLength(); ++i) depth += path[i] == '/';
    return depth;
}
