// KvWebLink: "bookmarks.php", bookmark files of browsers and bookmark
// managers: a folder tree exported as a file ("export", for anyone who may
// read the folder: the file holds what the folder page shows), a file
// imported into the current folder or a new sub-folder of it ("import"
// shows the form, "doimport" reads the upload; administrators with the
// form token).
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/feeds/KvBookmarkFile.h"
#include "proxy/sites/KvBookmarkImport.h"
#include "inet/web/KvCGI.h"
#include "proxy/sites/KvWebLink.h"
#include "proxy/web/KvParseImp.h"

namespace {

// The largest bookmark file read: far beyond the biggest real collections,
// and the bound of what one import holds in memory.
constexpr size_t kMaxBookmarkFileBytes = 32u << 20;
constexpr int kMaxBookmarkEntries = 200000;

}  // namespace

int KvWebLink::ResponseBookmarksModule() {
    static constexpr KvFolderSite::ExchangeFile kBookmarkFile{
        "import", "bookmarks", kMaxBookmarkFileBytes, "Choose a bookmark file to import.",
        "The file is larger than a bookmark file may be (32 MiB)."};
    return m_folders.ResponseFileExchange(kBookmarkFile, *this);
}

int KvWebLink::ResponseImport(const KvCGIFile& upload) {
    KvBookmarkFile file;
    CString message;
    const int room = KV_REPO_MAX_DEPTH - KvFolderSite::PathDepth(m_strFolderPath) - 1;
    if (!KvReadBookmarkFile(upload.m_bufContent.GetData(), upload.m_bufContent.GetCount(), room,
                            kMaxBookmarkEntries, file, message)) {
        return BookmarksFormShow(message);
    }
    CString into = m_cgi.GetValue("fld_name", "");
    into.Trim();
    KvSqlTransaction tx(m_db);
    int target = m_folder.m_nID;
    if (!into.IsEmpty()) {
        KvWebFolder folder;
        folder.m_strName = KvBookmarkFolderName(into);
        folder.m_strLabel = folder.m_strTitle = into;
        folder.m_strContent = KV_LINK_FOLDER_CONTENT;
        folder.m_strUploadBy = UserGetName();
        target = m_repo.FindFolderId(m_folder.m_nID, folder.m_strName);
        if (target < 0) target = m_repo.AddNewFolder(m_folder.m_nID, &folder);
    }
    KvBookmarkCount count;
    if (!tx.IsActive() || (!into.IsEmpty() && target <= 0) ||
        !KvImportBookmarks(m_repo, target, file, UserGetName(), count) || !tx.Commit()) {
        return BookmarksFormShow("The bookmarks could not be stored; nothing was imported.");
    }
    ContentChanged();
    const CString path = FindPathFromFolderId(target);
    message = StrFormat("Imported %d folders and %d links; %d entries skipped (not http or https addresses, or "
                        "beyond the bounds).",
                        count.folders, count.links, count.skipped);
    return BookmarksFormShow(message, path);
}

int KvWebLink::BookmarksFormShow(const char* message, const CString& done) {
    const int cat = m_folder.m_nID;
    CString content("<h1>Import Bookmarks</h1>\r\n");
    if (message && *message) content += "<p class=\"page-message\">" + HtmlEscape(message) + "</p>\r\n";
    if (!done.IsEmpty()) {
        content += "<p>" + HtmlLink(HtmlEscapeAttr(UrlEscapePath(done)), "Open " + HtmlEscape(done), nullptr) +
                   "</p>\r\n";
    }
    content += StrFormat(
        "<form class=\"site-form bookmark-import\" method=\"post\" action=\"/phpmod/bookmarks.php\" "
        "enctype=\"multipart/form-data\">\r\n"
        "<input type=\"hidden\" name=\"op\" value=\"doimport\">\r\n"
        "<input type=\"hidden\" name=\"cat\" value=\"%d\">\r\n"
        "<input type=\"hidden\" name=\"rnd\" value=\"%s\">\r\n"
        "<p>A bookmark file as browsers export it (HTML). Its folders become folders below <b>%s</b>; its links "
        "keep title, address, date, description and tags. Only http and https links are kept.</p>\r\n"
        "<div class=\"label\">Bookmark file</div>\r\n"
        "<input class=\"inputbox\" style=\"max-width:100%%\"\r\n"
        " type=\"file\" name=\"bookmarks\" accept=\".html,.htm,text/html\"><br>\r\n"
        "<div class=\"label\">Into a new sub-folder named (empty: this folder)</div>\r\n"
        "<input class=\"inputbox\" style=\"max-width:100%%\" type=\"text\" name=\"fld_name\" size=\"32\"><br>\r\n"
        "<input class=\"button\" type=\"submit\" value=\"Import\">\r\n</form>\r\n"
        "<p><br>%s</p>\r\n",
        cat, HtmlEscapeAttr(GetFormToken()).c_str(),
        HtmlEscape(cat == 0 ? m_strTopLabel : m_folder.m_strTitle).c_str(),
        HtmlLink(HtmlEscapeAttr(StrFormat("/phpmod/bookmarks.php?op=export&cat=%d", cat)),
                 "Export this folder as a bookmark file", nullptr)
            .c_str());
    m_strPageTitle = "Import Bookmarks";
    m_strPageRobots = "noindex";
    m_strPageContent = content;
    KvParseImp imp;
    imp.AddVariable("current_path", GetCurrentPath(m_strFolderPath));
    imp.AddVariable("folder_id", cat);
    return WebPageShow("wpage.htm", &imp);
}

int KvWebLink::ResponseExport() {
    const int cat = m_cgi.GetIntValue("cat", 0);
    if (cat < 0 || !m_repo.GetFolder(cat, &m_folder)) return ResponseNotFound();
    if (!m_folders.MayRead(cat)) return ResponseUnauthorisized();
    m_strFolderPath = FindPathFromFolderId(cat);
    KvBookmarkWriter writer(cat == 0 ? GetHostName() : m_folder.m_strTitle);
    KvExportBookmarks(m_repo, cat, m_folders.ChildFilter(), LinkFilter(), KV_REPO_MAX_DEPTH, writer);
    if (!m_pResponse) return 0;
    m_pResponse->m_bufBody.Empty();
    m_pResponse->m_bufBody.PutString(writer.Finish());
    const CString name = cat == 0 ? CString("bookmarks") : KvBookmarkFolderName(m_folder.m_strName);
    if (!ResponseFinish("text/html; charset=utf-8")) return 0;
    SetHeader("Content-Disposition", StrFormat("attachment; filename=\"%s.html\"", name.c_str()));
    return 1;
}
