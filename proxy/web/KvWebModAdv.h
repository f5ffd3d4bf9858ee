// What the two advertising-block modules share: both kinds of block carry
// a key, a title, an HTML text and an active flag, and their forms show
// and read those the same way.
#pragma once

#include "base/platform/CString.h"
#include "inet/html/KvHtml.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebModShared.h"
#include "proxy/web/KvWebObjectEx.h"

namespace kvmod {

// The block's shared fields as the forms show them, and the form's target.
template <class Adv>
void AddAdvFields(KvParseImp& imp, const Adv& adv, const char* module) {
    imp.AddVariable("fld_key", HtmlEscapeAttr(adv.m_strKey));
    imp.AddVariable("fld_title", HtmlEscapeAttr(adv.m_strTitle));
    imp.AddVariable("fld_text", HtmlEscape(adv.m_strText));
    imp.AddVariable("chk_active", adv.m_bActive ? "checked" : "");
    imp.AddVariable("form_action", module);
}

// The form's shared fields into the block; the message of the first
// invalid one, else empty.
template <class Adv>
CString ReadAdvForm(KvWebObjectEx& site, Adv& adv) {
    KvCGI& cgi = site.GetCGI();
    adv.m_strKey = cgi.GetValue("fld_key", "");
    adv.m_strTitle = cgi.GetValue("fld_title", "");
    adv.m_strText = GetHtmlField(site, "fld_text");
    adv.m_bActive = cgi.GetIntValue("fld_active", 0) ? 1 : 0;
    if (adv.m_strKey.IsEmpty()) return "Please enter the keyword properly";
    if (adv.m_strTitle.IsEmpty()) return "Please enter the title properly";
    return CString();
}

}  // namespace kvmod
