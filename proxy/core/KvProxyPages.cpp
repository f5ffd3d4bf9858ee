// KvProxyRequest: the answers the proxy builds itself: error pages,
// message pages, redirects, the test page.
#include <cstdarg>
#include <cstring>
#include <ctime>

#include "base/platform/StringTable.h"
#include "base/str/StrFunc.h"
#include "inet/http/KvHttpFunc.h"
#include "inet/log/KvLogError.h"
#include "proxy/core/KvProxyRequest.h"
#include "proxy/core/KvProxyText.h"
#include "proxy/core/KvWebProxyApp.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebTemplate.h"

namespace {

const char kParsingFailed[] = "Parsing error code failed.";

const char kTips[] =
    "Please try the following: <ul> <li> Please make sure your computer is <b> connected</b> to internet. </li> "
    "<li> If you have a <b> network firewall</b> installed, please make sure your firewall is <b> not</b> "
    "preventing <b>Kavori</b> from accessing Internet. </li> <li> If you installed Kavori on your office, please "
    "make sure that you set your forwarded proxy. Maybe your office management decided that all internet "
    "connection must be use the office proxy. </li> <li> If you typed the page address in the Address bar, make "
    "sure that it is <b> spelled correctly</b>. </li> </ul> ";

struct ErrorText {
    int code;
    const char* text;
};

const ErrorText kErrorTexts[] = {
    {400, "The request could not be processed by the server due to invalid syntax."},
    {401, "The requested resource requires user authentication."},
    {402, "Not currently implemented in the HTTP protocol."},
    {403, "The server understood the request, but is refusing to fulfill it."},
    {405, "The method used is not allowed."},
    {406, "No responses acceptable to the client were found."},
    {407, "Proxy authentication required"},
    {408, "The server timed out waiting for the request"},
    {409, "The request could not be completed due to a conflict with the current state of the resource. The user "
          "should resubmit with more information"},
    {410, "The requested resource is no longer available at the server, and no forwarding address is known"},
    {411, "The server refuses to accept the request without a defined content length"},
    {412, "The precondition given in one or more of the request header fields evaluted to false when it was tested "
          "on the server"},
    {413, "The server is refusing to process a request because the request entity is larger than the server is "
          "willing or able to process"},
    {414, "The server is refusing to service the request because the request URI is longer than the server is "
          "willing to interpret"},
    {415, "The server is refusing to service the request because the entity of the request is in a format not "
          "supported by the requested resource for the requested method"},
    {500, "The server encountered an unexpected condition that prevented it from fulfilling the request"},
    {501, "The server does not support the functionality required to fulfill the request"},
    {502, "The server, while acting as a gateway or proxy, received an invalid response from the upstream server it "
          "accessed in attempting to fulfill the request"},
    {503, "The service is temporarily overloaded"},
    {504, "The request was timed out waiting for a gateway"},
    {505, "The server does not support, or refuses to support, the HTTP protocol version that was used in the "
          "request message"},
    {508, "The request came back to this proxy: it went round in a loop. Please check that the forwarding proxy "
          "(Forward in the configuration file) does not lead back to KvProxy itself."},
};

// Headers of an origin's answer that describe its body or its connection:
// they never stay on a page that replaces that body.
const char* const kBodyHeaders[] = {"Content-Length", "Content-Type", "Content-Encoding", "Transfer-Encoding",
                                    "Content-Range", "Connection", "Proxy-Connection", "Keep-Alive",
                                    "TE", "Trailer", "Upgrade"};

CString Html(const char* text) { return KvProxyHtmlText(text); }

CString RfcTime(time_t when) {
    char text[32];
    FormatHttpTime(when, text);
    return CString(text);
}

}  // namespace

int KvProxyRequest::ResponseError(const char* /*fmt*/, ...) { return 1; }

int KvProxyRequest::ResponseError(int code) {
    CString message;
    CString tips;
    int status = code;
    CString errorCode;
    errorCode.Format("%d", code);
    switch (code) {
    case 404:
        message.Format("Domain %s not found, or The server has not found anything matching the requested URI.",
                       Html(m_strHost).c_str());
        tips = kTips;
        break;
    case 901: {
        KvWebProxyApp* app = GetApp();
        message.Format("Unable to connect proxy server %s:%d. Please check the fowarding proxy on your configuration "
                       "file",
                       Html(app ? app->m_strForwardHost.c_str() : "").c_str(), app ? app->m_nForwardPort : 0);
        status = 500;
        errorCode = "500";
        break;
    }
    case KV_PROXY_NO_DOMAIN:
        message.Format("Failed to connect to %s:%d. Domain %s not found.", Html(m_strHost).c_str(), m_nPort,
                       Html(m_strHost).c_str());
        tips = kTips;
        status = 404;
        errorCode = "404";
        break;
    case KV_PROXY_REFUSED:
        message.Format("Failed to connect to %s:%d. The server refused the connection: nothing accepts "
                       "connections on that port.",
                       Html(m_strHost).c_str(), m_nPort);
        status = 502;
        errorCode = "502";
        break;
    case KV_PROXY_TIMED_OUT:
        message.Format("Failed to connect to %s:%d. The server did not answer in time.", Html(m_strHost).c_str(),
                       m_nPort);
        tips = kTips;
        status = 502;
        errorCode = "502";
        break;
    case KV_PROXY_UNREACHABLE:
        message.Format("Failed to connect to %s:%d. The server cannot be reached.", Html(m_strHost).c_str(),
                       m_nPort);
        tips = kTips;
        status = 502;
        errorCode = "502";
        break;
    case 903:
        message.Format("You are not allowed to connnect to this address: %s.", Html(m_strURL).c_str());
        tips.Format("The address is currectly blocked as your request<br>Matched rule:%s",
                    Html(m_strMatchedRule).c_str());
        status = 404;
        break;
    case 904:
        message.Format("Popup Block: %s.", Html(m_strURL).c_str());
        status = 404;
        break;
    default:
        message.Format("Error code %d.", code);
        for (const ErrorText& e : kErrorTexts) {
            if (e.code == code) message = e.text;
        }
        break;
    }
    KvParseImp vars;
    vars.AddVariable("error_code", errorCode);
    vars.AddVariable("error_msg", message);
    vars.AddVariable("error_tips", tips);
    vars.AddVariable("request_uri", Html(m_strURL.IsEmpty() ? m_request.m_strURL.c_str() : m_strURL.c_str()));
    return ShowErrorPage(status, vars);
}

int KvProxyRequest::ShowErrorPage(int status, KvParseImp& vars) {
    // In place of an origin's answer its own reason phrase stays.
    CString statusText;
    const char* blank = m_bPageOverOrigin ? std::strchr(m_response.m_strStatus.c_str(), ' ') : nullptr;
    if (blank && blank[1]) statusText.Format("%d%s", status, blank);
    else statusText.Format("%d %s", status, KvHttpReasonPhrase(status));
    SendTemplatePage("proxy_error.htm", vars, status, statusText);
    return 0;
}

int KvProxyRequest::SendTemplatePage(const char* templateName, KvParseImp& vars, int status,
                                     const char* statusText) {
    KvWebProxyApp* app = GetApp();
    CString path = (app ? app->m_strBasePath : CString(".")) + "/Template/" + templateName;
    KvGenBuffer page(4096);
    KvWebTemplate engine(&vars, 0);
    if (!page.PutFile(path) || !engine.Parse(&page)) return ResponseFatalError(kParsingFailed);

    if (m_bPageOverOrigin) {
        // Kept from the origin: its other headers ("WWW-Authenticate",
        // "Proxy-Authenticate", cookies), so 401 and 407 still work.
        for (const char* name : kBodyHeaders) KvRemoveHeaderAnyCase(m_response, name);
    } else {
        m_response.Reset();
    }
    m_response.SetDynamicContent();
    m_response.m_bufBody.Empty();
    m_response.m_bufBody.PutString(page.GetData(), page.GetCount());
    m_response.m_nStatus = status;
    m_response.m_strStatus = statusText;
    m_response.SetHeaderValue("Content-Type", "text/html");
    m_response.Finish();
    return SendResponse() > 0 ? 1 : 0;
}

int KvProxyRequest::SendResponse() {
    const int status = m_response.m_nStatus;
    const bool bodiless = (status >= 100 && status < 200) || status == 204 || status == 304;
    // The whole body is at hand, so its size is its length, whatever a
    // page wrote into the head before it was done (a kept connection
    // would take a wrong length's difference for the next answer). A
    // transfer coding leaves the end to the close.
    const bool coded = m_response.GetHeaderValue("Transfer-Encoding") != nullptr;
    if (!coded && !bodiless) m_response.SetHeaderValue("Content-Length", (int64_t)m_response.m_bufBody.GetCount());
    MarkConnection(m_response, !coded);
    // A HEAD request, and an answer that has no body, get the head only.
    if (bodiless || m_request.m_strMethod.CompareNoCase("HEAD") == 0) return m_response.SendHeader(&m_comClient) > 0;
    const int64_t body = (int64_t)m_response.m_bufBody.GetCount();
    if (m_response.Send(&m_comClient) <= 0) return 0;
    m_nAccessBytes += body;
    return 1;
}

int KvProxyRequest::ResponseFromResource(UINT id, ...) {
    CString format;
    StrResource(id, format);
    va_list args;
    va_start(args, id);
    CString text = KvProxyFormatHtml(format, args);
    va_end(args);
    CString frame;
    StrResource(KV_MSG_PAGE_FRAME, frame);
    CString message = frame;
    int at = message.Find("%s");
    if (at >= 0) message = message.Left(at) + text + message.Mid(at + 2);
    KvParseImp vars;
    vars.AddVariable("proxy_msg", message);
    vars.AddVariable("request_uri", Html(m_strURL));
    return SendTemplatePage("proxy_msg.htm", vars, 200, "200 OK");
}

int KvProxyRequest::ResponseFatalError(const char* text) {
    const char* body = text ? text : "";
    CString answer;
    answer.Format("HTTP/1.0 500 Internal Server Error\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n"
                  "Connection: close\r\n\r\n%s",
                  (int)std::strlen(body), body);
    if (m_comClient.Send(answer.c_str(), answer.GetLength()) == answer.GetLength()) {
        m_nAccessBytes += (int64_t)std::strlen(body);
    }
    return 0;
}

int KvProxyRequest::ResponseFinish(const char* contentType) {
    m_response.m_strVersion = "HTTP/1.0";
    m_response.m_strStatus = "200 OK";
    m_response.m_nStatus = 200;
    m_response.SetHeaderValue("Server", "KvProxy/2.0.0 (Win32)");
    m_response.SetHeaderValue("X-Powered-By", "TqWeb/2.0.0");
    if (contentType && *contentType) m_response.SetHeaderValue("Content-Type", contentType);
    m_response.SetHeaderValue("Content-Length", (int64_t)m_response.m_bufBody.GetCount());
    if (contentType && std::strcmp(contentType, "text/html") == 0) {
        m_response.SetHeaderValue("Expires", "Mon, 26 Jul 1997 05:00:00 GMT");
        m_response.SetHeaderValue("Cache-Control", "no-store, no-cache, must-revalidate");
        m_response.SetHeaderValue("Pragma", "no-cache");
    } else {
        const time_t now = time(nullptr);
        m_response.SetHeaderValue("Last-Modified", RfcTime(now));
        m_response.SetHeaderValue("Expires", RfcTime(now + 3600));
    }
    return 1;
}

int KvProxyRequest::ResponseOptions() {
    m_response.Reset();
    m_response.m_strVersion = "HTTP/1.0";
    m_response.m_strStatus = "200 OK";
    m_response.m_nStatus = 200;
    m_response.SetHeaderValue("Allow", "OPTIONS, GET, HEAD, POST, PUT, DELETE, TRACE, PATCH, CONNECT");
    m_response.SetHeaderValue("Content-Length", "0");
    LogAccess(200, 0);
    return SendResponse();
}

int KvProxyRequest::ResponseProxyHome() {
    m_response.Reset();
    PutLine("<html><head><title>KvProxy</title></head><body>\r\n");
    PutLine("<h1>KvProxy</h1>\r\n<p>This address is KvProxy, a personal web proxy. Set it as the HTTP proxy of "
            "your browser to use it.</p>\r\n");
    PutLine("</body></html>\r\n");
    ResponseFinish("text/html");
    LogAccess(200, 0);
    SendResponse();
    return 1;
}

int KvProxyRequest::ResponseHelloWorld() {
    PutLine("<html><title>Hello World</title><body>");
    PutLine("<h1>Hello World</h1>");
    PutLine("<p>Your request: %s</p>", Html(m_strURL).c_str());
    PutLine("</body></html>");
    ResponseFinish("text/html");
    return 1;
}

int KvProxyRequest::ResponseRedirect(const char* location) {
    m_response.m_strVersion = "HTTP/1.0";
    m_response.m_strStatus = "302 Found";
    m_response.m_nStatus = 302;
    m_response.SetDynamicContent();
    m_response.SetHeaderValue("Content-Type", "text/html");
    m_response.SetHeaderValue("Content-Length", "0");
    if (location && *location) m_response.SetHeaderValue("Location", location);
    m_response.Finish();
    m_response.SetKvProxyAsServer();
    MarkConnection(m_response, true);
    m_response.SendHeader(&m_comClient);
    return 1;
}

void KvProxyRequest::PutLine(const char* fmt, ...) {
    if (!fmt) return;
    CString text;
    va_list args;
    va_start(args, fmt);
    text.FormatV(fmt, args);
    va_end(args);
    m_response.m_bufBody.PutString(text);
}
