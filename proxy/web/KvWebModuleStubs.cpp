// KvWebObjectEx: module handlers that the site engine has not received
// yet; each answers with the not-implemented page until it lands.
#include "proxy/web/KvWebObjectEx.h"

int KvWebObjectEx::ResponseLoginModule() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseLogoutModule() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseControlPanelModule() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseMemberInfoModule() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseMemberStartPageModule() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseSysvarModule() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseSysOtherModule() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseAdvTextModule() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseAdvRandomModule() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseMacroModule() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseUtilityModule() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseChangeTheme() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseChangeLogo() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseUploadModule() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseRunSqlStatement() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseSqlUpload() { return ResponseNotYetImplemented(); }
