// KvWebKavori: placeholder, filled in by the portal's History pages.
#include "proxy/sites/KvWebKavori.h"

int KvWebKavori::ResponseHistory() { return ResponseNotYetImplemented(); }
