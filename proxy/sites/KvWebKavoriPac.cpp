// KvWebKavori: placeholder, filled in by the portal's Pac pages.
#include "proxy/sites/KvWebKavori.h"

int KvWebKavori::ResponseProxyPac() { return ResponseNotYetImplemented(); }
