#include "proxy/core/KvProxyKeepAlive.h"

#include <strings.h>

#include <string_view>

#include "inet/http/KvHttpRequest.h"
#include "proxy/core/KvProxyText.h"

namespace {

// Whether a comma-separated "Connection" (or "Proxy-Connection") value of
// the message names the token.
bool NamesToken(const KvHttpBuffer& message, std::string_view token) {
    bool found = false;
    message.m_mapHeader.ForEach([&](CsStrMapItem* item) {
        const char* name = item->GetKey();
        if (found || (strcasecmp(name, "Connection") != 0 && strcasecmp(name, "Proxy-Connection") != 0)) return;
        std::string_view list(item->GetValue());
        while (!list.empty() && !found) {
            size_t comma = list.find(',');
            std::string_view word = list.substr(0, comma);
            while (!word.empty() && (word.front() == ' ' || word.front() == '\t')) word.remove_prefix(1);
            while (!word.empty() && (word.back() == ' ' || word.back() == '\t')) word.remove_suffix(1);
            found = word.size() == token.size() && strncasecmp(word.data(), token.data(), token.size()) == 0;
            if (comma == std::string_view::npos) break;
            list.remove_prefix(comma + 1);
        }
    });
    return found;
}

}  // namespace

bool KvClientAsksToKeep(const KvHttpRequest& request) {
    if (request.m_strMethod.CompareNoCase("CONNECT") == 0) return false;
    if (NamesToken(request, "close")) return false;
    const CString& version = request.m_strVersion;
    if (version.CompareNoCase("HTTP/1.1") == 0) return true;
    return version.CompareNoCase("HTTP/1.0") == 0 && NamesToken(request, "keep-alive");
}

void KvRemoveConnectionHeaders(KvHttpBuffer& message) {
    for (const char* name : {"Connection", "Proxy-Connection", "Keep-Alive"}) KvRemoveHeaderAnyCase(message, name);
}

void KvSetConnectionHeaders(KvHttpBuffer& message, bool keep) {
    KvRemoveConnectionHeaders(message);
    message.SetHeaderValue("Connection", keep ? "keep-alive" : "close");
}

const char* KvConnectionLine(bool keep) { return keep ? "Connection: keep-alive\r\n" : "Connection: close\r\n"; }
