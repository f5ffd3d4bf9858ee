// List files: one text per line, CR LF line ends.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "base/containers/CsList.h"
#include "base/file/KvFileFunc.h"
#include "base/platform/FileIo.h"

namespace {

// Whether the file exists, is not empty and its last byte ends no line.
bool LacksFinalLineEnd(const std::string& native) {
    int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char last = '\n';
    off_t size = ::lseek(fd, 0, SEEK_END);
    bool lacks = size > 0 && ::pread(fd, &last, 1, size - 1) == 1 && last != '\r' && last != '\n';
    ::close(fd);
    return lacks;
}

// An item that cannot be written as one list line: null, holding "#"
// (such items are never saved) or holding a line break.
bool IsWritable(const CsStrListItem* item) {
    const char* s = item->m_str.GetPtr();
    return s && !std::strpbrk(s, "#\r\n");
}

}  // namespace

bool StrListLoad(CsStrList& list, const char* path, BOOL clear) {
    if (clear) list.RemoveAll(true);
    std::string data;
    if (!path || !*path || !KvReadWholeFile(path, data)) return false;
    size_t i = 0;
    while (i < data.size()) {
        size_t end = data.find_first_of("\r\n", i);
        if (end == std::string::npos) end = data.size();
        std::string line = data.substr(i, end - i);
        if (!line.empty() && line[0] != '\0' && !list.AddTail(line.c_str())) return false;
        i = end + 1;
    }
    return true;
}

bool StrListSave(CsStrList& list, const char* path, BOOL replace) {
    if (!path || !*path) return false;
    std::string native = KvNativePath(path);
    std::string text;
    for (const CsStrListItem* item = list.Head(); item; item = item->Next()) {
        if (!IsWritable(item)) continue;
        text += item->GetStr();
        text += "\r\n";
    }
    if (replace) {
        if (list.IsEmpty()) return ::unlink(native.c_str()) == 0 || errno == ENOENT;
        // A new content replaces the old one whole: a crash leaves either.
        return KvWriteFileAtomic(path, text.data(), text.size());
    }
    if (list.IsEmpty()) return true;
    // Never glue the first new line onto an unterminated last line.
    if (!text.empty() && LacksFinalLineEnd(native)) text.insert(0, "\r\n");
    return KvAppendToFile(path, text.data(), text.size());
}

bool SearchFile(const char* dir, const char* pattern, CsStrList& list, BOOL withExt) {
    list.RemoveAll(true);
    std::vector<std::string> names;
    bool found = KvListDirectory(dir, pattern, false, names);
    for (const std::string& n : names) list.AddTail(withExt ? n.c_str() : ExcludeFileExt(n.c_str()).c_str());
    return found;
}

bool SearchSubDir(const char* dir, const char* pattern, CsStrList& list) {
    list.RemoveAll(true);
    std::vector<std::string> names;
    bool found = KvListDirectory(dir, pattern, true, names);
    for (const std::string& n : names) list.AddTail(n.c_str());
    return found;
}
