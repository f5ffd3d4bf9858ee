// The web manager and the site engine, driven through whole requests: routing,
// static files and confinement, sessions, form tokens, stock responses,
// settings, the fragment expander, the page frame and plain-file sites.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/containers/KvGenBuffer.h"
#include "ext/KvMd5/KvMd5.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "inet/web/KvMime.h"
#include "proxy/sites/KvWebLocalFile.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebHosts.h"
#include "proxy/web/KvWebMgr.h"
#include "proxy/web/KvWebObjectEx.h"

// A small site: a form, a state-changing page, sign-in, and a few stock
// answers.
class KvTestSite : public KvWebObjectEx {
    DECLARE_DYNCREATE(KvTestSite)
public:
    int Initiate() override { return InitiateSite(); }
    int DoGetResponse() override {
        if (m_strCurDir == "/phpmod/") return ResponsePhpModule();
        const CString& f = m_strCurFile;
        if (f == "form.php") {
            KvParseImp imp;
            imp.AddVariable("rnd_number", "0");  // as the old forms did
            m_strPageTitle = m_cgi.GetValue("title", "Form");
            m_strPageContent = "<form><input type=\"hidden\" name=\"rnd\" value=\"{rnd_number}\"></form>";
            return WebPageShow(m_cgi.GetValue("page", "wpage.htm"), &imp);
        }
        if (f == "set.php") {
            if (!IsStateChangeAllowed()) return ResponseUnauthorisized();
            SetSystemVar("x", m_cgi.GetValue("x", ""));
            return ResponseSimpleHtml("ok", "saved");
        }
        if (f == "login.php") {
            if (!MemberLogin(m_cgi.GetValue("uid", ""), MD5String(m_cgi.GetValue("psw", "")))) {
                return ResponseError("%s", "Login failed");
            }
            return ResponseSimpleHtml("ok", UserGetName());
        }
        if (f == "who.php") return ResponseSimpleHtml("who", IsUserLogin() ? UserGetName() : CString("nobody"));
        if (f == "hello.php") return ResponseHelloWorld();
        if (f == "op.php") return ResponseUnknownAction(m_cgi.GetValue("op", ""));
        if (f == "go.php") return ResponseRedirect(m_cgi.GetValue("to", ""));
        if (f == "plain.txt") {
            PutLine("plain");
            return ResponseFinish("text/plain");
        }
        if (f == "parse.php") {
            m_pResponse->m_bufBody.PutString(ParseString(m_cgi.GetValue("t", "")));
            return ResponseFinish("text/html");
        }
        if (f == "nm.php") {
            KvTime t(2020, 1, 1, 12, 0, 0);
            if (int r = CheckResponseNotModified(t)) return r;
            return ResponseSimpleHtml("full", "");
        }
        return 0;
    }
    // Answers one key of its own, then passes the rest on.
    int DoParseString(const CString& key, const CString& arg, CString& value) override {
        if (key == "echo") {
            value = "[" + arg + "]";
            return 1;
        }
        return KvWebObjectEx::DoParseString(key, arg, value);
    }
    using KvWebObjectEx::GetSystemVar;
    CString Path() const { return m_strPath; }
};
IMPLEMENT_DYNCREATE(KvTestSite, KvWebObjectEx)

namespace {

void WriteFile(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

struct Answer {
    int result = 0;
    std::unique_ptr<KvHttpResponse> response = std::make_unique<KvHttpResponse>();
    std::string Body() const { return std::string(response->m_bufBody.GetData(), response->m_bufBody.GetCount()); }
    std::string Header(const char* name) const {
        const char* v = response->GetHeaderValue(name);
        return v ? v : "";
    }
    std::string Sid() const {
        std::string c = Header("Set-Cookie");
        size_t at = c.find("sid=");
        return at == std::string::npos ? "" : c.substr(at + 4, c.find(';', at) - at - 4);
    }
};

std::unique_ptr<KvHttpRequest> MakeRequest(const std::string& method, const std::string& url,
                                           const std::vector<std::pair<std::string, std::string>>& headers,
                                           const std::string& body = "") {
    std::string text = method + " " + url + " HTTP/1.0\r\n";
    for (const auto& [name, value] : headers) text += name + ": " + value + "\r\n";
    if (!body.empty()) text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    text += "\r\n" + body;
    KvGenBuffer buf;
    buf.PutString(text.c_str(), text.size());
    auto request = std::make_unique<KvHttpRequest>();
    request->Receive(&buf);
    return request;
}

class WebSiteTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kvweb_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_base = tmpl;
        for (const char* d : {"/Images", "/Theme", "/Theme/VuvUrad", "/Template", "/Template/x", "/LocalWeb",
                              "/Files", "/Secret"}) {
            ASSERT_EQ(mkdir((m_base + d).c_str(), 0755), 0);
        }
        WriteFile(m_base + "/Images/logo.gif", "GIF89a-disk");
        WriteFile(m_base + "/Theme/VuvUrad/style.css", "body{}");
        WriteFile(m_base + "/Theme/VuvUrad/snapshot.jpg", "JPEG");
        WriteFile(m_base + "/Theme/VuvUrad/wpage.htm",
                  "<title>{page_title_meta}</title><h1>{page_title}</h1>{page_content}<p>{page_url}</p>"
                  "<i>{page_url_js}</i>{page_header}");
        WriteFile(m_base + "/Template/x/y.htm", "template-y");
        WriteFile(m_base + "/Secret/passwd", "secret");
        WriteFile(m_base + "/kvproxy.ini", "[Directories]");
        WriteFile(m_base + "/LocalWeb/My.Site.CLD", "");
        WriteFile(m_base + "/LocalWeb/x.cxd", "");
        mgr.SetBaseDirectory(m_base.c_str());
        mgr.SetSiteClass("cld", "KvTestSite");
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + m_base + "'";
        (void)std::system(cmd.c_str());
    }

    Answer Get(const std::string& url, std::vector<std::pair<std::string, std::string>> headers = {},
               const char* host = "my.site") {
        return Send("GET", url, std::move(headers), "", host);
    }
    Answer Send(const std::string& method, const std::string& url,
                std::vector<std::pair<std::string, std::string>> headers, const std::string& body,
                const char* host = "my.site") {
        auto request = MakeRequest(method, url, headers, body);
        Answer a;
        a.result = mgr.GetResponse(host, "127.0.0.1", "127.0.0.1", request.get(), a.response.get());
        return a;
    }
    KvTestSite* Site() {
        // The manager has built its set after the first request.
        return dynamic_cast<KvTestSite*>(FindSite("my.site"));
    }
    KvWebObject* FindSite(const char* host) {
        struct Peek : KvWebMgr {
            static KvWebObject* Find(KvWebMgr& m, const char* h) { return (m.*(&Peek::FindWebObject))(h); }
        };
        return Peek::Find(mgr, host);
    }

    std::string m_base;
    KvWebMgr mgr;
};

// --- routing ---------------------------------------------------------------------------

TEST_F(WebSiteTest, DatabaseFilesRegisterLowerCaseHostsAndOtherKindsAreSkipped) {
    Answer a = Get("http://my.site/hello.php");
    EXPECT_EQ(a.result, 1);
    EXPECT_NE(Site(), nullptr);
    EXPECT_EQ(FindSite("x"), nullptr);
    EXPECT_EQ(mgr.GetSiteCount(), 1);
    // Host names compare without case.
    EXPECT_EQ(Get("http://MY.SITE/hello.php", {}, "My.Site").result, 1);
}

TEST_F(WebSiteTest, UnknownHostsAreLeftToTheProxyAndKnownOnesNeverAre) {
    Answer other = Get("http://example.com/", {}, "example.com");
    EXPECT_EQ(other.result, 0);
    EXPECT_EQ(other.response->m_bufBody.GetCount(), 0u);
    // No handler takes "/nothing": the site still answers, with not-found.
    Answer none = Get("http://my.site/nothing");
    EXPECT_EQ(none.result, 1);
    EXPECT_EQ(none.response->m_strStatus.str(), "200 OK");
    EXPECT_NE(none.Body().find("not found on this server"), std::string::npos);
    // register.php is not a module of the engine: answered locally too.
    EXPECT_EQ(Get("http://my.site/phpmod/register.php").result, 1);
    EXPECT_NE(Get("http://my.site/phpmod/service.php").Body().find("Not Yet Implemented"), std::string::npos);
}

TEST_F(WebSiteTest, SubDirectoryReplacesTheDatabaseSiteOfTheSameName) {
    ASSERT_EQ(mkdir((m_base + "/LocalWeb/My.Site").c_str(), 0755), 0);
    WriteFile(m_base + "/LocalWeb/My.Site/index.html", "file-site");
    Answer a = Get("http://my.site/");
    EXPECT_EQ(a.result, 1);
    EXPECT_EQ(a.Body(), "file-site");
    EXPECT_NE(dynamic_cast<KvWebLocalFile*>(FindSite("my.site")), nullptr);
}

TEST_F(WebSiteTest, SitesAddedAtRunTimeAreRoutedAndListed) {
    Get("http://my.site/hello.php");
    WriteFile(m_base + "/LocalWeb/New.cld", "");
    ASSERT_TRUE(mgr.AddNewLocalWeb((m_base + "/LocalWeb/New.cld").c_str(), "cld"));
    EXPECT_FALSE(mgr.AddNewLocalWeb((m_base + "/LocalWeb/New.zzz").c_str(), "zzz"));
    EXPECT_EQ(Get("http://new/hello.php", {}, "new").result, 1);
    mgr.UpdateLocalWebInfo("new", "A <new> site", "desc & more");
    std::string list = mgr.RenderLocalWebList(1, 1).str();
    EXPECT_NE(list.find("A &lt;new&gt; site"), std::string::npos) << list;
    EXPECT_NE(list.find("<small>desc &amp; more</small>"), std::string::npos);
    EXPECT_LT(list.find("A &lt;new"), list.find(">my.site<"));
    std::string rows = mgr.RenderLocalWebList(0, 0).str();
    EXPECT_NE(rows.find("<tr><td><font face=\"Verdana\" size=\"2\"><a href=\"http://my.site\">my.site</a>"),
              std::string::npos);
    EXPECT_EQ(mgr.RenderLocalWebList(-3, 1).str(), mgr.RenderLocalWebList(1, 1).str());
}

TEST_F(WebSiteTest, PageNumbersFromRequestsNeverIndexOutsideTheList) {
    Get("http://my.site/hello.php");
    const std::string empty = "<ul></ul>";
    EXPECT_EQ(mgr.RenderLocalWebList(INT_MAX, 1).str(), empty);
    EXPECT_EQ(mgr.RenderLocalWebList(214748365, 1).str(), empty);
    EXPECT_EQ(mgr.RenderLocalWebList(2, 1).str(), empty);
    EXPECT_NE(mgr.RenderLocalWebList(INT_MIN, 1).str().find(">my.site</a>"), std::string::npos);
}

TEST_F(WebSiteTest, RequestsRunSafelyWhileSitesAreAddedAndReplaced) {
    Get("http://my.site/hello.php");
    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const char* host = (t % 2) ? "my.site" : "again";
            while (!stop) {
                auto request = MakeRequest("GET", std::string("http://") + host + "/hello.php", {});
                KvHttpResponse response;
                if (mgr.GetResponse(host, "127.0.0.1", "127.0.0.1", request.get(), &response)) ++answered;
                mgr.RenderLocalWebList(1, 1);
            }
        });
    }
    WriteFile(m_base + "/LocalWeb/again.cld", "");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int i = 0; (i < 20 || answered < 40) && std::chrono::steady_clock::now() < deadline; ++i) {
        // The same host again: the running site is retired, not deleted.
        ASSERT_TRUE(mgr.AddNewLocalWeb((m_base + "/LocalWeb/again.cld").c_str(), "cld"));
        std::this_thread::yield();
    }
    stop = true;
    for (auto& th : threads) th.join();
    EXPECT_GT(answered.load(), 0);
}

// --- static files ---------------------------------------------------------------------

TEST_F(WebSiteTest, ImagesComeFromTheDatabaseFirstThenFromDisk) {
    Answer disk = Get("http://my.site/images/logo.gif");
    EXPECT_EQ(disk.Body(), "GIF89a-disk");
    EXPECT_TRUE(disk.Sid().empty());  // static files touch no session
    KvSimpleFile file;
    file.m_strType = "_images";
    file.m_strPath = "logo.gif";
    file.m_strMime = "image/gif";
    file.m_bufContent.PutString("GIF89a-db");
    ASSERT_TRUE(Site()->GetDB().PutSimpleFile(&file));
    Answer db = Get("http://my.site/images/logo.gif");
    EXPECT_EQ(db.Body(), "GIF89a-db");
    EXPECT_EQ(db.Header("Content-Type"), "image/gif");
    EXPECT_EQ(Get("http://my.site/_template/x/y.htm").Body(), "template-y");
    EXPECT_EQ(Get("http://my.site/_THEME/VuvUrad/style.css").Body(), "body{}");
    EXPECT_EQ(Get("http://my.site/theme_snapshot/VuvUrad").Body(), "JPEG");
}

TEST_F(WebSiteTest, TraversalAttemptsAreRefused) {
    const char* attempts[] = {
        "http://my.site/_images/../kvproxy.ini",
        "http://my.site/_images/%2e%2e/kvproxy.ini",
        "http://my.site/images/..%2fSecret/passwd",
        "http://my.site/_images/%252e%252e/kvproxy.ini",
        "http://my.site/_images/..%5cSecret%5cpasswd",
        "http://my.site/_images/logo.gif%00.txt",
        "http://my.site/_template/x/%2E%2E/%2E%2E/Secret/passwd",
        "http://my.site/theme_snapshot/..%2f..%2fSecret",
        "http://my.site/_files//etc/passwd",
    };
    for (const char* url : attempts) {
        Answer a = Get(url);
        EXPECT_EQ(a.result, 1) << url;
        EXPECT_EQ(a.Body().find("secret"), std::string::npos) << url;
        EXPECT_EQ(a.Body().find("[Directories]"), std::string::npos) << url;
        EXPECT_EQ(a.Body().find("root:"), std::string::npos) << url;
    }
}

TEST_F(WebSiteTest, LinksLeavingTheRootAreNotFollowed) {
    ASSERT_EQ(symlink((m_base + "/Secret").c_str(), (m_base + "/Images/out").c_str()), 0);
    Answer a = Get("http://my.site/images/out/passwd");
    EXPECT_EQ(a.Body().find("secret"), std::string::npos);
    EXPECT_NE(a.Body().find("not found"), std::string::npos);
}

TEST_F(WebSiteTest, OtherFoldersAreServedFromTheDatabaseOnly) {
    // The site database itself lies in LocalWeb: never handed out.
    Answer a = Get("http://my.site/_LocalWeb/My.Site.CLD");
    EXPECT_NE(a.Body().find("not found"), std::string::npos);
    EXPECT_EQ(a.Body().find("SQLite"), std::string::npos);
    EXPECT_NE(Get("http://my.site/_secret/passwd").Body().find("not found"), std::string::npos);
    KvSimpleFile file;
    file.m_strType = "_secret";
    file.m_strPath = "note.txt";
    file.m_strMime = "text/plain";
    file.m_bufContent.PutString("stored");
    ASSERT_TRUE(Site()->GetDB().PutSimpleFile(&file));
    EXPECT_EQ(Get("http://my.site/_secret/note.txt").Body(), "stored");
}

// --- sessions and tokens -----------------------------------------------------------------

TEST_F(WebSiteTest, SessionCookieIsHttpOnlyAndRefreshedOnEveryAnswer) {
    Answer first = Get("http://my.site/hello.php");
    std::string cookie = first.Header("Set-Cookie");
    EXPECT_NE(cookie.find("; path=/; HttpOnly; SameSite=Lax"), std::string::npos) << cookie;
    EXPECT_NE(cookie.find("expires="), std::string::npos);
    std::string sid = first.Sid();
    EXPECT_EQ(sid.size(), 32u);
    Answer again = Get("http://my.site/hello.php", {{"Cookie", "sid=" + sid}});
    EXPECT_EQ(again.Sid(), sid);
    // An identifier the site never made is not adopted.
    Answer planted = Get("http://my.site/hello.php", {{"Cookie", "sid=AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"}});
    EXPECT_NE(planted.Sid(), "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA");
    EXPECT_EQ(planted.Sid().size(), 32u);
}

TEST_F(WebSiteTest, SignInMovesTheSessionToANewIdentifier) {
    Get("http://my.site/hello.php");
    std::string password = Site()->GetDB().GetInitialAdminPassword().str();
    ASSERT_FALSE(password.empty());
    std::string sid = Get("http://my.site/hello.php").Sid();
    Answer login = Get("http://my.site/login.php?uid=admin&psw=" + password, {{"Cookie", "sid=" + sid}});
    EXPECT_EQ(login.Body().find("Login failed"), std::string::npos) << login.Body();
    std::string signedIn = login.Sid();
    EXPECT_NE(signedIn, sid);
    EXPECT_NE(Get("http://my.site/who.php", {{"Cookie", "sid=" + signedIn}}).Body().find("admin"), std::string::npos);
    // The identifier known before the sign-in is worth nothing now.
    EXPECT_NE(Get("http://my.site/who.php", {{"Cookie", "sid=" + sid}}).Body().find("nobody"), std::string::npos);
    EXPECT_NE(Get("http://my.site/login.php?uid=admin&psw=qxrtb").Body().find("Login failed"), std::string::npos);
}

TEST_F(WebSiteTest, StateChangesNeedTheFormTokenAndASameSiteOrigin) {
    Answer form = Get("http://my.site/form.php");
    std::string sid = form.Sid();
    std::string body = form.Body();
    size_t at = body.find("name=\"rnd\" value=\"");
    ASSERT_NE(at, std::string::npos) << body;
    std::string token = body.substr(at + 18, 32);
    // A random token, not the fixed 0 the forms used to carry (it may begin with 0).
    ASSERT_EQ(token.size(), 32u);
    EXPECT_EQ(token.find_first_not_of("0123456789ABCDEFabcdef"), std::string::npos) << token;
    EXPECT_NE(token, std::string(32, '0'));
    const std::pair<std::string, std::string> cookie{"Cookie", "sid=" + sid};
    const std::pair<std::string, std::string> formType{"Content-Type", "application/x-www-form-urlencoded"};

    Answer noToken = Send("POST", "http://my.site/set.php", {cookie, formType}, "x=1");
    EXPECT_NE(noToken.Body().find("Unauthorisized request"), std::string::npos);
    Answer wrong = Send("POST", "http://my.site/set.php", {cookie, formType}, "x=1&rnd=0");
    EXPECT_NE(wrong.Body().find("Unauthorisized request"), std::string::npos);
    Answer foreign = Send("POST", "http://my.site/set.php", {cookie, formType, {"Origin", "http://evil.example"}},
                          "x=1&rnd=" + token);
    EXPECT_NE(foreign.Body().find("Unauthorisized request"), std::string::npos);
    Answer foreignReferer = Send("POST", "http://my.site/set.php",
                                 {cookie, formType, {"Referer", "http://evil.example/my.site/"}}, "x=1&rnd=" + token);
    EXPECT_NE(foreignReferer.Body().find("Unauthorisized request"), std::string::npos);
    EXPECT_TRUE(Site()->GetSystemVar("x").IsEmpty());

    Answer ok = Send("POST", "http://my.site/set.php", {cookie, formType, {"Origin", "http://my.site"}},
                     "x=1&rnd_number=" + token);
    EXPECT_NE(ok.Body().find("saved"), std::string::npos) << ok.Body();
    EXPECT_EQ(Site()->GetSystemVar("x").str(), "1");
}

// --- stock responses ------------------------------------------------------------------------

TEST_F(WebSiteTest, ErrorPagesEscapeWhatTheyEcho) {
    Answer op = Get("http://my.site/op.php?op=%3Cscript%3Ealert(1)%3C/script%3E");
    EXPECT_EQ(op.Body().find("<script>"), std::string::npos);
    EXPECT_NE(op.Body().find("Unknown operation, &#039;&lt;script&gt;"), std::string::npos) << op.Body();
    Answer hello = Get("http://my.site/hello.php?<b>x</b>");
    EXPECT_EQ(hello.Body().find("<b>x</b>"), std::string::npos);
    Answer missing = Get("http://my.site/%3Cimg%20src=x%3E");
    EXPECT_EQ(missing.Body().find("<img"), std::string::npos);
    EXPECT_NE(missing.Body().find("Sorry, your request http://my.site/&lt;img"), std::string::npos) << missing.Body();
    EXPECT_NE(missing.Body().find("/error.css"), std::string::npos);
}

TEST_F(WebSiteTest, FinishedAnswersCarryFramingAndCachingHeaders) {
    Answer html = Get("http://my.site/hello.php");
    EXPECT_EQ(html.Header("Expires"), "Mon, 26 Jul 1997 05:00:00 GMT");
    EXPECT_EQ(html.Header("Cache-Control"), "no-store, no-cache, must-revalidate");
    EXPECT_EQ(html.Header("X-Frame-Options"), "SAMEORIGIN");
    EXPECT_EQ(html.Header("Referrer-Policy"), "same-origin");
    EXPECT_EQ(html.Header("Connection"), "close");
    EXPECT_EQ(html.Header("Content-Length"), std::to_string(html.Body().size()));
    Answer plain = Get("http://my.site/plain.txt");
    EXPECT_EQ(plain.Header("Content-Type"), "text/plain");
    EXPECT_FALSE(plain.Header("Last-Modified").empty());
    EXPECT_NE(plain.Header("Expires"), "Mon, 26 Jul 1997 05:00:00 GMT");
}

TEST_F(WebSiteTest, RedirectsNeverCarryLineBreaksIntoHeaders) {
    Answer a = Get("http://my.site/go.php?to=/x%0d%0aSet-Cookie:%20evil=1");
    EXPECT_EQ(a.response->m_strStatus.str(), "302 Found");
    EXPECT_EQ(a.Header("Location"), "/xSet-Cookie: evil=1");
    std::string head;
    KvGenBuffer out;
    a.response->ComposeHeader(&out);
    head.assign(out.GetData(), out.GetCount());
    EXPECT_EQ(head.find("\r\nSet-Cookie: evil"), std::string::npos);
}

TEST_F(WebSiteTest, NotModifiedWhenTheBrowserCopyIsCurrent) {
    Answer current = Get("http://my.site/nm.php", {{"If-Modified-Since", "Wed, 01 Jan 2020 12:00:00 GMT"}});
    EXPECT_EQ(current.response->m_strStatus.str(), "304 Not Modified");
    EXPECT_EQ(current.Header("Content-Length"), "0");
    Answer old = Get("http://my.site/nm.php", {{"If-Modified-Since", "Tue, 31 Dec 2019 12:00:00 GMT"}});
    EXPECT_EQ(old.response->m_strStatus.str(), "200 OK");
    Answer junk = Get("http://my.site/nm.php", {{"If-Modified-Since", "yesterday"}});
    EXPECT_EQ(junk.response->m_strStatus.str(), "200 OK");
}

// --- settings, expander and page frame -----------------------------------------------------

TEST_F(WebSiteTest, DefaultOfAMissingSettingIsStoredOnce) {
    Get("http://my.site/hello.php");
    KvTestSite* site = Site();
    EXPECT_EQ(site->GetSystemVar("hp_new", "dflt").str(), "dflt");
    EXPECT_EQ(site->GetDB().GetSystemVar("hp_new").str(), "dflt");
    site->GetDB().SetSystemVar("hp_new", "changed behind the cache");
    EXPECT_EQ(site->GetSystemVar("hp_new", "other").str(), "dflt");
    EXPECT_TRUE(site->GetSystemVar("absent", "").IsEmpty());
    EXPECT_FALSE(site->GetDB().IsSystemVarExist("absent"));
}

TEST_F(WebSiteTest, FragmentExpanderAnswersKnownKeysAndLeavesTheRest) {
    Get("http://my.site/hello.php");
    KvTestSite* site = Site();
    EXPECT_EQ(site->ParseString("{~title} {domain} {echo:a:b} {unknown} {} {echo}").str(),
              "&#123;title&#125; my.site [a:b] {unknown} {} []");
    // A setting that holds its own placeholder ends.
    site->SetSystemVar("hp_motto", "{hp_motto}x");
    CString looped = site->ParseString("{hp_motto}");
    EXPECT_LT(looped.GetLength(), 100000);
}

TEST_F(WebSiteTest, FragmentExpanderStaysLinearOnLongTexts) {
    Get("http://my.site/hello.php");
    KvTestSite* site = Site();
    // Ten thousand placeholders spread over sixteen megabytes: rewriting the
    // whole text per placeholder would move some eighty gigabytes, far
    // past the test's time-out.
    std::string text;
    const std::string filler(1600, 'x');
    for (int i = 0; i < 10000; ++i) text += filler + "{domain}";
    std::string expanded = site->ParseString(text.c_str()).str();
    EXPECT_EQ(expanded.size(), text.size() - 10000 * std::string("{domain}").size() + 10000 * 7);
    EXPECT_EQ(expanded.find('{'), std::string::npos);
    EXPECT_EQ(expanded.substr(1600, 7 + 1600 + 7), "my.site" + filler + "my.site");
    // A value is scanned again together with the text after it: "[{~c]"
    // and the "}" that follows it make the placeholder "{~c]}".
    EXPECT_EQ(site->ParseString("a{~b}{echo:{~c}}d").str(), "a&#123;b&#125;[&#123;c]&#125;d");
}

TEST_F(WebSiteTest, PageFrameFillsTheThemeAndEscapesThePath) {
    Answer a = Get("http://my.site/form.php?title=%3Cb%3E'x'");
    std::string body = a.Body();
    EXPECT_NE(body.find("<title>&lt;b&gt;&#039;x&#039; - my.site</title>"), std::string::npos) << body;
    EXPECT_NE(body.find("<p>/form.php</p>"), std::string::npos);
    // Placeholders of the header that the expander left are filled by the frame.
    EXPECT_NE(body.find(">About Us</A>"), std::string::npos);
    EXPECT_EQ(body.find("{nav_aboutus}"), std::string::npos);
    // The bookmark link gets the script-escaped title.
    EXPECT_EQ(body.find("addToFavorites('/form.php','<b>"), std::string::npos);
    EXPECT_NE(body.find("\\x3Cb\\x3E\\x27x\\x27"), std::string::npos) << body;
    Answer quoted = Get("http://my.site/form.php%27);alert(1);//");
    EXPECT_EQ(quoted.Body().find("');alert"), std::string::npos);
}

TEST_F(WebSiteTest, ShippedThemeLeavesNoStandardPlaceholderUnfilled) {
    std::string theme = m_base + "/Theme/VuvUrad";
    ASSERT_EQ(std::system(("rm -rf '" + theme + "'").c_str()), 0);
    ASSERT_EQ(std::system(("cp -r '" KV_SOURCE_DIR "/data/Theme/VuvUrad' '" + theme + "'").c_str()), 0);
    for (const char* page : {"wpage.htm", "spage.htm"}) {
        Answer a = Get(std::string("http://my.site/form.php?title=T&page=") + page);
        std::string body = a.Body();
        EXPECT_NE(body.find("<title>T - my.site</title>"), std::string::npos) << body;
        EXPECT_NE(body.find("http://my.site/_theme/VuvUrad/style.css"), std::string::npos);
        EXPECT_EQ(body.find('{'), std::string::npos) << body;
    }
    // The trail leads through the folders of the path, not to the file.
    std::string inFolder = Get("http://my.site/Some_Folder/form.php?title=T").Body();
    EXPECT_NE(inFolder.find("<a href=\"http://my.site/Some_Folder/\">Some Folder</a>"), std::string::npos) << inFolder;
    EXPECT_EQ(inFolder.find("form.php/"), std::string::npos);
    EXPECT_NE(Get("http://my.site/_theme/VuvUrad/style.css").Body().find("#page_content"), std::string::npos);
    KvMime::GetInstance()->SetMimeFile(KV_SOURCE_DIR "/data/mime.types");
    EXPECT_EQ(Get("http://my.site/_theme/VuvUrad/images/logo.png").Header("Content-Type"), "image/png");
}

TEST_F(WebSiteTest, PathSplitsIntoDirectoryAndFile) {
    Get("http://my.site/hello.php");
    KvTestSite* site = Site();
    site->BreakCgiPathComponent("/a/b/");
    EXPECT_EQ(site->GetCurrentDir().str(), "/a/b/");
    EXPECT_EQ(site->GetCurrentFile().str(), "");
    site->BreakCgiPathComponent("/a/b/c.php");
    EXPECT_EQ(site->GetCurrentDir().str(), "/a/b/");
    EXPECT_EQ(site->GetCurrentFile().str(), "c.php");
    site->BreakCgiPathComponent("");
    EXPECT_EQ(site->GetCurrentDir().str(), "/");
    EXPECT_EQ(site->Path().str(), "/");
    site->BreakCgiPathComponent("x.php");
    EXPECT_EQ(site->GetCurrentDir().str(), "/");
    EXPECT_EQ(site->GetCurrentFile().str(), "x.php");
    std::string trail = site->GetCurrentPath("/My_Folder/<b>/").str();
    EXPECT_NE(trail.find(">My Folder</a>"), std::string::npos) << trail;
    EXPECT_EQ(trail.find("<b>"), std::string::npos);
}

// --- plain-file sites ---------------------------------------------------------------------------

class LocalFileSiteTest : public WebSiteTest {
protected:
    void SetUp() override {
        WebSiteTest::SetUp();
        ASSERT_EQ(mkdir((m_base + "/LocalWeb/Docs.Local").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((m_base + "/LocalWeb/Docs.Local/sub").c_str(), 0755), 0);
        WriteFile(m_base + "/LocalWeb/Docs.Local/index.html", "home");
        WriteFile(m_base + "/LocalWeb/Docs.Local/sub/index.htm", "sub-home");
        WriteFile(m_base + "/LocalWeb/Docs.Local/config.txt", "[Configuration]\nhp_name=Docs\nhp_desc=Manuals\n");
    }
};

TEST_F(LocalFileSiteTest, ServesFilesFromTheRealDirectoryName) {
    Answer home = Get("http://docs.local/", {}, "docs.local");
    EXPECT_EQ(home.result, 1);
    EXPECT_EQ(home.Body(), "home");
    EXPECT_EQ(Get("http://docs.local/sub/", {}, "docs.local").Body(), "sub-home");
    Answer dir = Get("http://docs.local/sub", {}, "docs.local");
    EXPECT_EQ(dir.response->m_strStatus.str(), "302 Found");
    EXPECT_EQ(dir.Header("Location"), "http://docs.local/sub/");
    EXPECT_NE(Get("http://docs.local/none.html", {}, "docs.local").Body().find("not found"), std::string::npos);
    EXPECT_NE(mgr.RenderLocalWebList(1, 1).str().find(">Docs</a><br><small>Manuals</small>"), std::string::npos);
}

TEST_F(LocalFileSiteTest, StaysInsideItsDirectory) {
    for (const char* url : {"http://docs.local/../My.Site.CLD", "http://docs.local/%2e%2e/My.Site.CLD",
                            "http://docs.local/..%2f..%2fSecret/passwd", "http://docs.local/%5c..%5cx",
                            "http://docs.local/index.html%00"}) {
        Answer a = Get(url, {}, "docs.local");
        EXPECT_EQ(a.result, 1) << url;
        EXPECT_EQ(a.Body().find("secret"), std::string::npos) << url;
        EXPECT_NE(a.Body().find("Invalid request"), std::string::npos) << url << a.Body();
    }
}

TEST_F(LocalFileSiteTest, AnswersNotModifiedForAnUnchangedFile) {
    Answer a = Get("http://docs.local/index.html", {{"If-Modified-Since", "Fri, 01 Jan 2100 00:00:00 GMT"}},
                   "docs.local");
    EXPECT_EQ(a.response->m_strStatus.str(), "304 Not Modified");
    Answer b = Get("http://docs.local/index.html", {{"If-Modified-Since", "Thu, 01 Jan 1998 00:00:00 GMT"}},
                   "docs.local");
    EXPECT_EQ(b.Body(), "home");
}

}  // namespace
