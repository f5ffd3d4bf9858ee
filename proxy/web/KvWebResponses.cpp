// KvWebObject: the stock responses.
#include <cstdarg>
#include <string>

#include "base/file/KvFileFunc.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/http/KvHttpFunc.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/web/KvWebHosts.h"
#include "proxy/web/KvWebObject.h"

namespace {

CString HeaderSafe(const char* value) {
    CString out;
    if (!value) return out;
    for (const char* p = value; *p; ++p) {
        if (*p != '\r' && *p != '\n') out += *p;
    }
    return out;
}

// Puts `value` in place of the first "%s" of a message text, so that a
// replaceable text never acts as a format.
CString FillText(const CString& text, const char* value) {
    CString out(text);
    int at = out.Find("%s");
    if (at >= 0) out = out.Left(at) + (value ? value : "") + out.Mid(at + 2);
    return out;
}

}  // namespace

int KvWebObject::SetHeader(const char* name, const char* value) {
    if (!m_pResponse) return 0;
    return m_pResponse->SetHeaderValue(name, HeaderSafe(value));
}

void KvWebObject::AddSecurityHeaders() {
    SetHeader("X-Frame-Options", "SAMEORIGIN");
    SetHeader("Referrer-Policy", "same-origin");
}

void KvWebObject::StartAnswer(const char* status, int code) {
    m_pResponse->m_strVersion = "HTTP/1.0";
    m_pResponse->m_strStatus = status;
    m_pResponse->m_nStatus = code;
}

int KvWebObject::ResponseFinish(const char* contentType) {
    if (!m_pResponse) return 0;
    WriteCookie();
    StartAnswer("200 OK", 200);
    SetHeader("Server", "KvProxy/2.0.0 (Win32)");
    SetHeader("X-Powered-By", "TqWeb/2.0.0");
    SetHeader("Content-Type", contentType);
    m_pResponse->SetHeaderValue("Content-Length", m_pResponse->m_bufBody.GetCount());
    m_pResponse->m_nContentLength = (int64_t)m_pResponse->m_bufBody.GetCount();
    SetHeader("Connection", "close");
    if (contentType && std::string(contentType) == "text/html") {
        SetHeader("Expires", "Mon, 26 Jul 1997 05:00:00 GMT");
        SetHeader("Cache-Control", "no-store, no-cache, must-revalidate");
        SetHeader("Pragma", "no-cache");
    } else {
        char date[40];
        GetHttpTime(0, date);
        SetHeader("Last-Modified", date);
        GetHttpTime(3600, date);
        SetHeader("Expires", date);
    }
    AddSecurityHeaders();
    return 1;
}

int KvWebObject::ResponseError(const char* format, ...) {
    CString message;
    va_list args;
    va_start(args, format);
    message.FormatV(format, args);
    va_end(args);
    return ResponseErrorText(message);
}

int KvWebObject::ResponseErrorText(const char* message) {
    if (!m_pResponse || !message || !*message) return 0;
    KvGenBuffer& body = m_pResponse->m_bufBody;
    body.Empty();
    CString page;
    page.Format("<html><title>%s</title>\r\n", HtmlEscape(m_strErrorTitle).c_str());
    page.AppendFormat("<style type=\"text/css\" media=\"screen\">@import url(\"%s/error.css\");</style>\r\n",
                      KV_PORTAL_URL);
    page += "<body>\r\n<div id=\"page_content\">\r\n";
    page += FillText(HtmlEscape(m_strErrorLeadIn), HtmlEscape(m_strRequestURL));
    page += " " + HtmlEscape(message);
    page += "</div>\r\n</body>\r\n</html>\r\n";
    body.PutString(page);
    return ResponseFinish("text/html");
}

int KvWebObject::ResponseNotFound() {
    if (!ResponseErrorText(m_strNotFound)) return 0;
    StartAnswer("404 Not Found", 404);
    return 1;
}

int KvWebObject::ResponseSimpleHtml(const char* title, const char* body) {
    if (!m_pResponse) return 0;
    m_pResponse->m_bufBody.Empty();
    m_pResponse->m_bufBody.PutString(CString("<html><title>") + (title ? title : "") + "</title>\r\n<body>\r\n" +
                                     (body ? body : "") + "\r\n</body>\r\n</html>\r\n");
    return ResponseFinish("text/html");
}

int KvWebObject::ResponseHelloWorld() {
    if (!m_pResponse) return 0;
    m_pResponse->m_bufBody.Empty();
    PutLine("<html><title>Hello World</title><body>");
    PutLine("<h1>Hello World</h1>");
    PutLine("<p>Your request: %s</p>", HtmlEscape(m_strRequestURL).c_str());
    PutLine("</body></html>");
    return ResponseFinish("text/html");
}

int KvWebObject::ResponseNullFile() {
    if (!m_pResponse) return 0;
    m_pResponse->m_bufBody.Empty();
    PutLine("<html><title></title><body></body></html>");
    return ResponseFinish("text/html");
}

int KvWebObject::ResponseNotYetImplemented() {
    if (!m_pResponse) return 0;
    m_pResponse->m_bufBody.Empty();
    PutLine("<html><title>Not Yet Implemented</title><body><h1>Not Yet Implemented</h1><p><b>Sorry</b>. This "
            "feature not yet implemented.</p></body></html>");
    return ResponseFinish("text/html");
}

int KvWebObject::ResponseUnknownAction(const char* action) {
    return ResponseErrorText(FillText(m_strUnknownOperation, action));
}

int KvWebObject::ResponseUnauthorisized() { return ResponseErrorText(m_strUnauthorised); }

int KvWebObject::CheckResponseNotModified(const KvTime& lastModifiedUtc) {
    if (!m_pRequest) return 0;
    const char* since = m_pRequest->GetHeaderValue("If-Modified-Since");
    if (!since || !*since) return 0;
    SYSTEMTIME st{};
    if (!GetRFCTime(since, &st)) return 0;
    KvTime sinceTime(st);
    if (!sinceTime.IsValid()) return 0;
    if (lastModifiedUtc - sinceTime > 1e-10) return 0;
    return ResponseNotModified();
}

int KvWebObject::ResponseNotModified() {
    if (!m_pResponse) return 0;
    m_pResponse->m_bufBody.Empty();
    StartAnswer("304 Not Modified", 304);
    m_pResponse->EmulateApacheHeader();
    SetHeader("Content-Type", "text/html");
    SetHeader("Content-Length", "0");
    m_pResponse->m_nContentLength = 0;
    SetHeader("Connection", "close");
    AddSecurityHeaders();
    WriteCookie();
    return 1;
}

int KvWebObject::ResponseRedirect(const char* url) {
    if (!m_pResponse) return 0;
    m_pResponse->m_bufBody.Empty();
    StartAnswer("302 Found", 302);
    m_pResponse->SetKvProxyAsServer();
    SetHeader("Content-Type", "text/html");
    SetHeader("Content-Length", "0");
    m_pResponse->m_nContentLength = 0;
    SetHeader("Connection", "close");
    SetHeader("Location", url);
    AddSecurityHeaders();
    WriteCookie();
    return 1;
}

int KvWebObject::ResponseRedirectToReferer() {
    const char* referer = m_pRequest ? m_pRequest->GetHeaderValue("referer") : nullptr;
    return ResponseRedirect(referer && *referer ? referer : m_strHomeUrl.c_str());
}

int KvWebObject::ResponseRedirectToHomepage() { return ResponseRedirect(m_strHomeUrl); }

int KvWebObject::ResponseRedirectFrame(const char* url, const char* title) {
    if (!m_pResponse) return 0;
    m_pResponse->m_bufBody.Empty();
    PutLine("<html><head><title>%s</title></head>\r\n", HtmlEscape(title).c_str());
    PutLine("<frameset border=0 rows=\"%s,*\" frameborder=\"no\" marginleft=0 margintop=0 marginright=0 "
            "marginbottom=0>",
            "100%");
    PutLine("<frame src=\"%s\" scrolling=\"auto\" frameborder=\"no\" border=\"0\">", HtmlSafeHref(url).c_str());
    PutLine("<frame src=\"%s/blank.php\" frameborder=\"no\" scrolling=\"no\" marginwidth=\"0\" marginheight=\"0\" "
            "topmargin=\"0\" border=\"0\">",
            KV_PORTAL_URL);
    PutLine("<body bgcolor=\"#ffffff\"></body></frameset><noframes></noframes></html>");
    return ResponseFinish("text/html");
}

int KvWebObject::ResponseCloseWindow() {
    if (!m_pResponse) return 0;
    m_pResponse->m_bufBody.Empty();
    PutLine("<html><head><script language=\"JavaScript\">\r\nfunction cw() { window.close(); }\r\n</script></head>"
            "<body onLoad=\"cw()\"></body></html>");
    return ResponseFinish("text/html");
}

int KvWebObject::ResponseLocalFile(const char* path) {
    if (!m_pResponse) return 0;
    CString file(path);
    if (!IsFileExist(file) && file.Right(10) == "index.html") file = file.Left(file.GetLength() - 1);
    KvFileStatus status;
    if (FileGetStatus(file, status) && !(status.m_attribute & KV_ATTR_DIRECTORY)) {
        WriteCookie();
        if (m_pResponse->CreateFromLocalFile(file)) {
            SetHeader("Connection", "close");
            AddSecurityHeaders();
            return 1;
        }
    }
    return ResponseNotFound();
}
