// KvOwnListener: the address this proxy listens on while it runs, and the
// names under which a request can reach it.
//
// The application sets it when the proxy starts and clears it when the
// proxy stops; the portal reads it for its proxy auto-configuration file,
// and the request path to tell a request for the proxy itself from one for
// another server. Any thread may call any function (a small lock guards
// the value, which changes only when the proxy is started again).
#pragma once

#include "base/platform/CString.h"

struct KvListenAddress {
    CString host;  // as configured ("127.0.0.1", "::1", "0.0.0.0", "localhost"...)
    int port = 0;  // the bound port; 0 while the proxy does not listen
};

void KvSetOwnListener(const char* host, int port);
KvListenAddress KvGetOwnListener();

// "host:port" under which a browser on this machine reaches the listener:
// a listener on every address ("", "*", "0.0.0.0", "::") is reached at
// 127.0.0.1; an IPv6 address is written in brackets. Empty while the
// proxy does not listen.
CString KvOwnListenerAuthority();

// True when `host` (any letter case, an IPv6 address with or without its
// brackets) names the listener: its configured address; for a loopback
// listener also "localhost"; for a listener on every address any loopback
// address, "localhost" and this machine's name. False while the proxy
// does not listen. The port is the caller's to compare.
bool KvIsOwnListenerName(const char* host);
