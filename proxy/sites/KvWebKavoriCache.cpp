// KvWebKavori: the cache browser ("cache.php"): the stores of the cache
// directory, the domains of a store and the objects of a domain. Stores
// are opened read-only, so looking never changes the cache; deleting and
// searching are in KvWebKavoriCacheSearch.cpp.
#include "base/containers/KvObjectArray.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/cache/KvCacheDB.h"
#include "proxy/sites/KvCachePageParts.h"
#include "proxy/sites/KvWebKavori.h"

namespace {

CString DomainListTitle(const CString& name) {
    return "<h1>Show Domain List Of Chache \"" + HtmlEscape(name) + "\"</h1>";
}

CString ObjectListTitle(const CString& name) {
    return "<h1>Show Object List Of Chache \"" + HtmlEscape(name) + "\"</h1>";
}

CString CacheListTable(const std::vector<KvCacheStoreInfo>& stores) {
    CString table = kCacheTableStart;
    table += "<tr><td align=\"center\">NO</td><td align=\"center\">CACHE NAME</td>"
             "<td align=\"center\">SIZE</td><td align=\"center\">OBJECTS</td></tr>";
    int row = 0;
    for (const KvCacheStoreInfo& store : stores) {
        table += "<tr>";
        table.AppendFormat("<td align=\"right\">%d</td><td><a href=\"/cache.php?op=domain&name=%s\">%s</a></td>", ++row,
                           UrlEscapeComponent(store.name).c_str(), HtmlEscape(store.name).c_str());
        table += "<td class=\"num\">" + KvCacheHumanSize(store.bytes) + "</td><td class=\"num\">";
        if (store.objects >= 0) table.AppendFormat("%d", store.objects);
        else table += "-";
        table += "</td></tr>\n";
    }
    return table + "</table>\n";
}

// `token` is empty unless an administrator looks: only then rows carry
// their deletion forms.
CString DomainTable(KvObjectArray& hosts, const CString& name, const CString& token) {
    CString table = kCacheTableStart;
    table += "<tr><td align=\"center\">NO</td><td align=\"center\">DOMAIN NAME</td><td align=\"center\">OBJ COUNT</td>";
    table += token.IsEmpty() ? "</tr>\n" : "<td></td></tr>\n";
    for (int i = 0; i < hosts.GetSize(); ++i) {
        auto* host = static_cast<KvCacheDomainItem*>(hosts.GetAt(i));
        table += "<tr>";
        table.AppendFormat(
            "<td align=\"right\">%d</td><td><a href=\"/cache.php?op=object&id=%d&host=%s&name=%s\">%s</a></td><td>%d</td>",
            i + 1, host->m_nHostId, UrlEscapeComponent(host->m_strHost).c_str(), UrlEscapeComponent(name).c_str(),
            HtmlEscape(host->m_strHost).c_str(), host->m_nObjectCount);
        if (!token.IsEmpty())
            table += "<td class=\"act\">" + KvCacheDeleteForm("deldomain", name, host->m_strHost, "", token) + "</td>";
        table += "</tr>\n";
    }
    return table + "</table>\n";
}

CString ObjectTable(KvObjectArray& objects, const CString& name, const CString& host, const CString& token) {
    CString table = kCacheTableStart;
    table += "<tr><td align=\"center\">NO</td><td align=\"center\">OBJECT NAME</td>";
    table += token.IsEmpty() ? "</tr>\n" : "<td></td></tr>\n";
    for (int i = 0; i < objects.GetSize(); ++i) {
        auto* object = static_cast<KvCacheObjectItem*>(objects.GetAt(i));
        table += "<tr>";
        table.AppendFormat("<td align=\"right\">%d</td>", i + 1);
        table += "<td>" + KvCacheObjectAnchor(host, object->m_strPath, object->m_strPath) + "</td>";
        if (!token.IsEmpty())
            table += "<td class=\"act\">" + KvCacheDeleteForm("delete", name, host, object->m_strPath, token) + "</td>";
        table += "</tr>\n";
    }
    return table + "</table>\n";
}

CString LowerCase(const char* text) {
    CString lower(text ? text : "");
    lower.MakeLower();
    return lower;
}

}  // namespace

int KvWebKavori::ResponseCacheManagement() {
    CString op = LowerCase(m_cgi.GetValue("op", "list"));
    if (op.IsEmpty() || op == "list") return ResponseCacheShowCacheList();
    if (op == "domain") return ResponseCacheShowDomainList();
    if (op == "object") return ResponseCacheShowObjectList();
    if (op == "search") return ResponseCacheSearch();
    if (op == "delete") return ResponseCacheDelete(false);
    if (op == "deldomain") return ResponseCacheDelete(true);
    // The error page escapes the text it is given.
    return ResponseError("Unknown operation of the cache pages: \"%s\"", m_cgi.GetValue("op", ""));
}

int KvWebKavori::ResponseCacheShowCacheList() {
    CString body = "<h1>Cache List</h1><p>Click the cache name to see the domain list of that cache.</p>";
    body += CacheListTable(KvCacheListStoreInfo(true));
    body += "<h1>Search The Cache</h1>" + KvCacheSearchForm("");
    m_strPageContent = body;
    return ResponseCacheShowPage();
}

int KvWebKavori::ResponseCacheShowDomainList() {
    const CString name = m_cgi.GetValue("name", "");
    CString body;
    KvCacheDB db;
    if (name.IsEmpty()) {
        body = "<h1>Show Domain List Of Chache</h1><p>Sorry. the name of cache not provided</p>";
    } else if (!KvCacheIsPlainStoreName(name) || !OpenReadOnlyCache(db, name)) {
        body = DomainListTitle(name) + "<p>Unable to open that cache</p>";
    } else {
        body = DomainListTitle(name) + "<p>Click the domain name to see all cache object of that domain.</p>";
        KvObjectArray hosts;
        if (!db.PopulateDomain2(&hosts)) body += "<p>Populate domain failed.</p>";
        else if (hosts.GetSize() == 0) body += "<p>The cache is empty.</p>";
        else body += DomainTable(hosts, name, HasAccess(KvWho::Admin) ? GetFormToken() : CString());
    }
    m_strPageContent = body;
    return ResponseCacheShowPage();
}

int KvWebKavori::ResponseCacheShowObjectList() {
    const CString name = m_cgi.GetValue("name", "");
    CString host = m_cgi.GetValue("host", "");
    int id = m_cgi.GetIntValue("id", 0);
    CString body;
    KvCacheDB db;
    if (!KvCacheIsPlainStoreName(name) || !OpenReadOnlyCache(db, name)) {
        body = ObjectListTitle(name) + "<p>Unable to open that cache</p>";
    } else {
        // The links are built from the host the store names, never from the
        // one in the request.
        if (id <= 0 && !host.IsEmpty()) id = db.FindHostId(host);
        const CString stored = db.GetHostName(id);
        if (!stored.IsEmpty()) host = stored;
        body = "<h1>Show Object List On Domain " + HtmlEscape(host) + " Of Chache \"" + HtmlEscape(name) +
               "\"</h1><p>Click the object name to see the content.</p>";
        KvObjectArray objects;
        if (!db.PopulateObject(id, &objects))
            body += "<p>Populate object on domain " + HtmlEscape(host) + " failed.</p>";
        else if (objects.GetSize() == 0 || stored.IsEmpty())
            body += "<p>There are no object on domain " + HtmlEscape(host) + ".</p>";
        else
            body += ObjectTable(objects, name, host, HasAccess(KvWho::Admin) ? GetFormToken() : CString());
    }
    m_strPageContent = body;
    return ResponseCacheShowPage();
}

int KvWebKavori::ResponseCacheShowPage() {
    m_strPageRobots = "noindex";
    const CString body = CString(kCachePageStyle) + "<div class=\"cache-browser\">\n" + m_strPageContent + "</div>\n";
    return ResponsePortalPage("Cache", body, "Cache", "/cache.php");
}
