// KvWebKavori: the advertising items other pages show through the portal.
//
//   ad-mgmt.php     the administrator's list and form (op show, edit, save,
//                   delete); changes need the form token (delete comes as
//                   a management link carrying it)
//   ad-jump.php     the click-through to the item's address (http and
//                   https only), counted
//   ad-show-js.php  a script that writes one item into the calling page:
//                   the markup is built here from escaped texts and then
//                   escaped as a script string, so no item can end the
//                   string or the script element
#include <cstdlib>
#include <vector>

#include "base/str/StrFunc.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/repo/KvRepoKavori.h"
#include "proxy/sites/KvWebKavori.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebHosts.h"

namespace {

constexpr char kBadUrl[] = "URL cannot be empty or URL format is wrong!";
constexpr char kNoDatabase[] = "The advertising items cannot be read or stored just now.";

CString RenderAdRows(KvObjectArray& items, const CString& token) {
    if (items.GetSize() == 0) return "<p class=\"mod-empty\">No advertising items yet.</p>\r\n";
    CString out = "<table class=\"mod-list\">\r\n<tr><th>Id</th><th>Title</th><th>Address</th><th>State</th>"
                  "<th>Hits</th><th></th></tr>\r\n";
    for (int i = 0; i < items.GetSize(); ++i) {
        const auto* item = static_cast<const KvAdvItem*>(items.GetAt(i));
        out += StrFormat("<tr><td>%d</td><td>%s</td><td><a href=\"%s\">%s</a></td><td>%s</td><td>%d</td>"
                         "<td class=\"mod-actions\">[<a href=\"/ad-mgmt.php?op=edit&amp;id=%d\">edit</a>] "
                         "[<a href=\"/ad-mgmt.php?op=delete&amp;id=%d%s\">delete</a>]</td></tr>\r\n",
                         item->m_nID, HtmlEscape(item->m_strTitle).c_str(), HtmlSafeHref(item->m_strUrl).c_str(),
                         HtmlEscape(item->m_strUrl).c_str(), item->m_bActive ? "active" : "inactive",
                         item->m_nHits, item->m_nID, item->m_nID, HtmlEscapeAttr(token).c_str());
    }
    return out + "</table>\r\n";
}

// What a page shows for the item: a link through the portal's
// click-through, its text the item's "show as" text (else its title, else
// its address), escaped.
CString RenderAdMarkup(const KvAdvItem& item) {
    CString text = item.m_strShowAs;
    if (text.IsEmpty()) text = item.m_strTitle;
    if (text.IsEmpty()) text = item.m_strUrl;
    return StrFormat("<a href=\"%s/ad-jump.php?id=%d\" target=\"_blank\" rel=\"noopener\">%s</a>", KV_PORTAL_URL,
                     item.m_nID, HtmlEscape(text).c_str());
}

}  // namespace

bool KvWebKavori::OpenAdRepo(KvRepoKavori& repo) {
    repo.SetDatabase(&m_db);
    return repo.Open(m_strDbFileName) != 0;
}

int KvWebKavori::ResponseAdManagement() {
    CString op = m_cgi.GetValue("op", "show");
    op.MakeLower();
    if (op == "save") return ResponseAdSave();
    if (op == "delete") return ResponseAdDelete();
    if (!HasAccess(KvWho::Admin)) return ResponseUnauthorisized();
    if (op == "show") return ResponseAdList();
    if (op == "edit") {
        KvAdvItem item;
        const int id = atoi(m_cgi.GetValue("id", "0"));
        KvRepoKavori repo;
        if (id > 0 && (!OpenAdRepo(repo) || !repo.GetAdvItem(id, &item))) return ResponseNotFound();
        return ResponseAdEditForm(item, "");
    }
    return ResponseUnknownAction(op);
}

int KvWebKavori::ResponseAdList() {
    KvRepoKavori repo;
    KvObjectArray items;
    if (!OpenAdRepo(repo) || repo.GetAdvItems(items) < 0) {
        return ResponseError("%s", kNoDatabase);
    }
    KvParseImp imp;
    imp.AddVariable("ad_list", RenderAdRows(items, LinkToken()));
    imp.AddVariable("portal_url", KV_PORTAL_URL);
    imp.AddVariable("current_path", RenderTrail("Ad-Management", "/ad-mgmt.php"));
    imp.AddVariable("page_url", "/ad-mgmt.php");
    const int done = ResponseTemplatePage("/_template/ad-mgmt.htm", "Ad-Management", imp);
    return done;
}

int KvWebKavori::ResponseAdEditForm(const KvAdvItem& item, const char* message) {
    KvParseImp imp;
    imp.AddVariable("fld_id", item.m_nID);
    imp.AddVariable("fld_url", HtmlEscape(item.m_strUrl));
    imp.AddVariable("fld_title", HtmlEscape(item.m_strTitle));
    imp.AddVariable("fld_showas", HtmlEscape(item.m_strShowAs));
    imp.AddVariable("fld_desc", HtmlEscape(item.m_strDesc));
    imp.AddVariable("chk_active", item.m_bActive ? "checked" : "");
    imp.AddVariable("page_msg", HtmlEscape(message));
    imp.AddVariable("current_path", RenderTrail("Ad-Management", "/ad-mgmt.php", item.m_nID ? "Edit" : "New",
                                                "/ad-mgmt.php?op=edit"));
    imp.AddVariable("page_url", "/ad-mgmt.php");
    return ResponseTemplatePage("/_template/ad-mgmt-edit.htm", "Ad-Management", imp);
}

int KvWebKavori::ResponseAdSave() {
    if (!AllowStateChange(KvWho::Admin)) return 1;
    KvRepoKavori repo;
    if (!OpenAdRepo(repo)) return ResponseError("%s", kNoDatabase);
    KvAdvItem item;
    const int id = atoi(m_cgi.GetValue("fld_id", "0"));
    if (id > 0 && !repo.GetAdvItem(id, &item)) return ResponseNotFound();
    item.m_strUrl = m_cgi.GetValue("fld_url", "");
    item.m_strUrl.Trim();
    item.m_strTitle = m_cgi.GetValue("fld_title", "");
    item.m_strShowAs = m_cgi.GetValue("fld_showas", "");
    item.m_strDesc = m_cgi.GetValue("fld_desc", "");
    item.m_bActive = *m_cgi.GetValue("fld_active", "") ? 1 : 0;
    // Only an address a browser may follow safely becomes an item.
    if (!KvIsWebAddress(item.m_strUrl)) return ResponseAdEditForm(item, kBadUrl);
    if (id <= 0) {
        item.m_strUploadBy = UserGetName();
        item.m_timeUploadOn = KvTime::GetCurTime();
    }
    const int ok = id > 0 ? repo.UpdateAdvItem(item) : repo.AddAdvItem(&item);
    if (!ok) return ResponseError("%s", kNoDatabase);
    return ResponseRedirect("/ad-mgmt.php?op=show");
}

int KvWebKavori::ResponseAdDelete() {
    if (!AllowStateChange(KvWho::Admin, KvVia::Link)) return 1;
    KvRepoKavori repo;
    if (!OpenAdRepo(repo)) return ResponseError("%s", kNoDatabase);
    repo.DeleteAdvItem(atoi(m_cgi.GetValue("id", "0")));
    return ResponseRedirect("/ad-mgmt.php?op=show");
}

int KvWebKavori::ResponseAdJump() {
    KvRepoKavori repo;
    KvAdvItem item;
    const int id = atoi(m_cgi.GetValue("id", "0"));
    if (id <= 0 || !OpenAdRepo(repo) || !repo.GetAdvItem(id, &item) || !KvIsWebAddress(item.m_strUrl)) {
        return ResponseNotFound();
    }
    repo.CountAdvHit(id);
    return ResponseRedirect(item.m_strUrl);
}

int KvWebKavori::ResponseAdShowJs() {
    KvRepoKavori repo;
    KvObjectArray items;
    CString markup;
    if (OpenAdRepo(repo) && repo.GetAdvItems(items) > 0) {
        // The item asked for, else one of the active items at random.
        const int id = atoi(m_cgi.GetValue("id", "0"));
        std::vector<const KvAdvItem*> shown;
        for (int i = 0; i < items.GetSize(); ++i) {
            const auto* item = static_cast<const KvAdvItem*>(items.GetAt(i));
            if (item->m_bActive && KvIsWebAddress(item->m_strUrl) && (id <= 0 || item->m_nID == id)) {
                shown.push_back(item);
            }
        }
        if (!shown.empty()) markup = RenderAdMarkup(*shown[(size_t)rand() % shown.size()]);
    }
    m_pResponse->m_bufBody.Empty();
    m_pResponse->m_bufBody.PutString(StrFormat("adv = '%s';\r\n", JsEscape(markup).c_str()));
    m_pResponse->m_bufBody.PutString("document.write(adv);\r\n");
    return ResponseFinish("application/x-javascript");
}
