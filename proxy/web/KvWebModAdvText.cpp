// KvWebObjectEx: "advtext.php", the advertising text blocks that pages
// embed by key ({advtext:key}).
//
// Administrators only. The list and the edit form are reads; adding,
// saving, deleting and resetting the hit counters are changes and carry
// the form token (the delete and reset links too).
#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebModAdv.h"
#include "proxy/web/KvWebModShared.h"
#include "proxy/web/KvWebObjectEx.h"

namespace {

const char kModule[] = "/phpmod/advtext.php";

CString ActiveLabel(int active) { return active ? "ACTIVE" : "NON-ACTIVE"; }

// One table row per block with its edit and delete links.
CString RenderAdvTextList(KvWebDB& db, const CString& linkToken) {
    KvObjectArray blocks;
    db.PopulateAdvText(blocks);
    if (blocks.GetSize() == 0) return "<p class=\"mod-empty\">No advertising text yet.</p>\r\n";
    CString out = "<table class=\"mod-list\">\r\n<tr><th>Key</th><th>Title</th><th>State</th><th>Hits</th>"
                  "<th></th></tr>\r\n";
    for (int i = 0; i < blocks.GetSize(); ++i) {
        const auto* adv = static_cast<const KvAdvText*>(blocks.GetAt(i));
        const CString key = UrlEscapeComponent(adv->m_strKey);
        const CString edit = HtmlEscapeAttr(StrFormat("%s?op=edit&key=%s", kModule, key.c_str()));
        const CString del =
            HtmlEscapeAttr(StrFormat("%s?op=del&key=%s", kModule, key.c_str()) + linkToken);
        out += StrFormat("<tr><td>%s</td><td>%s</td><td>%s</td><td>%d</td><td class=\"mod-actions\">[<a "
                         "href=\"%s\">EDIT</a>] [<a href=\"%s\">DELETE</a>]</td></tr>\r\n",
                         HtmlEscape(adv->m_strKey).c_str(), HtmlEscape(adv->m_strTitle).c_str(),
                         ActiveLabel(adv->m_bActive).c_str(), adv->m_nHits, edit.c_str(), del.c_str());
    }
    return out + "</table>\r\n";
}

// The block's fields as the forms show them; a save may rename the key.
void AddAdvTextFields(KvParseImp& imp, const KvAdvText& adv) {
    kvmod::AddAdvFields(imp, adv, kModule);
    imp.AddVariable("fld_newkey", HtmlEscapeAttr(adv.m_strKey));
}

}  // namespace

int KvWebObjectEx::ResponseAdvTextModule() {
    if (!IsUserAdmin()) return ResponseUnauthorisized();
    const CString op = kvmod::GetOp(*this);
    const CString list = m_strHomeUrl + kModule;
    KvParseImp imp;
    if (op == "show" || op == "add") {
        KvAdvText adv;
        CString message;
        if (op == "add") {
            if (!AllowStateChange(KvWho::Admin, KvVia::Form)) return 1;
            message = kvmod::ReadAdvForm(*this, adv);
            if (message.IsEmpty() && m_db.AddAdvText(&adv)) return ResponseRedirect(list);
            if (message.IsEmpty()) message = "Unable to add database";
        }
        imp.AddVariable("page_msg", HtmlEscape(message));
        imp.AddVariable("adv_list", RenderAdvTextList(m_db, LinkToken()));
        imp.AddVariable("reset_href", HtmlEscapeAttr(kModule + CString("?op=resethits") + LinkToken()));
        AddAdvTextFields(imp, adv);
        imp.AddVariable("current_path", RenderTrail(kvmod::kCpanel, kvmod::kCpanelUrl, "Advertising Text", kModule));
        return ResponseTemplatePage("/_template/advtext.htm", "Advertising Text", imp, "wpage.htm");
    }
    if (op == "edit" || op == "save") {
        KvAdvText adv;
        CString message;
        if (op == "edit") {
            const char* key = m_cgi.GetValue("key", "");
            if (!m_db.GetAdvText(key, &adv)) {
                return ResponseError("Unable to locate advertising text with the key=%s", key);
            }
        } else {
            if (!AllowStateChange(KvWho::Admin, KvVia::Form)) return 1;
            message = kvmod::ReadAdvForm(*this, adv);
            const CString oldKey = adv.m_strKey;
            CString newKey = m_cgi.GetValue("fld_newkey", "");
            if (!newKey.IsEmpty()) adv.m_strKey = newKey;
            KvAdvText stored;
            if (message.IsEmpty() && m_db.GetAdvText(oldKey, &stored) && m_db.UpdateAdvText(oldKey, &adv)) {
                return ResponseRedirect(list);
            }
            if (message.IsEmpty()) message = "Unable to save to database";
            adv.m_strKey = oldKey;
        }
        imp.AddVariable("page_msg", HtmlEscape(message));
        AddAdvTextFields(imp, adv);
        imp.AddVariable("current_path", RenderTrail(kvmod::kCpanel, kvmod::kCpanelUrl, "Advertising Text", kModule));
        return ResponseTemplatePage("/_template/advtext_edit.htm", "Edit Advertising Text", imp, "wpage.htm");
    }
    if (op == "del" || op == "resethits") {
        if (!AllowStateChange(KvWho::Admin, KvVia::Link)) return 1;
        if (op == "del") m_db.DeleteAdvText(m_cgi.GetValue("key", ""));
        else m_db.ResetHitsAdvText();
        return ResponseRedirect(list);
    }
    return ResponseUnknownAction(op);
}
