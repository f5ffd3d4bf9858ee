// KvWebObject: the base of every local web site: one object per virtual
// host name, owned by the web manager (KvWebMgr).
//
// One request at a time: GetResponse holds the object's lock for the whole
// request, so the per-request members (request URL and its parts, the
// borrowed request and response, the current session) belong to that
// request. Requests to different sites run in parallel.
//
// Request flow: GetResponse -> Initiate (once) -> DoGetResponse (the site's
// dispatcher) -> a handler -> one of the stock responses, normally
// ResponseFinish. A result of 0 means the site did not take the request;
// the manager then answers with the not-found page (a request for a local
// host is never sent to the internet).
//
// Every stock response escapes what it echoes (the request URL, an unknown
// operation's name, the text of an error page) and adds
// "X-Frame-Options: SAMEORIGIN" and "Referrer-Policy: same-origin". Header
// values are written without CR, LF or zero bytes.
//
// Sessions: the cookie "sid" names a session of this site's session
// manager; identifiers are drawn from the cryptographic source and never
// taken over from a browser (an unknown identifier gets a new session).
// The cookie is written, "HttpOnly; SameSite=Lax", with every answer that
// has a session, so it expires only after the lifetime without a request.
#pragma once

#include <atomic>
#include <mutex>

#include "base/containers/KvObject.h"
#include "base/platform/CString.h"
#include "base/thread/KvCriticalObj.h"
#include "base/time/KvTime.h"
#include "inet/web/KvSession.h"

class KvHttpRequest;
class KvHttpResponse;

class KvWebObject : public KvObject {
    DECLARE_DYNCREATE(KvWebObject)
public:
    KvWebObject();
    explicit KvWebObject(const char* domain);
    ~KvWebObject() override;
    KvWebObject(const KvWebObject&) = delete;
    KvWebObject& operator=(const KvWebObject&) = delete;

    // --- virtual operations ---
    // Answers one request (see the flow above). 0 for null arguments, a
    // site that cannot be initiated, or a request the site does not take.
    virtual int GetResponse(KvHttpRequest* request, KvHttpResponse* response);
    virtual void SetBasePath(const char* path);
    virtual void SetDbFileName(const char* path);
    // Prepares the site on its first request; sets the initiated flag.
    virtual int Initiate();
    virtual int DoGetResponse();
    virtual int SessionStart();
    virtual int SessionEnd();
    // Writes the session cookie when there is a current session.
    virtual int WriteCookie();
    // The error page with `message` (escaped here); 0 and nothing written
    // for an empty message.
    virtual int ResponseErrorText(const char* message);
    virtual int ResponseSimpleHtml(const char* title, const char* body);
    virtual int ResponseHelloWorld();
    virtual int ResponseNullFile();
    // "304 Not Modified" when the request's "If-Modified-Since" is at or
    // after lastModified (UTC); else 0 and the caller answers in full.
    virtual int CheckResponseNotModified(const KvTime& lastModifiedUtc);
    virtual int ResponseNotModified();
    virtual int ResponseRedirect(const char* url);
    virtual int ResponseRedirectFrame(const char* url, const char* title);
    virtual int ResponseRedirectToReferer();
    virtual int ResponseRedirectToHomepage();
    virtual int ResponseNotYetImplemented();
    virtual int ResponseCloseWindow();
    virtual int ResponseUnknownAction(const char* action);
    // A file on disk (the caller has confined the path); "index.html" that
    // is missing falls back to "index.htm"; otherwise the not-found page.
    virtual int ResponseLocalFile(const char* path);
    // Completes a 200 answer whose body the handler wrote.
    virtual int ResponseFinish(const char* contentType);
    virtual int ResponseUnauthorisized();

    // The not-found page, sent with status 404.
    int ResponseNotFound();
    // The error page with a formatted message. User text goes in as an
    // argument ("%s"), never as the format.
    int ResponseError(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // --- identity ---
    void SetDomain(const char* domain);  // also the home URL
    const CString& GetDomain() const { return m_strDomain; }
    const CString& GetHomeUrl() const { return m_strHomeUrl; }
    // Site name and description may be read from any thread (the local web
    // list); they are guarded by their own small lock.
    void SetHostName(const char* name);
    CString GetHostName() const;
    void SetDescription(const char* description);
    CString GetDescription() const;
    void SetHostIPAddr(const char* addr) { m_strHostIPAddr = addr; }
    void SetClientIPAddr(const char* addr) { m_strClientIPAddr = addr; }
    const CString& GetBasePath() const { return m_strBasePath; }
    int IsInitiated() const { return m_bInitiated.load(); }
    KvCriticalObj& GetLock() { return m_csLock; }

    // The manager's entry: sets the connection's addresses and answers,
    // all under the object's lock.
    int GetResponseFrom(const char* hostIPAddr, const char* clientIPAddr, KvHttpRequest* request,
                        KvHttpResponse* response);
    // The answer for a request no handler took (or a site that cannot be
    // initiated): the response is emptied and gets the error page. 1.
    int AnswerNotHandled(KvHttpRequest* request, KvHttpResponse* response);

    // --- helpers ---
    // Splits an "http://" URL: host trimmed and lower-cased, port (80 when
    // none), path from the first "/" with the query. 0 for anything else.
    static int BreakUrlComponent(const char* url, CString& host, int& port, CString& path);
    // Appends formatted text to the response body.
    void PutLine(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // A boxed table with an upper-cased title bar.
    static CString RenderTableBox(const char* title, const char* body);

    KvSessionMgr& GetSessionMgr() { return m_sessionMgr; }
    KvSession* GetSession() const { return m_pSession; }

protected:
    // Takes the request's URL apart into the request members; logs and
    // answers 0 when it is not an "http://" URL.
    int PrepareRequestUrl();
    // A header value without CR, LF or zero bytes.
    int SetHeader(const char* name, const char* value);
    void AddSecurityHeaders();
    // Status line and body reset for a new answer.
    void StartAnswer(const char* status, int code);
    // Replaces the session with a new one under a fresh identifier, keeping
    // its values and member (used when a member signs in). 1 on success.
    int RenewSession();
    // A new random form token in the current session.
    void NewFormToken();

    std::atomic<int> m_bInitiated{0};
    CString m_strDomain;
    CString m_strHomeUrl;
    CString m_strBasePath;
    CString m_strHostIPAddr;
    CString m_strClientIPAddr;
    CString m_strRequestURL;  // un-escaped
    CString m_strUrlHost;
    CString m_strUrlPath;
    int m_nUrlPort = 80;
    KvHttpRequest* m_pRequest = nullptr;    // borrowed for one request
    KvHttpResponse* m_pResponse = nullptr;  // borrowed for one request
    CString m_strThemeDir;
    CString m_strThemeName;

    CString m_strErrorTitle = "Error";
    CString m_strErrorLeadIn = "Sorry, your request %s cannot be provided, because";
    CString m_strNotFound = "The file you requested not found on this server";
    CString m_strInvalidRequest = "Invalid request";
    CString m_strInternalError = "Internal Error";
    CString m_strUnknownOperation = "Unknown operation, '%s'";
    CString m_strNotImplemented = "This feature not yet implemented";
    CString m_strUnauthorised = "Unauthorisized request";

    KvCriticalObj m_csLock;
    int m_bNewSession = 0;
    KvSessionMgr m_sessionMgr;
    KvSession* m_pSession = nullptr;
    int m_nSessionLifetime = 59;  // minutes

    // The session value that holds the form token.
    static constexpr char kFormTokenName[] = "form_token";

private:
    mutable std::mutex m_mutexInfo;  // guards the two members below
    CString m_strHostName;           // the site's display name
    CString m_strDescription;
};

// Binds request and response to the object for one call and clears both
// when it ends.
class KvWebRequestScope {
public:
    KvWebRequestScope(KvHttpRequest*& requestSlot, KvHttpResponse*& responseSlot, KvHttpRequest* request,
                      KvHttpResponse* response)
        : m_request(requestSlot), m_response(responseSlot) {
        m_request = request;
        m_response = response;
    }
    ~KvWebRequestScope() {
        m_request = nullptr;
        m_response = nullptr;
    }
    KvWebRequestScope(const KvWebRequestScope&) = delete;
    KvWebRequestScope& operator=(const KvWebRequestScope&) = delete;

private:
    KvHttpRequest*& m_request;
    KvHttpResponse*& m_response;
};
