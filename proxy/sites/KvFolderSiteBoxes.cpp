// KvFolderSite: the placeholders, boxes and form page every folder site
// shows alike.
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/repo/KvRepoTree.h"
#include "proxy/sites/KvFolderSite.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebObjectEx.h"

bool KvFolderSite::ParseFolderPlaceholder(const CString& key, int folder, const CString& path, const CString& label,
                                          CString& value) {
    if (key == "mainfolder_menu") value = RenderMenu(0, "/", "");
    else if (key == "subfolder_menu") value = RenderMenu(folder, path, label);
    else if (key == "subfolder_list") value = RenderList(folder, path, 1);
    else if (key == "subfolder_list2") value = RenderList(folder, path, 2);
    else if (key == "subfolder_list3") value = RenderList(folder, path, 3);
    else if (key == "folder_id") value.Format("%d", folder);
    else return false;
    return true;
}

CString KvFolderSite::FolderPath(int id) {
    CString path;
    if (id <= 0 || !m_repo.GetFolderPath(id, path)) return "/";
    return path;
}

CString KvFolderSite::SearchFormHtml(const char* cls, const CString& query, int folder, int size, bool firstPage) {
    return StrFormat("<form class=\"%s\" method=\"get\" action=\"/phpmod/search.php\">"
                     "<input class=\"inputbox\" type=\"text\" name=\"q\" size=\"%d\" value=\"%s\">"
                     "<input type=\"hidden\" name=\"cat\" value=\"%d\">%s"
                     "<input class=\"button\" type=\"submit\" value=\"Search\"></form>\r\n",
                     cls, size, HtmlEscapeAttr(query).c_str(), folder,
                     firstPage ? "<input type=\"hidden\" name=\"p\" value=\"1\">" : "");
}

CString KvFolderSite::MenuLink(const CString& href, const CString& token, const char* text, bool confirm) {
    const CString attr = HtmlEscapeAttr(href + token);
    if (!confirm) return HtmlLink(attr, text, nullptr);
    return "<a href=\"" + attr + "\" onclick=\"return confirm('Delete it?');\">" + CString(text) + "</a>";
}

CString KvFolderSite::FolderMenu(int cat, const CString& token) {
    return StrFormat("<b>FOLDER </b> [%s, %s, %s, %s]<br>\n",
                     MenuLink(StrFormat("/phpmod/folder.php?op=edit&cat=%d", cat), token, "ATTRIBUTE").c_str(),
                     MenuLink(StrFormat("/phpmod/folder.php?op=add&cat=%d", cat), token, "ADD NEW").c_str(),
                     MenuLink(StrFormat("/phpmod/folder.php?op=del&cat=%d", cat), token, "DELETE", true).c_str(),
                     MenuLink(StrFormat("/phpmod/folder.php?op=move&cat=%d", cat), token, "MOVE").c_str());
}

int KvFolderSite::ShowFolderForm(KvParseImp& imp, bool isNew, int folder, const CString& folderPath,
                                 const char* message) {
    const char* title = isNew ? "Add Sub-Folder" : "Edit Folder Attribute";
    imp.AddVariable("form_op", isNew ? "doadd" : "doedit");
    imp.AddVariable("form_title", title);
    imp.AddVariable("form_action", "/phpmod/folder.php");
    imp.AddVariable("folder_id", folder);
    imp.AddVariable("page_msg", HtmlEscape(message));
    imp.AddVariable("page_message", HtmlEscape(message));
    imp.AddVariable("current_path", m_site.GetCurrentPath(folderPath));
    imp.AddVariable("page_url", HtmlEscape(folderPath));
    return m_site.ResponseTemplatePage("/_template/folder.htm", title, imp, "spage.htm");
}
