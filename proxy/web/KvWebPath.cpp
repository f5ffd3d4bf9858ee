// Confining request paths (see KvWebPath.h).
#include "proxy/web/KvWebPath.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/file/KvFileFunc.h"
#include "base/str/StrFunc.h"

namespace {

// The resolved form of the longest existing leading part of path, with the
// rest appended as written; empty when nothing resolves.
std::string ResolveExisting(const std::string& path) {
    std::string head = path, tail;
    while (!head.empty()) {
        char buf[PATH_MAX];
        if (realpath(head.c_str(), buf)) return std::string(buf) + tail;
        size_t slash = head.find_last_of('/');
        if (slash == std::string::npos) break;
        tail = head.substr(slash) + tail;
        head.erase(slash);
    }
    return std::string();
}

}  // namespace

bool KvIsSafeRequestPath(const CString& path) {
    const std::string& s = path.str();
    return s.find("..") == std::string::npos && s.find('\\') == std::string::npos &&
           s.find('\0') == std::string::npos;
}

bool KvResolveBelow(const char* root, const CString& relative, CString& out) {
    if (!root || !*root || !KvIsSafeRequestPath(relative)) return false;
    std::string rel = relative.str();
    while (!rel.empty() && rel[0] == '/') rel.erase(0, 1);
    std::string base(root);
    while (base.size() > 1 && (base.back() == '/' || base.back() == '\\')) base.pop_back();
    for (char& c : base) {
        if (c == '\\') c = '/';
    }
    char rootBuf[PATH_MAX];
    if (!realpath(base.c_str(), rootBuf)) return false;
    std::string realRoot(rootBuf);
    std::string joined = base + "/" + rel;
    std::string resolved = ResolveExisting(joined);
    if (resolved.empty()) return false;
    if (resolved != realRoot && resolved.compare(0, realRoot.size() + 1, realRoot + "/") != 0) return false;
    out = CString(joined);
    return true;
}

bool KvFindNameNoCase(const char* dir, const char* name, bool directory, CString& realName) {
    if (!dir || !name || !*name || std::strchr(name, '/') || std::strchr(name, '\\')) return false;
    std::vector<std::string> names;
    if (!KvListDirectory(dir, "*", directory, names)) return false;
    const std::string* found = nullptr;
    for (const std::string& n : names) {
        if (n == name) {
            realName = CString(n);
            return true;
        }
        if (!found && StrICompare(n.c_str(), name) == 0) found = &n;
    }
    if (!found) return false;
    realName = CString(*found);
    return true;
}
