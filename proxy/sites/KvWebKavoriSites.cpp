// KvWebKavori: placeholder, filled in by the portal's Sites pages.
#include "proxy/sites/KvWebKavori.h"

int KvWebKavori::ResponseLocalWeb() { return ResponseNotYetImplemented(); }
