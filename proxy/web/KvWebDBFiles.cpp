// The site database: files stored under a folder and a name.
#include <filesystem>
#include <string>
#include <system_error>

#include "base/file/KvFileFunc.h"
#include "ext/KvSqLite/KvSqlBinary.h"
#include "ext/KvSqLite/KvSqlBuffer.h"
#include "inet/web/KvMime.h"
#include "proxy/web/KvWebDB.h"

namespace {

const char kTimeFormat[] = "%Y-%m-%d %H:%M:%S";

}  // namespace

bool KvWebDB::SplitSitePath(const char* sitePath, CString& folder, CString& name) {
    CString rest(sitePath);
    if (rest.Left(1) == "/") rest = rest.Mid(1);
    int slash = rest.Find('/');
    if (slash <= 0) return false;
    folder = rest.Left(slash);
    name = rest.Mid(slash + 1);
    return !name.IsEmpty();
}

// Binds MIME type, modification time and content from `first` on.
int KvWebDB::BindFileData(KvSqlStatement& st, int first, KvSimpleFile* file) {
    KvSqlBinary bin;
    if (!bin.SetBinary(file->m_bufContent.GetData(), (int)file->m_bufContent.GetCount())) return 0;
    CString modified = file->m_timeModified.Format(kTimeFormat);
    return st.Bind(first, file->m_strMime.c_str()) && st.Bind(first + 1, modified.c_str()) &&
           st.Bind(first + 2, bin.GetEncoded(), bin.GetEncodedLength());
}

int KvWebDB::AddSimpleFile(KvSimpleFile* file) {
    if (!IsOpen() || !file) return 0;
    KvSqlStatement st = CompileStatement(
        "insert into simplefile (file_type, file_path, file_mime, modified_on, file_content) values (?, ?, ?, ?, ?);");
    if (!st.IsValid() || !st.Bind(1, file->m_strType.c_str()) || !st.Bind(2, file->m_strPath.c_str())) return 0;
    if (!BindFileData(st, 3, file)) return 0;
    return st.Execute() < 0 ? 0 : 1;
}

int KvWebDB::UpdateSimpleFile(const char* type, const char* path, KvSimpleFile* file) {
    if (!IsOpen() || !file) return 0;
    KvSqlBuffer sql;
    KvSqlStatement st = CompileStatement(sql.Format(
        "update simplefile set file_mime=?, modified_on=?, file_content=? where file_type='%q' and file_path='%q';",
        type, path));
    if (!st.IsValid() || !BindFileData(st, 1, file)) return 0;
    return st.Execute() < 0 ? 0 : 1;
}

int KvWebDB::GetSimpleFile(const char* type, const char* path, KvSimpleFile* file) {
    if (!IsOpen() || !file) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = ExecQuery(sql.Format("select file_type, file_path, file_mime, modified_on, file_content from "
                                        "simplefile where file_type='%q' and file_path='%q';",
                                        type, path));
    if (!q.IsValid() || q.IsEOF()) return 0;
    int length = 0;
    const unsigned char* stored = q.GetBlobField(4, length);
    KvSqlBinary bin;
    if (stored && !bin.SetEncoded(stored, length)) return 0;
    file->m_strType = q.GetStringField(0);
    file->m_strPath = q.GetStringField(1);
    file->m_strMime = q.GetStringField(2);
    // The time was written as text; read it back as that text.
    file->m_timeModified.Empty();
    ConvertStringToTime(q.GetTextField(3), &file->m_timeModified);
    file->m_bufContent.Empty();
    if (stored) file->m_bufContent.PutString((const char*)bin.GetBinary(), (size_t)bin.GetBinaryLength());
    file->m_bufContent.ResetPos();
    return 1;
}

int KvWebDB::IsSimpleFileExist(const char* type, const char* path) {
    if (!IsOpen()) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q =
        ExecQuery(sql.Format("select file_mime from simplefile where file_type='%q' and file_path='%q';", type, path));
    return q.IsValid() && !q.IsEOF() ? 1 : 0;
}

int KvWebDB::PutSimpleFile(KvSimpleFile* file) {
    if (!IsOpen() || !file) return 0;
    if (IsSimpleFileExist(file->m_strType, file->m_strPath)) {
        return UpdateSimpleFile(file->m_strType, file->m_strPath, file);
    }
    return AddSimpleFile(file);
}

int KvWebDB::PutSimpleFileFromLocalFile(const char* sitePath, const char* localFile) {
    if (!IsOpen()) return 0;
    KvSimpleFile file;
    if (!SplitSitePath(sitePath, file.m_strType, file.m_strPath)) return 0;
    if (!file.m_bufContent.PutFile(localFile)) return 0;
    file.m_strMime = KvMime::GetInstance()->GetMimeByPath(file.m_strPath, "application/octet-stream");
    file.m_timeModified = KvTime::GetCurTime();
    return PutSimpleFile(&file);
}

int KvWebDB::DeleteSimpleFile(const char* type, const char* path) {
    if (!IsOpen()) return 0;
    KvSqlBuffer sql;
    return Execute(sql.Format("delete from simplefile where file_type='%q' and file_path='%q';", type, path)) < 0 ? 0
                                                                                                                 : 1;
}

int KvWebDB::DeleteAllSimpleFile(const char* type) {
    if (!IsOpen()) return 0;
    KvSqlBuffer sql;
    return Execute(sql.Format("delete from simplefile where file_type='%q';", type)) < 0 ? 0 : 1;
}

int KvWebDB::CopyLocalPath(const char* localDir, const char* sitePath, long long maxFileSize, int* count) {
    namespace fs = std::filesystem;
    if (count) *count = 0;
    if (!IsOpen() || !localDir || !sitePath) return 0;
    std::error_code ec;
    if (fs::is_symlink(localDir, ec) || !fs::is_directory(localDir, ec)) return 0;
    const fs::path root(localDir);
    fs::recursive_directory_iterator it(root, fs::directory_options::none, ec), end;
    if (ec) return 0;
    for (; it != end; it.increment(ec)) {
        if (ec) return 0;
        const fs::directory_entry& entry = *it;
        if (entry.is_symlink(ec)) {
            // A link could lead out of the directory: neither read nor entered.
            it.disable_recursion_pending();
            continue;
        }
        if (!entry.is_regular_file(ec)) continue;
        if (maxFileSize > 0 && (long long)entry.file_size(ec) > maxFileSize) continue;
        const std::string relative = entry.path().lexically_relative(root).generic_string();
        if (!PutSimpleFileFromLocalFile(CString(sitePath) + relative.c_str(), entry.path().c_str())) return 0;
        if (count) ++*count;
    }
    return 1;
}
