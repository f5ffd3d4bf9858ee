// Helpers of the end-to-end tests of database sites: a site database made
// by the test with known members and passwords, served by a kvproxy whose
// data folder holds the shipped templates and theme, and a browser-like
// client that keeps the session cookie, reads the form token from pages
// and posts forms with or without it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/support/e2e_support.h"

namespace e2e {

struct SiteMember {
    std::string name;
    std::string password;
    int level = 1;
};

// Creates the site database `dbPath` with the administrator "admin" (id 1)
// signing in with `adminPassword`, and the `members` after it (ids from 2
// in order). Whether it worked.
bool MakeSiteDb(const std::string& dbPath, const std::string& adminPassword,
                const std::vector<SiteMember>& members = {});
// The first column of the first row of `sql` on the database, empty when
// there is none.
std::string SiteDbValue(const std::string& dbPath, const std::string& sql);

// The shipped templates, theme and images, for a data folder.
DataFiles SiteDataFiles();

// A kvproxy serving one database site "<host>" (a ".cwd" file, or of the
// kind given: "crd" for an RSS reader) made with the members given; the
// administrator's password is kAdminPassword.
class SiteProxy {
public:
    static constexpr char kAdminPassword[] = "admin-pass-1";
    explicit SiteProxy(const std::string& host = "shop.test", const std::vector<SiteMember>& members = {},
                       const std::string& extraIni = "", const std::string& kind = "cwd");
    bool Ready() const { return m_ready && proxy.Started(); }
    const std::string& Host() const { return m_host; }
    const std::string& DbPath() const { return m_db; }
    std::string DbValue(const std::string& sql) const { return SiteDbValue(m_db, sql); }

    Proxy proxy;

private:
    std::string m_host;
    std::string m_db;
    bool m_ready = false;
};

using Form = std::vector<std::pair<std::string, std::string>>;
// "a=1&b=2" with each name and value percent-escaped.
std::string FormEncode(const Form& form);

// One browser: a session cookie, the last form token seen, and requests
// to the site through the proxy. Get and Post send only the headers given
// (besides Host, Cookie and the form's type); PostWithToken behaves like a
// page of the site posting its form.
class SiteClient {
public:
    SiteClient(const Proxy& proxy, const std::string& host) : m_proxy(proxy), m_host(host) {}

    Answer Get(const std::string& path, const std::string& extraHeaders = "");
    Answer Post(const std::string& path, const Form& form, const std::string& extraHeaders = "");
    // Posts with the current token added as "rnd" and this site's Origin.
    Answer PostWithToken(const std::string& path, Form form);
    // Posts the form and one file (field `field`) as a multipart upload
    // with this site's Origin, and the current token as "rnd" unless
    // `withToken` is false.
    Answer PostFile(const std::string& path, Form form, const std::string& field, const std::string& fileName,
                    const std::string& content, bool withToken = true);
    // The "rnd" field of the page at `path` (empty when it has none); it
    // becomes the client's current token.
    std::string FetchToken(const std::string& path = "/phpmod/login.php");
    // Through the sign-in form; afterwards the token is the new session's.
    // Whether the site signed the member in (it redirects on success).
    bool Login(const std::string& name, const std::string& password);

    const std::string& Token() const { return m_token; }
    const std::string& Sid() const { return m_sid; }
    std::string Origin() const { return "http://" + m_host; }

private:
    Answer Send(const std::string& method, const std::string& path, const std::string& body,
                const std::string& extraHeaders,
                const std::string& contentType = "application/x-www-form-urlencoded");
    const Proxy& m_proxy;
    std::string m_host;
    std::string m_sid;
    std::string m_token;
};

}  // namespace e2e
