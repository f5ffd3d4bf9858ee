// KvWebRSS: "opml.php", the outline lists every feed reader exchanges:
// the feed folders a visitor may see as an OPML document ("export", the
// default), and an OPML file imported below the current folder ("import"
// shows the form, "doimport" reads the upload; administrators with the
// form token).
#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/feeds/KvOpmlReader.h"
#include "proxy/sites/KvOpmlImport.h"
#include "inet/web/KvCGI.h"
#include "proxy/sites/KvWebRSS.h"
#include "proxy/web/KvParseImp.h"

namespace {

// Far beyond real subscription lists; the bound of one import in memory.
constexpr size_t kMaxOpmlBytes = 8u << 20;
constexpr int kMaxOutlines = 20000;

}  // namespace

void KvWebRSS::RenderOpmlLevel(int parent, const CString& indent, int depth, CString& out) {
    if (depth > KV_SITEMAP_MAX_DEPTH) return;
    KvObjectArray children;
    m_repo.PopulateFolder(parent, &children, m_folders.ChildFilter());
    for (int i = 0; i < children.GetSize(); ++i) {
        const auto* f = dynamic_cast<KvWebFolderRSS*>(children[i]);
        if (!f) continue;
        const CString text = HtmlEscape(f->m_strTitle.IsEmpty() ? f->m_strName : f->m_strTitle);
        if (KvIsWebAddress(f->m_strRssUrl)) {
            out += StrFormat("%s<outline type=\"rss\" text=\"%s\" title=\"%s\" xmlUrl=\"%s\"/>\n", indent.c_str(),
                             text.c_str(), text.c_str(), HtmlEscape(f->m_strRssUrl).c_str());
            continue;
        }
        out += StrFormat("%s<outline text=\"%s\">\n", indent.c_str(), text.c_str());
        RenderOpmlLevel(f->m_nID, indent + "  ", depth + 1, out);
        out += indent + "</outline>\n";
    }
}

int KvWebRSS::ResponseOpmlModule() {
    static constexpr KvFolderSite::ExchangeFile kOpmlFile{"export", "opml", kMaxOpmlBytes,
                                                          "Choose an OPML file to import.",
                                                          "The file is larger than 8 MiB."};
    return m_folders.ResponseFileExchange(kOpmlFile, *this);
}

int KvWebRSS::ResponseImport(const KvCGIFile& upload) {
    const int room = KV_REPO_MAX_DEPTH - KvFolderSite::PathDepth(m_strFolderPath) - 1;
    KvOpmlFile file;
    CString message;
    if (!KvReadOpml(upload.m_bufContent.GetData(), upload.m_bufContent.GetCount(), room, kMaxOutlines, file,
                    message)) {
        return ShowImportForm(message);
    }
    KvOpmlCount count;
    if (!KvImportOpml(m_repo, m_folder.m_nID, file, UserGetName(), count)) {
        return ShowImportForm("The feeds could not be stored; nothing was imported.");
    }
    ContentChanged();
    return ShowImportForm(StrFormat("Imported %d folders and %d feeds; %d feeds were here already; %d skipped (not "
                                  "http or https addresses, or beyond the bounds).",
                                  count.folders, count.feeds, count.duplicates, count.skipped));
}

int KvWebRSS::ShowImportForm(const char* message) {
    const int cat = m_folder.m_nID;
    CString content("<h1>Import Feeds</h1>\r\n");
    if (message && *message) content += "<p class=\"page-message\">" + HtmlEscape(message) + "</p>\r\n";
    content += StrFormat(
        "<form class=\"site-form opml-import\" method=\"post\" action=\"/phpmod/opml.php\" "
        "enctype=\"multipart/form-data\">\r\n"
        "<input type=\"hidden\" name=\"op\" value=\"doimport\">\r\n"
        "<input type=\"hidden\" name=\"cat\" value=\"%d\">\r\n"
        "<input type=\"hidden\" name=\"rnd\" value=\"%s\">\r\n"
        "<p>An OPML file as feed readers export it. Its feeds become feed folders below <b>%s</b>, its groups "
        "folders; feeds this reader has already are left out. Only http and https feeds are kept.</p>\r\n"
        "<div class=\"label\">OPML file</div>\r\n"
        "<input class=\"inputbox\" style=\"max-width:100%%\"\r\n"
        " type=\"file\" name=\"opml\" accept=\".opml,.xml,text/xml\"><br>\r\n"
        "<input class=\"button\" type=\"submit\" value=\"Import\">\r\n</form>\r\n<p><br>%s</p>\r\n",
        cat, HtmlEscapeAttr(GetFormToken()).c_str(),
        HtmlEscape(cat == 0 ? m_strTopLabel : m_folder.m_strTitle).c_str(),
        HtmlLink("/phpmod/opml.php", "Export the feeds as OPML", nullptr).c_str());
    m_strPageTitle = "Import Feeds";
    m_strPageRobots = "noindex";
    m_strPageContent = content;
    KvParseImp imp;
    imp.AddVariable("current_path", GetCurrentPath(m_strFolderPath));
    imp.AddVariable("folder_id", cat);
    return WebPageShow("wpage.htm", &imp);
}

int KvWebRSS::ResponseExport() {
    CString out("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"2.0\">\n<head><title>");
    out += HtmlEscape(GetHostName()) + "</title></head>\n<body>\n";
    RenderOpmlLevel(0, "  ", 1, out);
    out += "</body>\n</opml>\n";
    if (!m_pResponse) return 0;
    m_pResponse->m_bufBody.Empty();
    m_pResponse->m_bufBody.PutString(out);
    return ResponseFinish("text/x-opml; charset=utf-8");
}
