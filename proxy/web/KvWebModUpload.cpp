// KvWebObjectEx: "upload.php", files into the site database: one file
// sent by the browser ("file"), or a folder read from the import folder on
// disk ("dir"). Stored files are served under their "/_<folder>/" paths.
//
// Administrators only; both uploads are forms that carry the form token.
#include <algorithm>

#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/web/KvCGI.h"
#include "inet/web/KvMime.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebImportDir.h"
#include "proxy/web/KvWebModShared.h"
#include "proxy/web/KvWebObjectEx.h"
#include "proxy/web/KvWebPath.h"

namespace {

const char kPrefixMessage[] = "Please to ensure the prefix <b>/_</b> on your url path.";
const char kDirFailed[] = "Failed. Check you local path again.";

// The last piece of a file name as a browser sends it (some send the
// whole local path).
CString BaseName(const CString& name) {
    int cut = std::max(name.ReverseFind('/'), name.ReverseFind('\\'));
    return cut >= 0 ? name.Mid(cut + 1) : name;
}

// The message of a file upload.
CString StoreUploadedFile(KvWebObjectEx& site) {
    KvCGI& cgi = site.GetCGI();
    CString path = cgi.GetValue("url_path", "");
    if (path.Left(2) != "/_") return kPrefixMessage;
    KvCGIFile* upload = cgi.GetFile(0);
    const long long size = upload ? (long long)upload->m_bufContent.GetCount() : 0;
    if (size > kvmod::kMaxUploadBytes) return "Your file size is exeed maximum size.";
    if (size == 0) return "Your file size is 0.";
    if (path.Right(1) == "/") path += BaseName(upload->m_strFileName);
    KvSimpleFile file;
    if (!KvIsSafeRequestPath(path) || !KvWebDB::SplitSitePath(path, file.m_strType, file.m_strPath) ||
        file.m_strPath.Right(1) == "/") {
        return "Your file is invalid. Try again.";
    }
    file.m_strMime = KvMime::GetInstance()->GetMimeByPath(file.m_strPath, "application/octet-stream");
    file.m_timeModified = KvTime::GetCurTime();
    if (!file.m_bufContent.PutString(upload->m_bufContent.GetData(), (size_t)size) ||
        !site.GetDB().PutSimpleFile(&file)) {
        return "Internal error. Please try another file/directory.";
    }
    return "Success. you can upload another file";
}

// The folder named by a form's local path, confined to the import folder:
// a relative path is taken from it, an absolute one must lie in it, and
// neither may leave it through "..", links or absolute pieces. False when
// it does not name a folder there.
bool ResolveImportPath(const CString& importDir, CString local, CString& folder) {
    local.Replace('\\', '/');
    while (local.GetLength() > 1 && local.Right(1) == "/") local = local.Left(local.GetLength() - 1);
    if (local.Left(1) == "/") {
        if (local == importDir) local.Empty();
        else if (local.Left(importDir.GetLength() + 1) == importDir + "/") local = local.Mid(importDir.GetLength() + 1);
        else return false;
    }
    return KvResolveBelow(importDir, local, folder);
}

// The message of a folder upload; the folder is stored whole or not at all.
CString CopyImportFolder(KvWebObjectEx& site) {
    KvCGI& cgi = site.GetCGI();
    CString path = cgi.GetValue("url_path", "");
    if (path.Left(2) != "/_") return kPrefixMessage;
    if (path.Right(1) != "/") path += "/";
    CString folder, type, name;
    if (!KvIsSafeRequestPath(path) || !KvWebDB::SplitSitePath(path, type, name)) return kDirFailed;
    const CString importDir = KvGetImportDir(site.GetBasePath());
    if (!ResolveImportPath(importDir, cgi.GetValue("local_path", ""), folder)) return kDirFailed;
    KvWebDB& db = site.GetDB();
    KvSqlTransaction tx(db);
    int count = 0;
    if (!tx.IsActive() || !db.CopyLocalPath(folder, path, kvmod::kMaxUploadBytes, &count) || !tx.Commit()) {
        return kDirFailed;
    }
    return "Success. you can upload another file/directory.";
}

}  // namespace

int KvWebObjectEx::ResponseUploadModule() {
    if (!IsUserAdmin()) return ResponseUnauthorisized();
    const CString op = kvmod::GetOp(*this);
    // The messages are the module's own texts (one holds markup); nothing
    // the browser sent is in them.
    CString message;
    if (op == "file" || op == "dir") {
        if (!AllowStateChange(KvWho::Admin, KvVia::Form)) return 1;
        message = op == "file" ? StoreUploadedFile(*this) : CopyImportFolder(*this);
    } else if (op != "show") {
        return ResponseUnknownAction(op);
    }
    KvParseImp imp;
    imp.AddVariable("page_msg", message);
    imp.AddVariable("url_path", HtmlEscapeAttr(m_cgi.GetValue("url_path", "")));
    imp.AddVariable("local_path", HtmlEscapeAttr(m_cgi.GetValue("local_path", "")));
    imp.AddVariable("import_dir", HtmlEscape(KvGetImportDir(m_strBasePath)));
    imp.AddVariable("max_size", HtmlEscape(EngNumberFormat(kvmod::kMaxUploadBytes)));
    imp.AddVariable("form_action", "/phpmod/upload.php");
    imp.AddVariable("current_path", RenderTrail(kvmod::kCpanel, kvmod::kCpanelUrl, "Upload", "/phpmod/upload.php"));
    return ResponseTemplatePage("/_template/upload.htm", "Upload", imp, "spage.htm");
}
