// KvWebKavori: the list of local sites and the form that makes a new one
// ("localweb.php", "linkweb.php"; CGI "op" show, create, docreate).
//
// Anyone may read the list and the form; making a site needs the portal's
// administrator, the form token and a request from the portal's own pages.
#include "base/str/StrFunc.h"
#include "inet/url/KvUrlCode.h"
#include "proxy/sites/KvNewSite.h"
#include "proxy/sites/KvWebKavori.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebHosts.h"
#include "proxy/web/KvWebMgr.h"

namespace {

struct SiteKind {
    const char* type;       // the database kind
    const char* className;  // the class that serves it
    const char* label;
};

const SiteKind kKinds[] = {
    {"cwd", "KvWebLocal", "Local web site"},
    {"cld", "KvWebLink", "Link directory"},
    {"crd", "KvWebRSS", "RSS reader"},
    {"csd", "KvWebKavori", "Portal"},
    {"csd", "KvWebPolyseek", "Meta-search"},
    {"", "KvWebLocalFile", "Folder of files"},
};

CString KindLabel(const CString& className) {
    for (const SiteKind& kind : kKinds) {
        if (className == kind.className) return kind.label;
    }
    return "Site";
}

CString TypeLabel(const CString& type) {
    for (const SiteKind& kind : kKinds) {
        if (type == kind.type) return kind.label;
    }
    return "Site";
}

// At least four characters, none of them blank or a control byte.
bool IsPasswordAcceptable(const CString& password) {
    if (!IsPasswordValid(password)) return false;
    for (unsigned char c : password.str()) {
        if (c <= ' ' || c == 0x7F) return false;
    }
    return true;
}

CString RenderSiteRows(const std::vector<KvLocalWebInfo>& sites) {
    CString rows;
    for (const KvLocalWebInfo& site : sites) {
        rows += "<tr><td>" + HtmlEscape(KindLabel(site.className)) + "</td><td>" + HtmlEscape(site.name) +
                "<br><small>" + HtmlEscape(site.description) + "</small></td><td><a href=\"" +
                HtmlSafeHref(site.url + "/") + "\">" + HtmlEscape(site.domain) + "</a></td></tr>\r\n";
    }
    return rows;
}

}  // namespace

int KvWebKavori::ResponseLocalWeb() {
    CString op = m_cgi.GetValue("op", "show");
    op.MakeLower();
    if (op == "show") return ResponseLocalWebList();
    if (op == "create") {
        KvDomainInfo info;
        info.type = m_strCurFile.CompareNoCase("linkweb.php") == 0 ? "cld" : m_cgi.GetValue("fld_type", "cwd");
        return ResponseLocalWebForm(info, "");
    }
    if (op == "docreate") return ResponseDoCreateLocalWeb();
    return ResponseUnknownAction(op);
}

int KvWebKavori::ResponseLocalWebList() {
    const std::vector<KvLocalWebInfo> sites = KvWebMgr::GetInstance()->ListLocalWebs();
    CString list = "<table class=\"mod-list\">\r\n<tr><th>Kind</th><th>Name</th><th>Address</th></tr>\r\n" +
                   RenderSiteRows(sites) + "</table>\r\n";
    KvParseImp imp;
    imp.AddVariable("web_list", list);
    imp.AddVariable("web_count", (int)sites.size());
    imp.AddVariable("current_path", RenderTrail("LocalWeb List", "/localweb.php?op=show"));
    imp.AddVariable("page_url", "/localweb.php");
    return ResponseTemplatePage("/_template/localweb_list.htm", "LocalWeb List", imp);
}

int KvWebKavori::ResponseLocalWebForm(const KvDomainInfo& info, const char* message) {
    KvParseImp imp;
    imp.AddVariable("fld_domain", HtmlEscape(info.domain));
    imp.AddVariable("fld_hp_name", HtmlEscape(info.name));
    imp.AddVariable("fld_hp_desc", HtmlEscape(info.desc));
    imp.AddVariable("fld_hp_keywords", HtmlEscape(info.keywords));
    imp.AddVariable("fld_admin_id", HtmlEscape(info.adminId));
    // A password is never written back into a page.
    imp.AddVariable("fld_admin_psw1", "");
    imp.AddVariable("fld_admin_psw2", "");
    for (const char* type : {"cwd", "cld", "crd"}) {
        imp.AddVariable(CString("sel_") + type, info.type == type ? "checked" : "");
    }
    imp.AddVariable("domain_suffix", HtmlEscape(KV_HOST_SUFFIX));
    imp.AddVariable("admin_note", IsUserAdmin() ? ""
                                                : "<p class=\"notice\">Only the portal's administrator creates sites: "
                                                  "<a href=\"/phpmod/login.php\">sign in</a> first.</p>");
    imp.AddVariable("page_msg", HtmlEscape(message));
    imp.AddVariable("current_path", RenderTrail("LocalWeb List", "/localweb.php?op=show", "Create LocalWeb",
                                                "/localweb.php?op=create"));
    imp.AddVariable("page_url", "/localweb.php");
    return ResponseTemplatePage("/_template/localweb_create.htm", "Create LocalWeb", imp);
}

// The form's values; false with the first failure's message.
bool KvWebKavori::ReadLocalWebForm(KvDomainInfo& info, CString& message) {
    info.type = m_cgi.GetValue("fld_type", "");
    info.type.MakeLower();
    const CString typed = m_cgi.GetValue("fld_domain", "");
    info.domain = typed;
    info.name = m_cgi.GetValue("fld_hp_name", "");
    info.desc = m_cgi.GetValue("fld_hp_desc", "");
    info.keywords = KvKeywords(m_cgi.GetValue("fld_hp_keywords", "")).AsString();
    info.adminId = m_cgi.GetValue("fld_admin_id", "");
    info.name.Trim();
    info.desc.Trim();
    info.adminId.Trim();
    info.password = m_cgi.GetValue("fld_admin_psw1", "");
    const CString again = m_cgi.GetValue("fld_admin_psw2", "");
    if (info.type != "cwd" && info.type != "cld" && info.type != "crd") {
        message = "Please choose a local web site, a link directory or an RSS reader";
    } else if (!KvNormaliseSiteDomain(typed, info.domain)) {
        message = "Please enter the valid domain name";
    } else if (info.name.IsEmpty()) {
        message = "Please enter the valid homepage name";
    } else if (info.desc.IsEmpty()) {
        message = "Please enter the valid homepage description";
    } else if (info.keywords.IsEmpty()) {
        message = "Please enter the valid homepage keywords";
    } else if (info.adminId.IsEmpty()) {
        message = "Please enter the valid admin user id";
    } else if (!IsPasswordAcceptable(info.password)) {
        message = "Invalid password. Minimal 4 char. Use only char and number, don't use space.";
    } else if (info.password != again) {
        message = "The two password must be match";
    }
    return message.IsEmpty();
}

int KvWebKavori::ResponseDoCreateLocalWeb() {
    if (!AllowStateChange(KvWho::Admin)) return 1;
    KvDomainInfo info;
    CString message;
    if (!ReadLocalWebForm(info, message)) return ResponseLocalWebForm(info, message);
    KvWebMgr* sites = KvWebMgr::GetInstance();
    const CString exists = StrFormat("Domain %s already exist. Please change your new domain name", info.domain.c_str());
    // Another kind of site may hold the name already.
    if (sites->IsLocalHost(info.domain)) return ResponseLocalWebForm(info, exists);
    CString file;
    switch (KvCreateSiteFile(GetBasePath(), info, file)) {
    case KvNewSiteResult::Exists:
        return ResponseLocalWebForm(info, exists);
    case KvNewSiteResult::Failed:
        return ResponseLocalWebForm(info, "Unable to create new local web");
    case KvNewSiteResult::Created:
        break;
    }
    if (!sites->AddNewLocalWeb(file, info.type)) {
        KvRemoveSiteFile(file);
        return ResponseLocalWebForm(info, "Unable to create new local web");
    }
    return ResponseLocalWebCreated(info);
}

int KvWebKavori::ResponseLocalWebCreated(const KvDomainInfo& info) {
    const CString home = "http://" + info.domain;
    // The sign-in form with the name filled in; the password stays with
    // the person who typed it.
    const CString login = home + "/phpmod/login.php?op=show&uid=" + UrlEscapeComponent(info.adminId);
    KvParseImp imp;
    imp.AddVariable("url_login", HtmlEscapeAttr(login));
    imp.AddVariable("url_home", HtmlEscapeAttr(home + "/"));
    imp.AddVariable("domain_name", HtmlEscape(info.domain));
    imp.AddVariable("site_kind", HtmlEscape(TypeLabel(info.type)));
    imp.AddVariable("site_name", HtmlEscape(info.name));
    imp.AddVariable("admin_id", HtmlEscape(info.adminId));
    imp.AddVariable("current_path", RenderTrail("LocalWeb List", "/localweb.php?op=show", "Create LocalWeb",
                                                "/localweb.php?op=create"));
    imp.AddVariable("page_url", "/localweb.php");
    return ResponseTemplatePage("/_template/localweb_create_success.htm", "Create A New Local Web", imp);
}
