#include "proxy/web/KvOwnListener.h"

#include <arpa/inet.h>
#include <cctype>
#include <unistd.h>

#include <mutex>
#include <string>

namespace {

std::mutex g_mutex;
KvListenAddress g_listener;

// Lower case, without IPv6 brackets or a final dot.
std::string Normalised(const char* text) {
    std::string name(text ? text : "");
    for (char& ch : name) ch = (char)std::tolower((unsigned char)ch);
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
    if (!name.empty() && name.back() == '.') name.pop_back();
    return name;
}

bool IsWildcard(const std::string& host) { return host.empty() || host == "*" || host == "0.0.0.0" || host == "::"; }

bool IsIPv6(const std::string& host) {
    in6_addr addr;
    return inet_pton(AF_INET6, host.c_str(), &addr) == 1;
}

bool IsLoopbackAddress(const std::string& host) {
    in_addr v4;
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6;
    return inet_pton(AF_INET6, host.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

std::string MachineName() {
    char name[256] = "";
    if (gethostname(name, sizeof name - 1) != 0) return "";
    return Normalised(name);
}

}  // namespace

void KvSetOwnListener(const char* host, int port) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_listener.host = host ? host : "";
    g_listener.port = port > 0 ? port : 0;
}

KvListenAddress KvGetOwnListener() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_listener;
}

CString KvOwnListenerAuthority() {
    const KvListenAddress listener = KvGetOwnListener();
    if (listener.port <= 0) return "";
    std::string host = Normalised(listener.host);
    if (IsWildcard(host)) host = "127.0.0.1";
    if (IsIPv6(host)) host = "[" + host + "]";
    return CString(host.c_str()) + ":" + CString(std::to_string(listener.port).c_str());
}

bool KvIsOwnListenerName(const char* host) {
    const KvListenAddress listener = KvGetOwnListener();
    const std::string name = Normalised(host);
    if (listener.port <= 0 || name.empty()) return false;
    const std::string own = Normalised(listener.host);
    if (name == own) return true;
    if (IsWildcard(own)) {
        if (name == "localhost" || IsLoopbackAddress(name)) return true;
        const std::string machine = MachineName();
        return !machine.empty() && name == machine;
    }
    if (own == "localhost") return IsLoopbackAddress(name);
    return IsLoopbackAddress(own) && name == "localhost";
}
