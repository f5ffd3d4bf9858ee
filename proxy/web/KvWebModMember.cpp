// KvWebObjectEx: a member's own record ("member_info.php", ops "edit" and
// "save"). A member edits their own record, an administrator any; saving
// takes the same check as editing, through the change guard.
#include "base/str/StrFunc.h"
#include "ext/KvMd5/KvMd5.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/url/KvUrlCode.h"
#include "inet/web/KvCountry.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebObjectEx.h"

namespace {

// The one account that may hold the developer level.
const char kDeveloperName[] = "rovizad";

// "name@host.domain" without blanks or control bytes: enough to catch a
// typing slip; the address is never sent mail by the site.
bool LooksLikeEmail(const CString& email) {
    const int at = email.Find('@');
    if (at <= 0 || at != email.ReverseFind('@')) return false;
    const int dot = email.ReverseFind('.');
    if (dot < at + 2 || dot == email.GetLength() - 1) return false;
    for (int i = 0; i < email.GetLength(); ++i) {
        if ((unsigned char)email[i] <= ' ' || email[i] == 0x7F) return false;
    }
    return IsEmailValid(email) != 0;
}

}  // namespace

int KvWebObjectEx::ResponseMemberInfoModule() {
    CString op = m_cgi.GetValue("op", "edit");
    op.MakeLower();
    if (op == "edit") return ResponseMemberInfoEdit();
    if (op == "save") return ResponseDoMemberInfoEdit();
    return ResponseUnknownAction(op);
}

bool KvWebObjectEx::MayEditMember(const KvUserInfo& member) const {
    if (!IsUserLogin()) return false;
    if (m_user.m_nID == member.m_nID) return true;
    // An administrator edits any record but a developer's: a new password
    // there would make the administrator a developer.
    return IsUserAdmin() && member.m_nLevel <= UserGetLevel();
}

int KvWebObjectEx::ResponseMemberInfoEdit() {
    const int id = m_cgi.GetIntValue("uid", m_user.m_nID);
    const char* refused = "You cannot edit other member info";
    if (!IsUserLogin() || (!IsUserAdmin() && id != m_user.m_nID)) return ResponseError("%s", refused);
    KvUserInfo member;
    if (!m_db.GetUserInfo(id, &member)) return ResponseError("Unregistered member id: %d", id);
    if (!MayEditMember(member)) return ResponseError("%s", refused);
    return ShowMemberInfoForm(member, "");
}

int KvWebObjectEx::ShowMemberInfoForm(const KvUserInfo& member, const char* message) {
    KvParseImp imp;
    imp.AddVariable("uid", member.m_nID);
    imp.AddVariable("m_name", HtmlEscape(member.m_strName));
    imp.AddVariable("fld_name", HtmlEscape(member.m_strName));
    imp.AddVariable("fld_fullname", HtmlEscape(member.m_strFullName));
    imp.AddVariable("fld_email", HtmlEscape(member.m_strEmail));
    imp.AddVariable("chk_view_email", HtmlCheckBox("fld_view_email", "1", member.m_bViewEmail));
    imp.AddVariable("chk_view_profile", HtmlCheckBox("fld_view_profile", "1", member.m_bViewProfile));
    imp.AddVariable("fld_hpage", HtmlEscape(member.m_strHomePage));
    imp.AddVariable("country_select", HtmlCountrySelect(member.m_nCountryCode));
    imp.AddVariable("fld_desc", HtmlEscape(member.m_strDesc));
    imp.AddVariable("max_item_perpage", member.m_nMaxItemPerPage);
    imp.AddVariable("form_action", "/phpmod/member_info.php");
    CString levelRow;
    if (IsUserAdmin()) {
        levelRow.Format("<tr><td valign=\"top\" align=\"right\">Member Level</td><td valign=\"top\" "
                        "align=\"left\">:</td><td valign=\"top\" align=\"left\"><input class=\"inputbox\" "
                        "type=\"text\" name=\"fld_level\" size=\"8\" value=\"%d\"> (0..9)</td></tr>",
                        member.m_nLevel);
    }
    imp.AddVariable("member_level_row", levelRow);
    imp.AddVariable("page_msg", HtmlEscape(message));
    imp.AddVariable("page_message", HtmlEscape(message));
    imp.AddVariable("current_path",
                    RenderTrail("Control Panel", "/phpmod/cpanel.php", "Member Info",
                                StrFormat("/phpmod/member_info.php?uid=%d", member.m_nID)));
    return ResponseTemplatePage("/_template/member_info.htm", "Member Info", imp);
}

bool KvWebObjectEx::GetMemberInfoFromCgi(KvUserInfo& member, CString& message) const {
    const CString storedName = member.m_strName;
    member.m_strName = m_cgi.GetValue("fld_name", "");
    // The developer's name is not free to take: the level rule below
    // leans on it.
    if (member.m_strName.IsEmpty() || (member.m_strName == kDeveloperName && storedName != kDeveloperName)) {
        message = "Your name is not valid";
        return false;
    }
    member.m_strFullName = m_cgi.GetValue("fld_fullname", "");
    if (member.m_strFullName.IsEmpty()) {
        message = "Your full name is not valid";
        return false;
    }
    member.m_strEmail = m_cgi.GetValue("fld_email", "");
    if (!LooksLikeEmail(member.m_strEmail)) {
        message = "Your email is not valid";
        return false;
    }
    member.m_bViewEmail = m_cgi.GetIntValue("fld_view_email", 0) ? 1 : 0;
    member.m_bViewProfile = m_cgi.GetIntValue("fld_view_profile", 0) ? 1 : 0;
    member.m_strHomePage = m_cgi.GetValue("fld_hpage", "");
    if (!member.m_strHomePage.IsEmpty() && !IsUrlValid(member.m_strHomePage.c_str())) {
        message = "Your homepage is not valid";
        return false;
    }
    member.m_nCountryCode = m_cgi.GetIntValue("fld_country", 0);
    if (member.m_nCountryCode <= 0 || member.m_nCountryCode >= KV_COUNTRY_COUNT) {
        message = "Please enter the valid country";
        return false;
    }
    member.m_strDesc = m_cgi.GetValue("fld_desc", "");
    const int perPage = m_cgi.GetIntValue("max_item_perpage", 0);
    member.m_nMaxItemPerPage = perPage < 5 ? 5 : perPage > 100 ? 100 : perPage;
    if (IsUserAdmin()) {
        const int level = m_cgi.GetIntValue("fld_level", 0);
        // The stored name decides, so renaming cannot make a developer.
        if (level >= 0) {
            const int ceiling = storedName == kDeveloperName ? KV_LEVEL_DEVELOPER : KV_LEVEL_ADMIN;
            member.m_nLevel = level > ceiling ? ceiling : level;
        }
    }
    const CString password = m_cgi.GetValue("fld_password1", "");
    if (!password.IsEmpty()) {
        if (password != m_cgi.GetValue("fld_password2", "")) {
            message = "Please reenter the password. ";
            return false;
        }
        member.m_strPassword = MD5String(password);
    }
    return true;
}

int KvWebObjectEx::ResponseDoMemberInfoEdit() {
    const int id = m_cgi.GetIntValue("uid", -1);
    KvUserInfo member;
    const bool found = m_db.GetUserInfo(id, &member);
    if (!AllowStateChange(KvWho::Member, KvVia::Form, found && MayEditMember(member))) return 1;
    CString message;
    if (!GetMemberInfoFromCgi(member, message)) return ShowMemberInfoForm(member, message);
    if (!m_db.UpdateUser(&member)) return ShowMemberInfoForm(member, "Unable to save member info to database.");
    if (member.m_nID == m_user.m_nID) m_user = member;
    // An ordinary member has no control panel to go back to.
    if (IsUserAdmin()) return ResponseRedirect(m_strHomeUrl + "/phpmod/cpanel.php");
    return ResponseRedirect(m_strHomeUrl + StrFormat("/phpmod/member_info.php?op=edit&uid=%d", member.m_nID));
}
