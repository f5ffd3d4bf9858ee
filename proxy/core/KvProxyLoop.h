// Keeping requests from going round in circles: the "Via" entry this proxy
// adds to what it forwards (and finds again when a request comes back),
// and the test whether an outgoing connection reached this proxy's own
// listener.
//
// Functions over their arguments and the process-wide token: any request
// thread may call them.
#pragma once

#include "base/platform/CString.h"

class KvHttpBuffer;

// The received-by name of this proxy's "Via" entries: "kvproxy-" and
// random hex digits, drawn once per process (so two proxies in a chain
// tell their entries apart, and no host name is given away).
const CString& KvProxyViaToken();

// The entry this proxy adds: the protocol version of the request it
// received ("1.0" for "HTTP/1.0", "1.1" otherwise) and its token.
CString KvProxyViaEntry(const char* requestVersion);

// True when a "Via" header of the message names this proxy's token: the
// request has passed through this proxy before.
bool KvHasOwnVia(const KvHttpBuffer& message);

// True when the connected socket `fd` ends at this proxy's listener:
// `listenPort` is the bound port and `listenAddress` the configured
// address ("", "*", "0.0.0.0" or "::" for every local address).
bool KvIsOwnListener(int fd, int listenPort, const char* listenAddress);
