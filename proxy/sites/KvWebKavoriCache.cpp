// KvWebKavori: placeholder, filled in by the portal's Cache pages.
#include "proxy/sites/KvWebKavori.h"

int KvWebKavori::ResponseCacheManagement() { return ResponseNotYetImplemented(); }
int KvWebKavori::ResponseCacheShowCacheList() { return ResponseNotYetImplemented(); }
int KvWebKavori::ResponseCacheShowDomainList() { return ResponseNotYetImplemented(); }
int KvWebKavori::ResponseCacheShowObjectList() { return ResponseNotYetImplemented(); }
int KvWebKavori::ResponseCacheShowPage() { return ResponseNotYetImplemented(); }
