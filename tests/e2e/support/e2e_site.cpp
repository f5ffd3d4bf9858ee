// Database sites for the end-to-end tests.
#include "tests/e2e/support/e2e_site.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <regex>

#include "ext/KvMd5/KvMd5.h"
#include "ext/KvSqLite/KvSqlQuery.h"
#include "proxy/web/KvWebDB.h"

namespace e2e {

namespace {

void AddTree(const std::string& root, const std::string& rel, DataFiles& files) {
    DIR* dir = opendir((root + "/" + rel).c_str());
    if (!dir) return;
    while (dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        const std::string sub = rel + "/" + name;
        struct stat st {};
        if (stat((root + "/" + sub).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) AddTree(root, sub, files);
        else files[sub] = ReadFile(root + "/" + sub);
    }
    closedir(dir);
}

}  // namespace

bool MakeSiteDb(const std::string& dbPath, const std::string& adminPassword, const std::vector<SiteMember>& members) {
    KvWebDB db;
    if (!db.OpenSite(dbPath.c_str())) return false;
    KvUserInfo admin;
    if (!db.GetUserInfo(1, &admin)) return false;
    admin.m_strPassword = MD5String(adminPassword.c_str());
    if (!db.UpdateUser(&admin)) return false;
    for (const SiteMember& m : members) {
        KvUserInfo user;
        user.m_strName = m.name.c_str();
        user.m_strFullName = ("Member " + m.name).c_str();
        user.m_strEmail = (m.name + "@example.org").c_str();
        user.m_nLevel = m.level;
        user.m_strPassword = MD5String(m.password.c_str());
        if (!db.AddUser(&user)) return false;
    }
    return true;
}

std::string SiteDbValue(const std::string& dbPath, const std::string& sql) {
    KvSqlDB db;
    if (!db.Open(dbPath.c_str())) return std::string();
    KvSqlQuery q = db.ExecQuery(sql.c_str());
    if (!q.IsValid() || q.IsEOF() || q.IsFieldNull(0)) return std::string();
    return q.GetStringField(0).str();
}

DataFiles SiteDataFiles() {
    DataFiles files;
    const std::string data = SourceDir() + "/data";
    for (const char* folder : {"Template", "Theme", "Images"}) AddTree(data, folder, files);
    files["mime.types"] = ReadFile(data + "/mime.types");
    return files;
}

SiteProxy::SiteProxy(const std::string& host, const std::vector<SiteMember>& members, const std::string& extraIni,
                     const std::string& kind)
    : proxy(SiteDataFiles(), "[Proxy]\r\nRecTimeout=10\r\n" + extraIni), m_host(host) {
    if (!proxy.Started()) return;
    // The sites are read on the first request, so the file made now is found.
    m_db = proxy.Dir() + "/LocalWeb/" + host + "." + kind;
    mkdir((proxy.Dir() + "/LocalWeb").c_str(), 0755);
    m_ready = MakeSiteDb(m_db, kAdminPassword, members);
}

std::string FormEncode(const Form& form) {
    auto escape = [](const std::string& text) {
        static const char hex[] = "0123456789ABCDEF";
        std::string out;
        for (unsigned char c : text) {
            if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
                out += (char)c;
            } else {
                out += '%';
                out += hex[c >> 4];
                out += hex[c & 15];
            }
        }
        return out;
    };
    std::string body;
    for (const auto& [name, value] : form) {
        if (!body.empty()) body += '&';
        body += escape(name) + "=" + escape(value);
    }
    return body;
}

Answer SiteClient::Send(const std::string& method, const std::string& path, const std::string& body,
                        const std::string& extraHeaders, const std::string& contentType) {
    std::string request = method + " http://" + m_host + path + " HTTP/1.0\r\nHost: " + m_host + "\r\n";
    if (!m_sid.empty()) request += "Cookie: sid=" + m_sid + "\r\n";
    if (method == "POST") {
        request += "Content-Type: " + contentType + "\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\n";
    }
    request += extraHeaders + "\r\n" + body;
    Answer a = Parse(m_proxy.Exchange(request));
    auto range = a.headers.equal_range("set-cookie");
    for (auto it = range.first; it != range.second; ++it) {
        const std::string& cookie = it->second;
        if (cookie.rfind("sid=", 0) == 0) m_sid = cookie.substr(4, cookie.find(';') - 4);
    }
    return a;
}

Answer SiteClient::Get(const std::string& path, const std::string& extraHeaders) {
    return Send("GET", path, "", extraHeaders);
}

Answer SiteClient::Post(const std::string& path, const Form& form, const std::string& extraHeaders) {
    return Send("POST", path, FormEncode(form), extraHeaders);
}

Answer SiteClient::PostWithToken(const std::string& path, Form form) {
    form.emplace_back("rnd", m_token);
    return Post(path, form, "Origin: " + Origin() + "\r\n");
}

Answer SiteClient::PostFile(const std::string& path, Form form, const std::string& field,
                            const std::string& fileName, const std::string& content, bool withToken) {
    if (withToken) form.emplace_back("rnd", m_token);
    const std::string boundary = "----kvtestboundary7MA4YWxkTrZu0gW";
    std::string body;
    for (const auto& [name, value] : form) {
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
    }
    body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + field + "\"; filename=\"" + fileName +
            "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content + "\r\n--" + boundary + "--\r\n";
    return Send("POST", path, body, "Origin: " + Origin() + "\r\n", "multipart/form-data; boundary=" + boundary);
}

std::string SiteClient::FetchToken(const std::string& path) {
    const Answer a = Get(path);
    static const std::regex field(R"(name="rnd(?:_number)?"\s+value="([0-9A-Fa-f]+)\")");
    std::smatch m;
    m_token = std::regex_search(a.body, m, field) ? m[1].str() : std::string();
    return m_token;
}

bool SiteClient::Login(const std::string& name, const std::string& password) {
    if (FetchToken().empty()) return false;
    const Answer a = PostWithToken("/phpmod/login.php", {{"op", "do"}, {"uid", name}, {"psw", password}});
    if (a.status != 302) return false;
    FetchToken();
    return true;
}

}  // namespace e2e
