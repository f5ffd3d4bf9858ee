#include "base/platform/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

bool KvWriteAll(int fd, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= (size_t)w;
    }
    return true;
}

namespace {

std::string TempNameBeside(const std::string& path) {
    static thread_local std::mt19937 gen(std::random_device{}());
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".tmp%08x", (unsigned)gen());
    return path + suffix;
}

}  // namespace

std::string KvNativePath(const char* path) {
    std::string p = path ? path : "";
    for (char& c : p) {
        if (c == '\\') c = '/';
    }
    return p;
}

bool KvReadWholeFile(const char* path, std::string& out) {
    out.clear();
    std::string native = KvNativePath(path);
    int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) out.reserve((size_t)st.st_size);
    char buf[65536];
    bool ok = true;
    for (;;) {
        ssize_t r = ::read(fd, buf, sizeof buf);
        if (r < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (r == 0) break;
        out.append(buf, (size_t)r);
    }
    ::close(fd);
    return ok;
}

bool KvWriteFileAtomic(const char* path, const void* data, size_t size) {
    std::string native = KvNativePath(path);
    if (native.empty()) return false;
    std::string tmp = TempNameBeside(native);
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = KvWriteAll(fd, data, size) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(tmp.c_str(), native.c_str()) == 0) return true;
    ::unlink(tmp.c_str());
    return false;
}

bool KvAppendToFile(const char* path, const void* data, size_t size) {
    std::string native = KvNativePath(path);
    int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = KvWriteAll(fd, data, size);
    ok = (::close(fd) == 0) && ok;
    return ok;
}

long long KvFileSize(const char* path) {
    struct stat st;
    std::string native = KvNativePath(path);
    if (::stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return (long long)st.st_size;
}
