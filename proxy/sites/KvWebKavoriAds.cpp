// KvWebKavori: placeholder, filled in by the portal's Ads pages.
#include "proxy/sites/KvWebKavori.h"

int KvWebKavori::ResponseAdManagement() { return ResponseNotYetImplemented(); }
int KvWebKavori::ResponseAdJump() { return ResponseNotYetImplemented(); }
int KvWebKavori::ResponseAdShowJs() { return ResponseNotYetImplemented(); }
