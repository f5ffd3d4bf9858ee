#include "proxy/core/KvErrorPagePolicy.h"

#include <strings.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/core/KvProxyBody.h"

namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool SameNoCase(std::string_view a, const char* b) {
    return a.size() == std::char_traits<char>::length(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

// One element of an Accept list: "text/html;level=1;q=0.5".
bool NamesHtml(std::string_view element) {
    size_t semi = element.find(';');
    if (!SameNoCase(Trim(element.substr(0, semi)), "text/html")) return false;
    while (semi != std::string_view::npos) {
        element.remove_prefix(semi + 1);
        semi = element.find(';');
        std::string_view param = Trim(element.substr(0, semi));
        if (param.size() > 2 && (param[0] == 'q' || param[0] == 'Q') && param[1] == '=') {
            // "q=0", "q=0.0" and the like refuse the type.
            return std::strtod(std::string(param.substr(2)).c_str(), nullptr) > 0;
        }
    }
    return true;
}

bool IsHtmlType(const KvHttpResponse& response) {
    const char* type = response.GetHeaderValue("Content-Type");
    if (!type) return false;
    std::string_view media = Trim(std::string_view(type).substr(0, std::string_view(type).find(';')));
    return SameNoCase(media, "text/html") || SameNoCase(media, "application/xhtml+xml");
}

// The head alone says the body is empty.
bool HasEmptyBody(const KvHttpRequest& request, const KvHttpResponse& response) {
    const KvBodyPlan plan = KvResponseBodyPlan(response, request.m_strMethod);
    return plan.framing == KvBodyFraming::None || (plan.framing == KvBodyFraming::Length && plan.length == 0);
}

}  // namespace

bool KvParseErrorPages(const char* value, KvErrorPages& mode) {
    std::string_view text = Trim(value ? value : "");
    if (SameNoCase(text, "browser")) mode = KvErrorPages::Browser;
    else if (SameNoCase(text, "all")) mode = KvErrorPages::All;
    else if (SameNoCase(text, "none")) mode = KvErrorPages::None;
    else return false;
    return true;
}

bool KvAcceptsHtml(const KvHttpRequest& request) {
    bool html = false;
    request.m_mapHeader.ForEach([&](CsStrMapItem* item) {
        if (html || strcasecmp(item->GetKey(), "Accept") != 0) return;
        std::string_view list(item->GetValue());
        while (!html) {
            size_t comma = list.find(',');
            html = NamesHtml(list.substr(0, comma));
            if (comma == std::string_view::npos) break;
            list.remove_prefix(comma + 1);
        }
    });
    return html;
}

bool KvShowsOwnErrorPage(KvErrorPages mode, const KvHttpRequest& request, const KvHttpResponse& response) {
    switch (mode) {
    case KvErrorPages::All: return true;
    case KvErrorPages::None: return false;
    case KvErrorPages::Browser: break;
    }
    return KvAcceptsHtml(request) && (IsHtmlType(response) || HasEmptyBody(request, response));
}
