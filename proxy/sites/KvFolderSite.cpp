// The folder pages every folder site shares.
#include "proxy/sites/KvFolderSite.h"

#include <map>

#include "base/containers/KvObjectArray.h"
#include "base/str/KvString.h"
#include "base/str/StrFunc.h"
#include "ext/KvSqLite/KvSqlBuffer.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "ext/KvSqLite/KvSqlQuery.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/html/KvSearchCond.h"
#include "inet/match/KvKeywords.h"
#include "proxy/repo/KvLinkCard.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/repo/KvRepoTree.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebObjectEx.h"

CString EnsureEndPoint(const char* textIn) {
    CString text(textIn);
    text.Trim();
    if (text.IsEmpty()) return text;
    const char last = text[text.GetLength() - 1];
    if (last != '.' && last != '!' && last != '?') text += ".";
    return text;
}

int KvFolderSite::Level() const { return m_site.IsUserLogin() ? m_site.UserGetLevel() : 0; }

bool KvFolderSite::IsAdmin() const { return m_site.IsUserLogin() && m_site.IsUserAdmin(); }

// --- who may see and change what ------------------------------------------------------

CString KvFolderSite::ChildFilter() const {
    if (IsAdmin()) return StrFormat("read_level <= %d", Level());
    return StrFormat("folder_active=1 and folder_show=1 and read_level <= %d", Level());
}

bool KvFolderSite::MayRead(int id) {
    const bool admin = IsAdmin();
    for (int depth = 0; depth <= KV_REPO_MAX_DEPTH && id >= 0; ++depth) {
        KvWebFolder folder;
        if (!m_repo.GetFolder(id, &folder)) return false;
        if (folder.m_nReadLevel > Level()) return false;
        if (!admin && !folder.m_bActive) return false;
        if (id == 0) return true;
        id = folder.m_nParent;
    }
    return false;
}

bool KvFolderSite::MayWrite(const KvWebFolder& folder) const {
    return IsAdmin() || (m_site.IsUserLogin() && Level() >= folder.m_nWriteLevel);
}

std::vector<int> KvFolderSite::HiddenFolderIds() {
    struct Row {
        int parent;
        bool own;
    };
    std::map<int, Row> rows;
    const bool admin = IsAdmin();
    const int level = Level();
    KvSqlDBEx* db = m_repo.GetDatabase();
    if (db) {
        KvSqlQuery q = db->ExecQuery(
            "select folder_id, folder_parent, read_level, folder_show, folder_active from web_folder;");
        for (; q.IsValid() && !q.IsEOF(); q.MoveNext()) {
            const bool own = q.GetIntField(2) <= level && (admin || (q.GetIntField(3) && q.GetIntField(4)));
            rows[q.GetIntField(0)] = Row{q.GetIntField(1), own};
        }
    }
    // A folder is visible when it and every folder above it are; a chain
    // longer than the bound (damage) counts as hidden.
    std::map<int, bool> visible;
    std::vector<int> hidden;
    for (const auto& [id, row] : rows) {
        bool ok = true;
        int at = id;
        for (int depth = 0; ok && at >= 0; ++depth) {
            auto known = visible.find(at);
            if (known != visible.end()) {
                ok = known->second;
                break;
            }
            auto it = rows.find(at);
            if (it == rows.end() || depth > KV_REPO_MAX_DEPTH) ok = false;
            else if (!it->second.own) ok = false;
            else at = at == 0 ? -1 : it->second.parent;
        }
        visible[id] = ok;
        if (!ok) hidden.push_back(id);
    }
    return hidden;
}

bool KvFolderSite::MayReadLink(int id, const std::vector<int>& hidden) {
    KvSqlDBEx* db = m_repo.GetDatabase();
    if (!db) return false;
    CString sql = StrFormat("select count(*) from link_member where item_id=%d", id);
    if (!hidden.empty()) sql += " and folder_id not in(" + KvRepoIdList(hidden) + ")";
    return db->ExecScalar(sql, 0) > 0;
}

// --- lists ---------------------------------------------------------------------------------

CString KvFolderSite::RenderListItem(const KvWebFolder& folder, const CString& parentPath) const {
    CString text = HtmlEscape(folder.m_strLabel.IsEmpty() ? folder.m_strTitle : folder.m_strLabel);
    if (folder.m_nFlags & 1) text = "<b>" + text + "</b>";
    if (folder.m_nFlags & 2) text = "<i>" + text + "</i>";
    const CString href = HtmlEscapeAttr(UrlEscapePath(parentPath + folder.m_strName + "/"));
    CString item = "<dt><div class=\"title\">" + HtmlLink(href, text, nullptr) + "</div></dt>\r\n";
    if (!folder.m_strDesc.IsEmpty()) item += "<dd>" + HtmlEscape(folder.m_strDesc) + "</dd>\r\n";
    return item;
}

CString KvFolderSite::RenderList(int parent, const CString& parentPath, int columns) {
    KvObjectArray children;
    m_repo.PopulateFolder(parent, &children, ChildFilter());
    const int n = children.GetSize();
    if (n == 0) return CString();
    auto column = [&](int from, int to) {
        CString dl("<dl class=\"folder-list\">\r\n");
        for (int i = from; i < to; ++i) dl += RenderListItem(*static_cast<KvWebFolder*>(children[i]), parentPath);
        return dl + "</dl>\r\n";
    };
    if (columns <= 1) return column(0, n);
    // Columns of c = (n + cols - 1) / cols entries, the last one shorter.
    const int c = (n + columns - 1) / columns;
    CString parts[3];
    for (int k = 0; k < columns && k < 3; ++k) {
        const int from = k * c, to = std::min(n, from + c);
        if (from < to) parts[k] = column(from, to);
    }
    const int used = !parts[2].IsEmpty() ? 3 : !parts[1].IsEmpty() ? 2 : 1;
    const char* width = used == 3 ? "33%" : used == 2 ? "50%" : "100%";
    CString table("<table class=\"folder-columns\" width=\"100%\" cellpadding=2 cellspacing=0 border=0><tr>\r\n");
    for (int k = 0; k < used; ++k) table += StrFormat("<td valign=\"top\" width=\"%s\">", width) + parts[k] + "</td>\r\n";
    return table + "</tr></table>\r\n";
}

CString KvFolderSite::RenderMenu(int parent, const CString& parentPath, const CString& label) {
    KvObjectArray children;
    m_repo.PopulateFolder(parent, &children, ChildFilter());
    if (children.IsEmpty()) return CString();
    CString menu("<div id=\"sbnav\">\n<div class=\"sbnav-title\">");
    menu += HtmlEscape(parent == 0 ? CString("MAIN-SUBFOLDER") : label) + "</div>\n";
    for (int i = 0; i < children.GetSize(); ++i) {
        const auto* f = static_cast<KvWebFolder*>(children[i]);
        const CString href = HtmlEscapeAttr(UrlEscapePath(parentPath + f->m_strName + "/"));
        menu += "<a class=\"lnk\" href=\"" + href + "\">" +
                HtmlEscape(f->m_strLabel.IsEmpty() ? f->m_strTitle : f->m_strLabel) + "</a>\n";
    }
    return menu + "</div>\n";
}

CString KvFolderSite::RenderSitemap(const char* argIn) {
    CString arg(argIn);
    int colon = arg.Find(':');
    const CString depthText = colon >= 0 ? arg.Left(colon) : arg;
    const bool details = colon >= 0 && atoi(arg.Mid(colon + 1)) != 0;
    int depth = atoi(depthText);
    if (depth < 1) depth = 1;
    if (depth > KV_SITEMAP_MAX_DEPTH) depth = KV_SITEMAP_MAX_DEPTH;
    CString out("<table class=\"sitemap\" border=\"0\" cellspacing=\"0\" cellpadding=\"2\">\n");
    RenderSitemapLevel(0, "", depth, 0, details, out);
    return out + "</table>\n";
}

void KvFolderSite::RenderSitemapLevel(int parent, const CString& base, int depth, int indent, bool details,
                                      CString& out) {
    KvObjectArray children;
    m_repo.PopulateFolder(parent, &children, ChildFilter());
    for (int i = 0; i < children.GetSize(); ++i) {
        const auto* f = static_cast<KvWebFolder*>(children[i]);
        const CString href = HtmlEscapeAttr(UrlEscapePath(base + "/" + f->m_strName + "/"));
        const CString label = HtmlEscape(f->m_strLabel.IsEmpty() ? f->m_strTitle : f->m_strLabel);
        out += "<tr><td>";
        if (indent > 0) {
            out += StrFormat("<table border=\"0\" cellspacing=\"0\" cellpadding=\"0\"><tr><td><img "
                             "src=\"/images/space.gif\" border=\"0\" width=\"%d\" alt=\"\"></td><td>",
                             16);
        }
        if (details) out += "<b>" + HtmlLink(href, label, nullptr) + "</b>. " + HtmlEscape(f->m_strDesc);
        else out += HtmlLink(href, label, nullptr);
        if (depth > 1) {
            CString inner;
            RenderSitemapLevel(f->m_nID, base + "/" + f->m_strName, depth - 1, indent + 1, details, inner);
            if (!inner.IsEmpty()) out += "\n<table border=\"0\" cellspacing=\"0\" cellpadding=\"2\">\n" + inner + "</table>";
        }
        if (indent > 0) out += "</td></tr></table>";
        out += "</td></tr>\n";
    }
}

// --- the folder form -------------------------------------------------------------------

bool KvFolderSite::ReadFolderForm(KvWebFolder& folder, const char* defaultContent, CString& message) const {
    KvCGI& cgi = m_site.GetCGI();
    CString name = cgi.GetValue("fld_name", "");
    name.Trim();
    if (name.IsEmpty()) {
        message = "The folder name cannot be empty!";
        return false;
    }
    folder.m_strLabel = cgi.GetValue("fld_label", "");
    folder.m_strLabel.Trim();
    if (folder.m_strLabel.IsEmpty()) folder.m_strLabel = name;
    folder.m_strTitle = cgi.GetValue("fld_title", "");
    folder.m_strTitle.Trim();
    if (folder.m_strTitle.IsEmpty()) folder.m_strTitle = folder.m_strLabel;
    folder.m_strName = FixFolderName(name, 0);
    if (folder.m_strName.IsEmpty() || folder.m_strName == "." || folder.m_strName == "..") {
        message = "The folder name cannot be empty!";
        return false;
    }
    folder.m_strDesc = EnsureEndPoint(cgi.GetValue("fld_desc", ""));
    folder.m_strContent = cgi.GetValue("fld_content", "");
    if (folder.m_strContent.IsEmpty()) folder.m_strContent = defaultContent;
    folder.m_strKeywords = KvKeywords(cgi.GetValue("fld_keywords", "")).AsString();
    folder.m_strRobots = cgi.GetValue("fld_robots", "");
    if (folder.m_strRobots.IsEmpty()) folder.m_strRobots = "index, follow";
    folder.m_strSidebar = cgi.GetValue("fld_sidebar", "");
    folder.m_strRedirect = cgi.GetValue("fld_redirect", "");
    folder.m_bShow = cgi.GetIntValue("fld_show", 0) ? 1 : 0;
    folder.m_bActive = cgi.GetIntValue("fld_active", 0) ? 1 : 0;
    folder.m_nOrder = cgi.GetIntValue("fld_order", 9999);
    // Who may read and write a folder is the administrators' choice: any
    // other writer keeps the levels the folder came with, else lowering the
    // write level would let every member put markup on the site.
    if (IsAdmin()) {
        folder.m_nReadLevel = cgi.GetIntValue("read_level", 0);
        folder.m_nWriteLevel = cgi.GetIntValue("write_level", 9);
    }
    folder.m_nFlags = (cgi.GetIntValue("fld_bold", 0) ? 1 : 0) | (cgi.GetIntValue("fld_italic", 0) ? 2 : 0);
    folder.m_strUploadBy = "admin";
    return true;
}

void KvFolderSite::AddFolderFormVars(KvParseImp& imp, const KvWebFolder& folder, const CString& path) const {
    imp.AddVariable("fld_name", HtmlEscape(folder.m_strName));
    imp.AddVariable("fld_label", HtmlEscape(folder.m_strLabel));
    imp.AddVariable("fld_title", HtmlEscape(folder.m_strTitle));
    imp.AddVariable("fld_desc", HtmlEscape(folder.m_strDesc));
    imp.AddVariable("fld_keywords", HtmlEscape(folder.m_strKeywords));
    imp.AddVariable("fld_robots", HtmlEscape(folder.m_strRobots));
    imp.AddVariable("fld_redirect", HtmlEscape(folder.m_strRedirect));
    imp.AddVariable("fld_sidebar_editor", HtmlEditor("fld_sidebar", folder.m_strSidebar, 600, 90));
    imp.AddVariable("fld_content_editor", HtmlEditor("fld_content", folder.m_strContent, 600, 90));
    imp.AddVariable("fld_order", folder.m_nOrder);
    imp.AddVariable("read_level", folder.m_nReadLevel);
    imp.AddVariable("write_level", folder.m_nWriteLevel);
    imp.AddVariable("chk_active", HtmlCheckBox("fld_active", "1", folder.m_bActive));
    imp.AddVariable("chk_show", HtmlCheckBox("fld_show", "1", folder.m_bShow));
    imp.AddVariable("chk_bold", HtmlCheckBox("fld_bold", "1", folder.m_nFlags & 1));
    imp.AddVariable("chk_italic", HtmlCheckBox("fld_italic", "1", folder.m_nFlags & 2));
    imp.AddVariable("fld_help_box", "");
    imp.AddVariable("url_path", HtmlEscape(path));
    imp.AddVariable("fld_id", folder.m_nID);
    imp.AddVariable("page_id", 0);
}

int KvFolderSite::ParseFolderLines(const char* text, const char* defaultContent, KvObjectArray& out) const {
    CString all(text);
    all.Replace("\r", "");
    CsStrList lines;
    BreakTokens(all, lines, '\n');
    for (CsStrListItem* line = lines.Head(); line; line = line->Next()) {
        CsStrList fields;
        BreakTokens(line->GetStr(), fields, '|');
        CString parts[3];
        int k = 0;
        for (CsStrListItem* f = fields.Head(); f && k < 3; f = f->Next(), ++k) {
            parts[k] = f->GetStr();
            parts[k].Trim();
        }
        if (parts[0].IsEmpty()) continue;
        KvString label(parts[0]);
        label.MakeProperCase();
        const CString name = FixFolderName(parts[0], 1);
        if (name.IsEmpty() || name == "." || name == "..") continue;
        auto* folder = new KvWebFolder();
        folder->m_strName = name;
        folder->m_strLabel = label;
        folder->m_strTitle = parts[1].IsEmpty() ? CString(label) : parts[1];
        folder->m_strDesc = EnsureEndPoint(parts[2]);
        folder->m_strContent = defaultContent;
        folder->m_strRobots = "index, follow";
        folder->m_strUploadBy = "admin";
        if (out.Add(folder) < 0) delete folder;
    }
    return out.GetSize();
}

// --- moves -----------------------------------------------------------------------------------

int KvFolderSite::FindMoveTarget(int id, const char* pathIn, CString& message) {
    CString path(pathIn);
    path.Trim();
    if (path.IsEmpty()) {
        message = "Please enter the path of the target folder.";
        return -1;
    }
    if (path.Left(1) != "/") path = "/" + path;
    if (path.Right(1) != "/") path += "/";
    const int target = path == "/" ? 0 : m_repo.FindFolderId(path);
    if (target < 0) {
        message.Format("There is no folder %s.", path.c_str());
        return -1;
    }
    if (id < 0) return target;
    // The target must not be the folder or lie below it: the tree would
    // lose the folder in a loop.
    int at = target;
    for (int depth = 0; at >= 0; ++depth) {
        if (at == id || depth > KV_REPO_MAX_DEPTH) {
            message = "A folder cannot be moved into itself or one of its sub-folders.";
            return -1;
        }
        if (at == 0) break;
        at = m_repo.FindFolderParentId(at);
    }
    return target;
}

// --- selections and the clipboard ---------------------------------------------------

namespace {

constexpr int kMaxSelection = 1000;

}  // namespace

CString KvFolderSite::SelectionBox(int n, int id) {
    return StrFormat("<input type=\"checkbox\" class=\"select\" name=\"item_%d\" value=\"%d\"> ", n, id);
}

CString KvFolderSite::RenderSelectionForm(const CString& entries, int count, int folder, const CString& token,
                                          bool manage) {
    const char* mark = "var b=this.form.elements;for(var i=0;i<b.length;i++)if(b[i].type=='checkbox')b[i].checked=";
    CString form("<form id=\"item_list\" action=\"/phpmod/item_list.php\" method=\"post\">\n");
    form += entries + "<div class=\"select-buttons\">\n";
    form += StrFormat("<input class=\"button\" type=\"button\" value=\"Select All\" onclick=\"%strue;\">\n", mark);
    form += StrFormat("<input class=\"button\" type=\"button\" value=\"Clear Selection\" onclick=\"%sfalse;\">\n",
                      mark);
    form += "<input class=\"button\" type=\"submit\" name=\"Copy\" value=\"Copy\">\n";
    if (manage) {
        for (const char* name : {"Cut", "Paste", "Delete"}) {
            form += StrFormat("<input class=\"button\" type=\"submit\" name=\"%s\" value=\"%s\">\n", name, name);
        }
    }
    form += "<input class=\"button\" type=\"submit\" name=\"ClearBuffer\" value=\"Clear Your Buffer\">\n</div>\n";
    form += StrFormat("<input type=\"hidden\" name=\"cat\" value=\"%d\">\n<input type=\"hidden\" name=\"item_count\" "
                      "value=\"%d\">\n<input type=\"hidden\" name=\"rnd\" value=\"%s\">\n</form>\n",
                      folder, count, HtmlEscapeAttr(token).c_str());
    return form;
}

std::vector<int> KvFolderSite::ReadSelection() const {
    KvCGI& cgi = m_site.GetCGI();
    std::vector<int> ids;
    const int count = std::min(cgi.GetIntValue("item_count", 0), kMaxSelection);
    for (int n = 1; n <= count; ++n) {
        const int id = cgi.GetIntValue(StrFormat("item_%d", n), 0);
        if (id > 0) ids.push_back(id);
    }
    return ids;
}

CString KvFolderSite::SelectionOperation() const {
    KvCGI& cgi = m_site.GetCGI();
    for (const char* name : {"Copy", "Cut", "Paste", "Delete"}) {
        if (*cgi.GetValue(name, "")) {
            CString op(name);
            op.MakeLower();
            return op;
        }
    }
    return "clear";
}

int KvFolderSite::CopyToClipboard(const char* client, const KvObjectArray& links) {
    KvLinkCard* card = KvLinkCard::GetInstance();
    card->Lock();
    KvLinkCardList* list = card->Get(client);
    int copied = 0;
    for (int i = 0; i < links.GetSize(); ++i) {
        KvObject* copy = links[i]->Clone();
        if (list->Add(copy) < 0) {
            delete copy;
            break;
        }
        ++copied;
    }
    card->Unlock();
    return copied;
}

void KvFolderSite::ClearClipboard(const char* client) {
    KvLinkCard* card = KvLinkCard::GetInstance();
    card->Lock();
    card->Get(client)->RemoveAll();
    card->Unlock();
}

// --- paging and search -------------------------------------------------------------------

int KvFolderSite::ClampPage(int page, int total, int perPage) {
    if (perPage < 1) perPage = 1;
    if (total < 0) total = 0;
    const int last = total == 0 ? 1 : (total - 1) / perPage + 1;
    if (page < 1) return 1;
    return page > last ? last : page;
}

CString KvFolderSite::SearchCondition(const char* queryIn, const char* keywordsCol, const char* titleCol,
                                      const char* descCol, const char* idCol) {
    CString query(queryIn);
    query.Trim();
    if (query.GetLength() >= 3 && query[1] == ':') {
        const char kind = (char)tolower((unsigned char)query[0]);
        const char* column = kind == 'd' || kind == 'n' ? descCol : kind == 'k' ? keywordsCol
                             : kind == 't'                 ? titleCol
                                                           : nullptr;
        if (!column) return StrFormat("%s = 0", idCol);
        CString text = query.Mid(2);
        text.Trim();
        if (text.IsEmpty()) return CString();
        KvSqlBuffer sql;
        return CString(sql.Format("(%s like '%%%q%%')", column, text.c_str()));
    }
    const CString k = SearchQueryBuilder(keywordsCol, query), t = SearchQueryBuilder(titleCol, query),
                  d = SearchQueryBuilder(descCol, query);
    if (k.IsEmpty() || t.IsEmpty() || d.IsEmpty()) return CString();
    return "(" + k + ") or (" + t + ") or (" + d + ")";
}
