// KvWebObjectEx: "advrnd.php", the random advertising blocks: several
// blocks share a key and a page shows one of them ({advrnd:key}).
//
// Administrators only; the changes carry the form token, as in
// "advtext.php".
#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebModAdv.h"
#include "proxy/web/KvWebModShared.h"
#include "proxy/web/KvWebObjectEx.h"

namespace {

const char kModule[] = "/phpmod/advrnd.php";
const char kLabel[] = "Random Advertising Text";

CString RenderAdvRandomList(KvWebDB& db, const CString& linkToken) {
    KvObjectArray blocks;
    db.PopulateAdvRandom(blocks);
    if (blocks.GetSize() == 0) return "<p class=\"mod-empty\">No random advertising text yet.</p>\r\n";
    CString out = "<table class=\"mod-list\">\r\n<tr><th>Id</th><th>Key</th><th>Title</th><th>State</th>"
                  "<th>Hits</th><th></th></tr>\r\n";
    for (int i = 0; i < blocks.GetSize(); ++i) {
        const auto* adv = static_cast<const KvAdvRandom*>(blocks.GetAt(i));
        const CString edit = HtmlEscapeAttr(StrFormat("%s?op=edit&id=%d", kModule, adv->m_nID));
        const CString del = HtmlEscapeAttr(StrFormat("%s?op=del&id=%d", kModule, adv->m_nID) + linkToken);
        out += StrFormat("<tr><td>%d</td><td>%s</td><td>%s</td><td>%s</td><td>%d</td><td class=\"mod-actions\">[<a "
                         "href=\"%s\">EDIT</a>] [<a href=\"%s\">DELETE</a>]</td></tr>\r\n",
                         adv->m_nID, HtmlEscape(adv->m_strKey).c_str(), HtmlEscape(adv->m_strTitle).c_str(),
                         adv->m_bActive ? "ACTIVE" : "NON-ACTIVE", adv->m_nHits, edit.c_str(), del.c_str());
    }
    return out + "</table>\r\n";
}

void AddAdvRandomFields(KvParseImp& imp, const KvAdvRandom& adv) {
    imp.AddVariable("adv_id", adv.m_nID);
    kvmod::AddAdvFields(imp, adv, kModule);
}

CString ReadAdvRandomForm(KvWebObjectEx& site, KvAdvRandom& adv) {
    adv.m_nID = site.GetCGI().GetIntValue("id", 0);
    return kvmod::ReadAdvForm(site, adv);
}

}  // namespace

int KvWebObjectEx::ResponseAdvRandomModule() {
    if (!IsUserAdmin()) return ResponseUnauthorisized();
    const CString op = kvmod::GetOp(*this);
    const CString list = m_strHomeUrl + kModule;
    KvParseImp imp;
    if (op == "show" || op == "add") {
        KvAdvRandom adv;
        CString message;
        if (op == "add") {
            if (!AllowStateChange(KvWho::Admin, KvVia::Form)) return 1;
            message = ReadAdvRandomForm(*this, adv);
            if (message.IsEmpty() && m_db.AddAdvRandom(&adv)) return ResponseRedirect(list);
            if (message.IsEmpty()) message = "Unable to add database";
        }
        imp.AddVariable("page_msg", HtmlEscape(message));
        imp.AddVariable("adv_list", RenderAdvRandomList(m_db, LinkToken()));
        imp.AddVariable("reset_href", HtmlEscapeAttr(kModule + CString("?op=resethits") + LinkToken()));
        AddAdvRandomFields(imp, adv);
        imp.AddVariable("current_path", RenderTrail(kvmod::kCpanel, kvmod::kCpanelUrl, kLabel, kModule));
        return ResponseTemplatePage("/_template/advrnd.htm", kLabel, imp, "wpage.htm");
    }
    if (op == "edit" || op == "save") {
        KvAdvRandom adv;
        CString message;
        if (op == "edit") {
            const int id = m_cgi.GetIntValue("id", 0);
            if (!m_db.GetAdvRandom(id, &adv)) {
                return ResponseError("Unable to locate advertising random text with the id=%d", id);
            }
        } else {
            if (!AllowStateChange(KvWho::Admin, KvVia::Form)) return 1;
            message = ReadAdvRandomForm(*this, adv);
            KvAdvRandom stored;
            if (message.IsEmpty() && m_db.GetAdvRandom(adv.m_nID, &stored) && m_db.UpdateAdvRandom(&adv)) {
                return ResponseRedirect(list);
            }
            if (message.IsEmpty()) message = "Unable to save to database";
        }
        imp.AddVariable("page_msg", HtmlEscape(message));
        AddAdvRandomFields(imp, adv);
        imp.AddVariable("current_path", RenderTrail(kvmod::kCpanel, kvmod::kCpanelUrl, kLabel, kModule));
        return ResponseTemplatePage("/_template/advrnd_edit.htm", "Edit Random Advertising Text", imp, "wpage.htm");
    }
    if (op == "del" || op == "resethits") {
        if (!AllowStateChange(KvWho::Admin, KvVia::Link)) return 1;
        if (op == "del") m_db.DeleteAdvRandom(m_cgi.GetIntValue("id", 0));
        else m_db.ResetHitsAdvRandom();
        return ResponseRedirect(list);
    }
    return ResponseUnknownAction(op);
}
