// Directory listings by name pattern.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/file/KvFileFunc.h"
#include "base/platform/FileIo.h"

namespace {

bool IsDirectoryEntry(const std::string& dir, const struct dirent* e) {
    if (e->d_type == DT_DIR) return true;
    if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) return false;
    struct stat st;
    return ::stat((dir + e->d_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool KvListDirectory(const char* dir, const char* pattern, bool directories, std::vector<std::string>& names) {
    names.clear();
    std::string base = KvNativePath(dir && *dir ? dir : ".");
    if (base.back() != '/') base += '/';
    if (pattern) {
        std::string p = KvNativePath(pattern);
        if (p.find('/') != std::string::npos) return false;  // a name pattern, not a path
    }
    DIR* d = ::opendir(base.c_str());
    if (!d) return false;
    bool matchedAny = false;
    while (struct dirent* e = ::readdir(d)) {
        if (!KvMatchFilePattern(pattern, e->d_name)) continue;
        matchedAny = true;
        if (e->d_name[0] == '.') continue;
        if (IsDirectoryEntry(base, e) == directories) names.emplace_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
    return matchedAny;
}

bool SearchFile(const char* dir, const char* pattern, CStringArray& list, BOOL withExt) {
    list.RemoveAll();
    std::vector<std::string> names;
    bool found = KvListDirectory(dir, pattern, false, names);
    for (const std::string& n : names) list.Add(withExt ? CString(n) : ExcludeFileExt(n.c_str()));
    return found;
}

bool SearchSubDir(const char* dir, const char* pattern, CStringArray& list) {
    list.RemoveAll();
    std::vector<std::string> names;
    bool found = KvListDirectory(dir, pattern, true, names);
    for (const std::string& n : names) list.Add(CString(n));
    return found;
}
