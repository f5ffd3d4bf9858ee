#include "proxy/cache/KvCacheFiles.h"

#include <mutex>
#include <vector>

#include "base/app/KvData.h"
#include "base/file/KvFileFunc.h"
#include "base/str/StrFunc.h"

namespace {

std::mutex& DirLock() {
    static std::mutex lock;
    return lock;
}

CString& DirValue() {
    static CString dir;
    return dir;
}

}  // namespace

CString KvCacheDirWithSlash(const char* dir) {
    CString out(dir ? dir : "");
    out.Replace('\\', '/');
    if (!out.IsEmpty() && out[out.GetLength() - 1] != '/') out += "/";
    return out;
}

CString KvCacheGetDirectory() {
    std::lock_guard<std::mutex> lock(DirLock());
    if (DirValue().IsEmpty()) return KvCacheDirWithSlash(kvData.m_strModulePath) + "Cache/";
    return DirValue();
}

void KvCacheSetDirectory(const char* dir) {
    std::lock_guard<std::mutex> lock(DirLock());
    DirValue() = KvCacheDirWithSlash(dir);
}

std::map<std::string, std::string> KvCacheListStores(const char* dir, const char* ext) {
    std::map<std::string, std::string> stores;
    std::vector<std::string> names;
    CString pattern("*");
    pattern += ext;
    if (!KvListDirectory(dir, pattern, false, names)) return stores;
    const size_t extLength = std::char_traits<char>::length(ext);
    for (const std::string& file : names) {
        if (file.size() <= extLength) continue;
        std::string base = file.substr(0, file.size() - extLength);
        CString lower(base.c_str());
        lower.MakeLower();
        stores.emplace(lower.c_str(), base);  // the first spelling wins
    }
    return stores;
}

CString KvCacheResolveName(const char* dir, const char* name, const char* ext) {
    CString base(name ? name : "");
    CString dirSlash = KvCacheDirWithSlash(dir);
    if (base.IsEmpty() || IsFileExist(dirSlash + base + ext)) return base;
    CString lower = base;
    lower.MakeLower();
    auto stores = KvCacheListStores(dirSlash, ext);
    auto it = stores.find(lower.c_str());
    return it == stores.end() ? base : CString(it->second.c_str());
}

CString KvCacheFindFile(const char* dir, const char* fileName) {
    CString dirSlash = KvCacheDirWithSlash(dir);
    CString exact = dirSlash + (fileName ? fileName : "");
    if (!fileName || !*fileName || IsFileExist(exact)) return exact;
    std::vector<std::string> names;
    KvListDirectory(dirSlash, "*", false, names);  // sorted: the first spelling wins
    for (const std::string& name : names) {
        if (StrICompare(name.c_str(), fileName) == 0) return dirSlash + name.c_str();
    }
    return exact;
}

void KvCacheSplitStorePath(const char* file, CString& dir, CString& name) {
    CString path(file ? file : "");
    path.Replace('\\', '/');
    int slash = path.ReverseFind('/');
    dir = slash >= 0 ? path.Left(slash + 1) : CString("./");
    name = slash >= 0 ? path.Mid(slash + 1) : path;
    for (const char* ext : {".cdx", ".cdt"}) {
        int n = name.GetLength();
        if (n > 4 && StrICompare(name.c_str() + n - 4, ext) == 0) {
            name = name.Left(n - 4);
            break;
        }
    }
}
