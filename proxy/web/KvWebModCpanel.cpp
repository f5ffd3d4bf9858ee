// KvWebObjectEx: the control panel and the small modules around it
// ("cpanel.php", "member_startpage.php", "sysother.php", "macro.php",
// "util.php").
#include "base/str/StrFunc.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebObjectEx.h"

int KvWebObjectEx::ResponseControlPanelModule() {
    if (!HasAccess(KvWho::Admin)) return ResponseUnauthorisized();
    KvParseImp imp;
    imp.AddVariable("m_id", m_user.m_nID);
    imp.AddVariable("m_name", HtmlEscape(m_user.m_strName));
    imp.AddVariable("current_path", RenderTrail("Control Panel", "/phpmod/cpanel.php"));
    return ResponseTemplatePage("/_template/cpanel_adm.htm", "Control Panel", imp);
}

int KvWebObjectEx::ResponseMemberStartPageModule() {
    if (!IsUserLogin()) return ResponseRedirect(m_strHomeUrl + "/phpmod/login.php");
    return RedirectToMemberStartPage();
}

int KvWebObjectEx::ResponseSysOtherModule() {
    if (!HasAccess(KvWho::Admin)) return ResponseUnauthorisized();
    return ResponseNotYetImplemented();
}

int KvWebObjectEx::ResponseMacroModule() {
    if (!HasAccess(KvWho::Admin)) return ResponseUnauthorisized();
    CString op = m_cgi.GetValue("op", "edit");
    op.MakeLower();
    if (op == "sss") return ResponseSysvarEdit();
    return ResponseUnknownAction(op);
}

int KvWebObjectEx::ResponseUtilityModule() {
    CString op = m_cgi.GetValue("op", "");
    op.MakeLower();
    if (op != "advitem") return ResponseUnknownAction(op);
    if (!AllowStateChange(KvWho::Admin, KvVia::Link)) return 1;
    const bool made = m_db.IsTableExist("query_target") ||
                      m_db.Execute("create table query_target(qt_code varchar(32) not null, qt_text varchar(255), "
                                   "qt_adv int(3) default 0,primary key (qt_code));") >= 0;
    return ResponseSimpleHtml("Utility", made ? "The table query_target is ready." : "Unable to create the table.");
}
