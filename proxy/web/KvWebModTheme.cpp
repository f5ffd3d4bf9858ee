// KvWebObjectEx: themes and the logo: "theme_chg.php", "logo_chg.php" and
// ChangeTheme.
//
// A site wears the theme folder named by "hp_theme". Choosing a theme
// copies its files into the site database ("/_theme/<name>/..."), where
// the logo upload then replaces "images/logo.jpg".
#include <vector>

#include "base/containers/CsList.h"
#include "base/file/KvFileFunc.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/web/KvCGI.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebModShared.h"
#include "proxy/web/KvWebObjectEx.h"
#include "proxy/web/KvWebPath.h"

namespace {

// A name that can only mean one folder right below the theme directory.
bool IsPlainFolderName(const CString& name) {
    if (name.IsEmpty() || name.GetLength() > 64 || name[0] == '.') return false;
    return name.FindOneOf("/\\:") < 0 && KvIsSafeRequestPath(name);
}

}  // namespace

int KvWebObjectEx::ChangeTheme(const char* nameText) {
    const CString name(nameText);
    CString themes, realName, folder;
    if (!IsPlainFolderName(name) || !GetDiskFolder("_theme", themes) ||
        !KvFindNameNoCase(themes, name, true, realName) || !KvResolveBelow(themes, realName, folder)) {
        return 0;
    }
    KvSqlTransaction tx(m_db);
    if (!tx.IsActive() || !m_db.DeleteAllSimpleFile("_theme") ||
        !m_db.CopyLocalPath(folder, "/_theme/" + realName + "/", kvmod::kMaxUploadBytes) ||
        !m_db.SetSystemVar("hp_theme", realName) || !tx.Commit()) {
        return 0;
    }
    // Stored: now the cached setting and the pages follow.
    SetSystemVar("hp_theme", realName);
    m_strThemeName = realName;
    return 1;
}

int KvWebObjectEx::ResponseChangeTheme() {
    if (!IsUserAdmin()) return ResponseUnauthorisized();
    const CString op = kvmod::GetOp(*this);
    CString message;
    if (op == "change") {
        if (!AllowStateChange(KvWho::Admin, KvVia::Form)) return 1;
        const CString name = m_cgi.GetValue("theme", "");
        message = ChangeTheme(name) ? "The theme is now " + m_strThemeName + "."
                                    : CString("Change theme failed. Please choose another theme.");
    } else if (op != "show") {
        return ResponseUnknownAction(op);
    }
    CString themes;
    CsStrList names;
    if (GetDiskFolder("_theme", themes)) SearchSubDir(themes, "*", names);
    KvParseImp imp;
    imp.AddVariable("page_msg", HtmlEscape(message));
    imp.AddVariable("theme_combobox", ListToHtmlComboBox(names, "theme", m_strThemeName));
    imp.AddVariable("theme_name", HtmlEscape(m_strThemeName));
    imp.AddVariable("form_action", "/phpmod/theme_chg.php");
    imp.AddVariable("current_path",
                    RenderTrail(kvmod::kCpanel, kvmod::kCpanelUrl, "Change Theme", "/phpmod/theme_chg.php"));
    return ResponseTemplatePage("/_template/theme_chg.htm", "Change Theme", imp, "spage.htm");
}

int KvWebObjectEx::ResponseChangeLogo() {
    if (!IsUserAdmin()) return ResponseUnauthorisized();
    const CString op = kvmod::GetOp(*this);
    CString message;
    if (op == "upload") {
        if (!AllowStateChange(KvWho::Admin, KvVia::Form)) return 1;
        KvCGIFile* upload = m_cgi.GetFile(0);
        const long long size = upload ? (long long)upload->m_bufContent.GetCount() : 0;
        KvSimpleFile logo;
        logo.m_strType = "_theme";
        logo.m_strPath = m_strThemeName + "/images/logo.jpg";
        logo.m_strMime = "image/jpeg";
        logo.m_timeModified = KvTime::GetCurTime();
        if (size == 0) {
            message = "Your file size is 0.";
        } else if (size > kvmod::kMaxUploadBytes || !logo.m_bufContent.PutString(upload->m_bufContent.GetData(),
                                                                                  (size_t)size) ||
                   !m_db.PutSimpleFile(&logo)) {
            message = "Change logo failed. Please try another file.";
        } else {
            message = "The logo has been changed.";
        }
    } else if (op != "show") {
        return ResponseUnknownAction(op);
    }
    KvParseImp imp;
    imp.AddVariable("page_msg", HtmlEscape(message));
    imp.AddVariable("logo_url", HtmlEscapeAttr(StrFormat("/_theme/%s/images/logo.jpg", m_strThemeName.c_str())));
    imp.AddVariable("form_action", "/phpmod/logo_chg.php");
    imp.AddVariable("current_path",
                    RenderTrail(kvmod::kCpanel, kvmod::kCpanelUrl, "Change Logo", "/phpmod/logo_chg.php"));
    return ResponseTemplatePage("/_template/logo_chg.htm", "Change Logo", imp, "spage.htm");
}
