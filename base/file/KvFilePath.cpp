// Path texts: splitting, extensions, full paths and volume roots.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "base/file/KvFileFunc.h"
#include "base/platform/FileIo.h"

namespace {

// Position just behind the last separator (0 when there is none).
size_t LastComponentStart(const std::string& s) {
    size_t pos = s.find_last_of("/\\");
    return pos == std::string::npos ? 0 : pos + 1;
}

// Position of the extension's dot inside the last component, or npos.
size_t ExtensionDot(const std::string& s) {
    size_t dot = s.rfind('.');
    if (dot == std::string::npos || dot < LastComponentStart(s)) return std::string::npos;
    return dot;
}

bool CopyField(char* dst, size_t size, const std::string& src) {
    if (src.size() >= size) return false;
    std::memcpy(dst, src.c_str(), src.size() + 1);
    return true;
}

// An absolute path with "." and ".." resolved by text alone.
std::string Normalise(const std::string& native) {
    std::string path = native;
    if (path.empty() || path[0] != '/') {
        char cwd[KV_MAX_PATH];
        if (!getcwd(cwd, sizeof cwd)) return std::string();
        path = std::string(cwd) + "/" + path;
    }
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        std::string part = path.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out;
    for (const std::string& p : parts) out += "/" + p;
    if (out.empty() || (!native.empty() && native.back() == '/' && out != "/")) out += "/";
    return out;
}

// When the last component does not exist as spelled, the entry of its
// directory that differs only in letter case (the first found).
std::string OnDiskSpelling(const std::string& full) {
    struct stat st;
    if (full.empty() || full.back() == '/' || lstat(full.c_str(), &st) == 0) return full;
    size_t slash = full.rfind('/');
    std::string dir = full.substr(0, slash + 1);
    std::string name = full.substr(slash + 1);
    DIR* d = opendir(dir.c_str());
    if (!d) return full;
    std::string result = full;
    while (struct dirent* e = readdir(d)) {
        if (strcasecmp(e->d_name, name.c_str()) == 0) {
            result = dir + e->d_name;
            break;
        }
    }
    closedir(d);
    return result;
}

}  // namespace

void KvSplitPath(const char* path, KvPathParts& parts) {
    parts = KvPathParts();
    std::string s = path ? path : "";
    size_t start = 0;
    if (s.size() >= 2 && s[1] == ':' && std::isalpha((unsigned char)s[0])) {
        parts.drive = s.substr(0, 2);
        start = 2;
    }
    size_t nameStart = LastComponentStart(s);
    if (nameStart < start) nameStart = start;
    parts.dir = s.substr(start, nameStart - start);
    std::string file = s.substr(nameStart);
    size_t dot = file.rfind('.');
    if (dot == std::string::npos) {
        parts.name = file;
    } else {
        parts.name = file.substr(0, dot);
        parts.ext = file.substr(dot + 1);
    }
}

bool FileSplit(const char* path, tagFilePath* out) {
    if (!out) return false;
    KvPathParts parts;
    KvSplitPath(path, parts);
    if (CopyField(out->szDrive, sizeof out->szDrive, parts.drive) &&
        CopyField(out->szDir, sizeof out->szDir, parts.dir) &&
        CopyField(out->szFileName, sizeof out->szFileName, parts.name) &&
        CopyField(out->szExt, sizeof out->szExt, parts.ext))
        return true;
    out->szDrive[0] = out->szDir[0] = out->szFileName[0] = out->szExt[0] = '\0';
    return false;
}

CString ExcludeFileExt(const char* name) {
    std::string s = name ? name : "";
    size_t dot = ExtensionDot(s);
    return CString(dot == std::string::npos ? s : s.substr(0, dot));
}

CString GetFileExt(const char* name) {
    std::string s = name ? name : "";
    size_t dot = ExtensionDot(s);
    return CString(dot == std::string::npos ? std::string() : s.substr(dot + 1));
}

CString GetFileNameOnly(const char* path) {
    std::string s = path ? path : "";
    return CString(s.substr(LastComponentStart(s)));
}

CString KvAbsolutePath(const char* path) {
    if (!path || !*path) return CString();
    return CString(Normalise(KvNativePath(path)));
}

bool FileGetFullPath(CString& dst, const char* path) {
    dst = path;
    std::string full = KvAbsolutePath(path).str();
    if (full.empty()) return false;
    dst = CString(OnDiskSpelling(full));
    return true;
}

bool FileGetRoot(const char* path, CString& root) {
    root.Empty();
    CString full;
    if (!FileGetFullPath(full, path)) return false;
    std::string dir = full.str();
    struct stat st;
    // Start at the nearest existing ancestor.
    while (stat(dir.c_str(), &st) != 0) {
        size_t slash = dir.find_last_of('/', dir.size() > 1 ? dir.size() - 2 : 0);
        if (slash == std::string::npos) return false;
        dir.resize(slash + 1);
    }
    dev_t device = st.st_dev;
    // Climb while the parent lies on the same device.
    while (dir != "/") {
        std::string trimmed = dir.back() == '/' ? dir.substr(0, dir.size() - 1) : dir;
        size_t slash = trimmed.rfind('/');
        std::string parent = trimmed.substr(0, slash + 1);
        if (stat(parent.c_str(), &st) != 0 || st.st_dev != device) break;
        dir = parent;
    }
    if (dir.back() != '/') dir += '/';
    root = CString(dir);
    return true;
}

bool KvMatchFilePattern(const char* pattern, const char* name) {
    if (!pattern || !*pattern || std::strcmp(pattern, "*.*") == 0) pattern = "*";
    const char* star = nullptr;
    const char* resume = nullptr;
    const char* n = name ? name : "";
    const char* p = pattern;
    // Greedy match with one back-tracking point: linear in practice.
    while (*n) {
        if (*p == '*') {
            star = p++;
            resume = n;
        } else if (*p == '?' || std::tolower((unsigned char)*p) == std::tolower((unsigned char)*n)) {
            ++p;
            ++n;
        } else if (star) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (*p == '*') ++p;
    return *p == '\0';
}
