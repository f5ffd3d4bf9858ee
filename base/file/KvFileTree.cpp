#include "base/file/KvFileTree.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/file/KvFileFunc.h"

namespace {

// mkdir -p, new folders private to their owner.
bool MakePath(const std::string& path) {
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
        if (::mkdir(path.substr(0, at).c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) && ::stat(path.c_str(), &st) == 0 &&
           S_ISDIR(st.st_mode);
}

struct TreeCopy {
    std::string from, to;
    const std::function<bool(const std::string&)>& skip;
    CString* failed;
    int copied = 0;

    bool Fail(const std::string& path) {
        if (failed) *failed = path.c_str();
        return false;
    }

    // The file reaches its place by link(): it never replaces a file that
    // appeared meanwhile, and a copy cut short stays a temporary file.
    bool CopyFile(const std::string& rel) {
        const std::string dst = to + "/" + rel;
        const std::string tmp = dst + ".new" + std::to_string(getpid());
        if (!KvFileCopy((from + "/" + rel).c_str(), tmp.c_str())) return Fail(dst);
        const bool linked = ::link(tmp.c_str(), dst.c_str()) == 0;
        const bool present = linked || errno == EEXIST;
        ::unlink(tmp.c_str());
        if (!present) return Fail(dst);
        if (linked) ++copied;
        return true;
    }

    bool CopyFolder(const std::string& rel) {
        const std::string src = rel.empty() ? from : from + "/" + rel;
        const std::string dst = rel.empty() ? to : to + "/" + rel;
        std::vector<std::string> names;
        if (DIR* dir = ::opendir(src.c_str())) {
            while (dirent* entry = ::readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") names.push_back(name);
            }
            ::closedir(dir);
        } else {
            return Fail(src);
        }
        if (!(rel.empty() ? MakePath(dst) : ::mkdir(dst.c_str(), 0755) == 0 || errno == EEXIST)) return Fail(dst);
        for (const std::string& name : names) {
            const std::string child = rel.empty() ? name : rel + "/" + name;
            if (skip && skip(child)) continue;
            struct stat st;
            if (::lstat((from + "/" + child).c_str(), &st) != 0) return Fail(from + "/" + child);
            if (S_ISDIR(st.st_mode)) {
                if (!CopyFolder(child)) return false;
            } else if (S_ISREG(st.st_mode) && ::access((to + "/" + child).c_str(), F_OK) != 0) {
                if (!CopyFile(child)) return false;
            }
        }
        return true;
    }
};

}  // namespace

int KvCopyMissingFiles(const char* from, const char* to, const std::function<bool(const std::string&)>& skip,
                       CString* failed) {
    if (!from || !*from || !to || !*to) return -1;
    TreeCopy copy{from, to, skip, failed};
    return copy.CopyFolder("") ? copy.copied : -1;
}
