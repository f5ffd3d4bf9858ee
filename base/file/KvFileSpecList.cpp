// KvFileSpecList: ownership and directory search.
#include <sys/stat.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/file/KvFileSpec.h"
#include "base/platform/FileIo.h"

namespace {

typedef std::set<std::pair<dev_t, ino_t>> DirSet;

const char* PatternOrAll(const char* pattern) { return pattern && *pattern ? pattern : "*.*"; }

// dir's path for listing ("." when it has none).
std::string ListPath(const KvFileSpec& dir) {
    CString path = dir.GetDir();
    return path.IsEmpty() ? std::string(".") : KvNativePath(path.c_str());
}

bool SearchTree(KvFileSpecList& list, const KvFileSpec& dir, const char* pattern, bool recursive, DirSet& seen) {
    struct stat st;
    if (::stat(ListPath(dir).c_str(), &st) != 0 || !seen.insert({st.st_dev, st.st_ino}).second) return false;
    bool found = list.SearchFile(dir, pattern);
    if (!recursive) return found;
    KvFileSpecList subdirs;
    subdirs.SearchSubDir(dir, "*.*");
    for (POSITION pos = subdirs.GetHeadPosition(); pos;) {
        if (SearchTree(list, *subdirs.GetNext(pos), pattern, true, seen)) found = true;
    }
    return found;
}

}  // namespace

void KvFileSpecList::RemoveAt(POSITION pos) {
    delete GetAt(pos);
    m_list.RemoveAt(pos);
}

void KvFileSpecList::RemoveHead() {
    if (!IsEmpty()) RemoveAt(GetHeadPosition());
}

void KvFileSpecList::RemoveTail() {
    if (!IsEmpty()) RemoveAt(GetTailPosition());
}

void KvFileSpecList::RemoveAll() {
    for (POSITION pos = GetHeadPosition(); pos;) delete GetNext(pos);
    m_list.RemoveAll();
}

POSITION KvFileSpecList::Find(const char* name, POSITION after) const {
    CString wanted(name);
    POSITION pos = after;
    if (pos)
        GetNext(pos);
    else
        pos = GetHeadPosition();
    while (pos) {
        POSITION current = pos;
        if (GetNext(pos)->GetFullName() == wanted) return current;
    }
    return nullptr;
}

void KvFileSpecList::Copy(const KvFileSpecList& other) {
    RemoveAll();
    for (POSITION pos = other.GetHeadPosition(); pos;) AddTail(*other.GetNext(pos));
}

bool KvFileSpecList::SearchFile(const KvFileSpec& dir, const char* pattern) {
    std::vector<std::string> names;
    bool found = KvListDirectory(ListPath(dir).c_str(), PatternOrAll(pattern), false, names);
    CString path = dir.GetPath();
    for (const std::string& n : names) AddTail((path + n.c_str()).c_str());
    return found;
}

bool KvFileSpecList::SearchSubDir(const KvFileSpec& dir, const char* pattern) {
    std::vector<std::string> names;
    bool found = KvListDirectory(ListPath(dir).c_str(), PatternOrAll(pattern), true, names);
    CString path = dir.GetPath();
    for (const std::string& n : names) AddTail((path + n.c_str() + "/").c_str());
    return found;
}

bool KvFileSpecList::Search(const KvFileSpec& dir, const char* pattern, bool recursive) {
    DirSet seen;
    return SearchTree(*this, dir, pattern, recursive, seen);
}
