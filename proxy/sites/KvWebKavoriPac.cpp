// KvWebKavori: the proxy auto-configuration file ("/proxy.pac"), which
// points a browser at KvProxy with one address.
#include "proxy/sites/KvWebKavori.h"

#include "inet/http/KvHttpResponse.h"
#include "proxy/web/KvOwnListener.h"

namespace {

// Where a browser reaches the running proxy; before it listens (a site
// driven by a test) the usual address.
CString ProxyAuthority() {
    const CString own = KvOwnListenerAuthority();
    return own.IsEmpty() ? CString("127.0.0.1:8168") : own;
}

}  // namespace

int KvWebKavori::ResponseProxyPac() {
    // Every web address goes through KvProxy, with no DIRECT fallback: a
    // stopped proxy then shows as such in the browser, instead of pages
    // quietly going around the lists and the cache, and the local sites'
    // names (which only KvProxy answers) failing with a name error.
    const CString proxy = "PROXY " + ProxyAuthority();
    PutLine("// Proxy auto-configuration of KvProxy: web pages (http and https) go through\r\n"
            "// KvProxy at %s; other protocols go directly.\r\n",
            (const char*)ProxyAuthority());
    PutLine("function FindProxyForURL(url, host) {\r\n"
            "    var scheme = url.substring(0, url.indexOf(\":\")).toLowerCase();\r\n"
            "    if (scheme == \"http\" || scheme == \"https\" || scheme == \"ws\" || scheme == \"wss\")\r\n"
            "        return \"%s\";\r\n"
            "    return \"DIRECT\";\r\n"
            "}\r\n",
            (const char*)proxy);
    ResponseFinish("application/x-ns-proxy-autoconfig");
    // The address changes with the configuration: never kept by a browser.
    SetHeader("Cache-Control", "no-cache");
    return 1;
}
