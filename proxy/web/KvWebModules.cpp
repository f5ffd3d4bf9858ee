// KvWebObjectEx: the built-in modules of "/phpmod/".
#include "proxy/web/KvWebObjectEx.h"

namespace {

using Handler = int (KvWebObjectEx::*)();

struct Module {
    const char* file;
    Handler handler;  // null: not handled here (the request goes elsewhere)
};

const Module kModules[] = {
    {"login.php", &KvWebObjectEx::ResponseLoginModule},
    {"logout.php", &KvWebObjectEx::ResponseLogoutModule},
    {"register.php", nullptr},
    {"lost_password.php", nullptr},
    {"cpanel.php", &KvWebObjectEx::ResponseControlPanelModule},
    {"member_info.php", &KvWebObjectEx::ResponseMemberInfoModule},
    {"member_startpage.php", &KvWebObjectEx::ResponseMemberStartPageModule},
    {"sysvar.php", &KvWebObjectEx::ResponseSysvarModule},
    {"sysother.php", &KvWebObjectEx::ResponseSysOtherModule},
    {"advtext.php", &KvWebObjectEx::ResponseAdvTextModule},
    {"advrnd.php", &KvWebObjectEx::ResponseAdvRandomModule},
    {"macro.php", &KvWebObjectEx::ResponseMacroModule},
    {"member_visit.php", &KvWebObjectEx::ResponseNotYetImplemented},
    {"service.php", &KvWebObjectEx::ResponseNotYetImplemented},
    {"util.php", &KvWebObjectEx::ResponseUtilityModule},
    {"theme_chg.php", &KvWebObjectEx::ResponseChangeTheme},
    {"logo_chg.php", &KvWebObjectEx::ResponseChangeLogo},
    {"upload.php", &KvWebObjectEx::ResponseUploadModule},
    {"runsql.php", &KvWebObjectEx::ResponseRunSqlStatement},
    {"sqlupload.php", &KvWebObjectEx::ResponseSqlUpload},
};

}  // namespace

int KvWebObjectEx::ResponsePhpModule() {
    for (const Module& module : kModules) {
        if (m_strCurFile != module.file) continue;
        return module.handler ? (this->*module.handler)() : 0;
    }
    return 0;
}
