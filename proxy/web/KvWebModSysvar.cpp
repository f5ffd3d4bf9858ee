// KvWebObjectEx: the site's settings ("sysvar.php", ops "edit" and
// "save"), administrators only.
#include <iterator>

#include "inet/html/KvHtmlEscape.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebMgr.h"
#include "proxy/web/KvWebObjectEx.h"

namespace {

struct SysvarField {
    const char* field;     // form field and template variable
    const char* variable;  // system variable
    bool html;             // administrator's HTML: also offered as "<field>_editor"
};

const SysvarField kSysvarFields[] = {
    {"fld_hpname", "hp_name", false},     {"fld_hpslogan", "hp_motto", false},
    {"fld_hpdesc", "hp_desc", false},     {"fld_hpkeywords", "hp_keywords", false},
    {"fld_hpheader", "hp_header", true},  {"fld_hpfooter", "hp_footer", true},
    {"fld_hpsidebar", "hp_sidebar", true},
};

// Browsers send a text area's line breaks as CR LF, and form values
// arrive trimmed: an unchanged field must not count as changed for that.
CString Comparable(const CString& text) {
    CString out;
    for (int i = 0; i < text.GetLength(); ++i) {
        if (text[i] != '\r') out += text[i];
    }
    out.Trim();
    return out;
}

}  // namespace

int KvWebObjectEx::ResponseSysvarModule() {
    CString op = m_cgi.GetValue("op", "edit");
    op.MakeLower();
    if (op == "edit") return ResponseSysvarEdit();
    if (op == "save") return ResponseDoSysvarEdit();
    return ResponseUnknownAction(op);
}

int KvWebObjectEx::ResponseSysvarEdit() {
    if (!HasAccess(KvWho::Admin)) return ResponseUnauthorisized();
    return ShowSysvarForm("");
}

int KvWebObjectEx::ShowSysvarForm(const char* message) {
    // The fragments as the page frame would read them: a site that never
    // saved its settings sees the defaults in the form.
    RenderPageHeader();
    RenderPageFooter();
    RenderPageSidebar();
    KvParseImp imp;
    for (const SysvarField& f : kSysvarFields) {
        // "&" first, then "<", ">", quotes and braces: the browser shows
        // the stored text exactly, and posts it back unchanged.
        const CString value = GetSystemVar(f.variable);
        imp.AddVariable(f.field, HtmlEscape(value));
        if (f.html) imp.AddVariable(CString(f.field) + "_editor", HtmlEscapeAttr(value));
    }
    imp.AddVariable("form_action", "/phpmod/sysvar.php");
    imp.AddVariable("page_msg", HtmlEscape(message));
    imp.AddVariable("current_path",
                    RenderTrail("Control Panel", "/phpmod/cpanel.php", "System Variables", "/phpmod/sysvar.php"));
    return ResponseTemplatePage("/_template/sysvar.htm", "System Variables", imp);
}

int KvWebObjectEx::ResponseDoSysvarEdit() {
    if (!AllowStateChange(KvWho::Admin)) return 1;
    for (const SysvarField& f : kSysvarFields) {
        const char* posted = m_cgi.GetValue(f.field, nullptr);
        if (f.html) {
            // A rich editor posts its own field; it wins over the plain one.
            const char* edited = m_cgi.GetValue(CString(f.field) + "_editor", nullptr);
            if (edited) posted = edited;
        }
        if (!posted) continue;  // a form without the field keeps the setting
        const CString stored = GetSystemVar(f.variable);
        if (Comparable(posted) == Comparable(stored)) continue;
        SetSystemVar(f.variable, posted);
    }
    const CString name = GetSystemVar("hp_name"), description = GetSystemVar("hp_desc");
    if (!name.IsEmpty()) SetHostName(name);
    SetDescription(description);
    m_keywords.SetList(GetSystemVar("hp_keywords"));
    KvWebMgr::GetInstance()->UpdateLocalWebInfo(m_strDomain, name.IsEmpty() ? m_strDomain.c_str() : name.c_str(),
                                                description);
    return ResponseRedirect(m_strHomeUrl + "/phpmod/cpanel.php");
}
