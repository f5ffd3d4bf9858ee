// KvWebObjectEx: statements on the site database for developers:
// "runsql.php" (one statement typed into a form) and "sqlupload.php" (the
// lines of "<base>/sqlupload.sql", one statement each).
//
// Everyone but a developer is sent to the home page. Running anything is
// a change and carries the form token. What a page shows of a statement
// or of the database's messages is escaped.
#include "base/containers/CsList.h"
#include "base/file/KvFileFunc.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebModShared.h"
#include "proxy/web/KvWebObjectEx.h"

namespace {

const char kRunSql[] = "/phpmod/runsql.php";

// The statement with its line breaks taken out.
CString OneLine(CString text) {
    text.Remove('\r');
    text.Remove('\n');
    return text;
}

// One line of the upload's report; `executed` counts the statements run.
CString ReportSqlLine(KvWebDB& db, int number, CString line, int& executed) {
    line.Trim();
    if (line.Left(1) == "#") return StrFormat("%03d COMMENT: %s\r\n", number, HtmlEscape(line).c_str());
    if (line.Left(3) == "USE" || line.Left(3) == "use") {
        return StrFormat("%03d IGNORE: %s\r\n", number, HtmlEscape(line).c_str());
    }
    const CString sql = OneLine(line);
    const bool ok = db.Execute(sql) != -1;
    const CString outcome = ok ? CString("Succeeded") : db.GetLastErrorMsg();
    return StrFormat("%03d RUN-SQL[%d]: %s --- %s\r\n", number, ++executed, HtmlEscape(outcome).c_str(),
                     HtmlEscape(sql).c_str());
}

}  // namespace

int KvWebObjectEx::ResponseRunSqlStatement() {
    if (!IsUserDeveloper()) return ResponseRedirectToHomepage();
    const CString op = kvmod::GetOp(*this);
    const CString sql = m_cgi.GetValue("sql", "");
    CString message;
    if (op == "do") {
        if (!AllowStateChange(KvWho::Developer, KvVia::Form)) return 1;
        if (sql.IsEmpty()) {
            message = "SQL statement is empty";
        } else if (m_db.Execute(sql) == -1) {
            message = StrFormat("DBError [%d]. %s", m_db.GetLastError(), m_db.GetLastErrorMsg().c_str());
        } else {
            message = "Successfull. Enter another SQL Statement";
        }
    }
    KvParseImp imp;
    imp.AddVariable("msg_error", HtmlEscape(message));
    imp.AddVariable("fld_sql", HtmlEscape(sql));
    imp.AddVariable("form_action", kRunSql);
    imp.AddVariable("current_path", RenderTrail(kvmod::kCpanel, kvmod::kCpanelUrl, "Run Sql Statement", kRunSql));
    return ResponseTemplatePage("/_template/runsql.htm", "Run Sql Statement", imp, "wpage.htm");
}

int KvWebObjectEx::ResponseSqlUpload() {
    if (!IsUserDeveloper()) return ResponseRedirectToHomepage();
    if (!AllowStateChange(KvWho::Developer, KvVia::Link)) return 1;
    const CString path = m_strBasePath + "/sqlupload.sql";
    CsStrList lines;
    if (!IsFileExist(path) || !StrListLoad(lines, path)) {
        return ResponseSimpleHtml("SqlUpload", "File " + HtmlEscape(path) + " not found");
    }
    CString report = "<pre>\n";
    int number = 0, executed = 0;
    for (CsStrListItem* p = lines.Head(); p; p = p->Next()) {
        report += ReportSqlLine(m_db, ++number, p->GetStr(), executed);
    }
    report += "</pre>";
    return ResponseSimpleHtml("SqlUpload", report);
}
