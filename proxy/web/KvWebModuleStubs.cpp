// KvWebObjectEx: module handlers that the site engine has not received
// yet; each answers with the not-implemented page until it lands.
#include "proxy/web/KvWebObjectEx.h"

int KvWebObjectEx::ResponseAdvTextModule() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseAdvRandomModule() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseChangeTheme() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseChangeLogo() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseUploadModule() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseRunSqlStatement() { return ResponseNotYetImplemented(); }
int KvWebObjectEx::ResponseSqlUpload() { return ResponseNotYetImplemented(); }
