// The keyword tables of the keyword store (top 100, last searched).
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "inet/html/KvHtml.h"
#include "inet/url/KvUrlCode.h"
#include "proxy/repo/KvRepoKeyword.h"

namespace {

const char kTableHead[] =
    "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\" width=\"640\" bordercolor=\"#D0D0D0\" "
    "bordercolorlight=\"#D0D0D0\" bordercolordark=\"#FFFFFF\" cellspacing=\"0\">\r\n<tr>\r\n"
    "<td valign=\"middle\" align=\"center\" bgcolor=\"#E0E0E0\"><b><font size=\"2\" face=\"Verdana\">NO</font></b>"
    "</td>\r\n"
    "<td valign=\"middle\" align=\"center\" bgcolor=\"#E0E0E0\"><b><font size=\"2\" face=\"Verdana\">KEYWORD/TERM"
    "</font></b></td>\r\n"
    "<td valign=\"middle\" align=\"center\" bgcolor=\"#E0E0E0\"><b><font size=\"2\" face=\"Verdana\">HITS</font>"
    "</b></td>\r\n</tr>";
const char kCellRight[] = "<td align=\"right\" valign=\"middle\"><font size=\"2\" face=\"Verdana\">";
const char kCellLeft[] = "<td align=\"left\" valign=\"middle\"><font size=\"2\" face=\"Verdana\">";
const char kCellEnd[] = "</font></td>\r\n";

// One row: number, the keyword linked to its page, the hits. The keyword
// is visitors' text: URL-encoded in the link, HTML-escaped as its label.
CString KeywordRow(int number, const char* keyword, int hits, const char* linkPrefix) {
    CString encoded(keyword), label(keyword), href, row;
    UrlEncode(&encoded);
    HtmlSpecialChars(&label, 1);
    href.Format("%s%s.html", linkPrefix ? linkPrefix : "", encoded.c_str());
    HtmlSpecialChars(&href, 1);
    row.Format("<tr>\r\n%s%03d%s%s%s%s%s%s%s</tr>", kCellRight, number, kCellEnd, kCellLeft,
               HtmlLink(href, label).c_str(), kCellEnd, kCellRight, EngNumberFormat(hits).c_str(), kCellEnd);
    return row;
}

}  // namespace

CString KvRepoKeyword::RenderKeywordList(const char* sql, const char* linkPrefix) {
    CString html(kTableHead);
    if (_CanRead()) {
        KvSqlQuery q = m_pDB->ExecQuery(sql);
        for (int number = 1; q.IsValid() && !q.IsEOF(); q.MoveNext(), ++number) {
            html += KeywordRow(number, q.GetTextField(0), q.GetIntField(1), linkPrefix);
        }
    }
    html += "</table>\r\n";
    return html;
}

CString KvRepoKeyword::RenderTop100Keywords(const char* linkPrefix) {
    return RenderKeywordList("select kwd, hits from kwdlist order by hits desc limit 0, 100", linkPrefix);
}

CString KvRepoKeyword::RenderLastAccessedKeywords(const char* linkPrefix) {
    return RenderKeywordList("select kwd, hits from kwdlist order by last_updated desc limit 0, 100", linkPrefix);
}

CString KvRepoKeyword::RenderRelatedKeywords(const char*) { return CString(); }
