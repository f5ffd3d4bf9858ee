// File facts, existence tests, copy and move.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>

#include "base/file/KvFileFunc.h"
#include "base/platform/FileIo.h"

namespace {

KvTime LocalTime(const struct statx_timestamp& ts) { return KvTime((time_t)ts.tv_sec); }

// Copies the open descriptor's content into a new file beside dst, then
// renames it over dst, so dst is never seen half-written.
bool CopyInto(int in, const std::string& dst, mode_t mode) {
    static thread_local std::mt19937 gen(std::random_device{}());
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".tmp%08x", (unsigned)gen());
    std::string tmp = dst + suffix;
    int out = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 07777);
    if (out < 0) return false;
    bool ok = true;
    char buf[65536];
    for (;;) {
        ssize_t r = ::read(in, buf, sizeof buf);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            ok = (r == 0);
            break;
        }
        if (!KvWriteAll(out, buf, (size_t)r)) {
            ok = false;
            break;
        }
    }
    ok = (::close(out) == 0) && ok;
    if (ok && ::rename(tmp.c_str(), dst.c_str()) == 0) return true;
    ::unlink(tmp.c_str());
    return false;
}

}  // namespace

bool IsFileExist(const char* path) {
    if (!path || !*path) return false;
    KvFileStatus status;
    return FileGetStatus(path, status);
}

bool IsPathExist(const char* path) {
    if (!path || !*path) return false;
    std::string native = KvNativePath(path);
    if (native.size() > 3 && native.back() == '/') native.pop_back();
    struct stat st;
    return ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileGetStatus(const char* path, KvFileStatus& status) {
    if (!path || !*path) return false;
    CString full = KvAbsolutePath(path);
    if (full.IsEmpty()) return false;
    struct statx sx;
    if (::statx(AT_FDCWD, full.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;

    status.m_szFullName = full;
    status.m_size = (long long)sx.stx_size;
    status.m_mtime = LocalTime(sx.stx_mtime);
    status.m_ctime = (sx.stx_mask & STATX_BTIME) ? LocalTime(sx.stx_btime) : status.m_mtime;
    status.m_atime = (sx.stx_mask & STATX_ATIME) ? LocalTime(sx.stx_atime) : status.m_mtime;

    BYTE attr = KV_ATTR_NORMAL;
    if (S_ISDIR(sx.stx_mode)) attr |= KV_ATTR_DIRECTORY;
    if (!(sx.stx_mode & S_IWUSR)) attr |= KV_ATTR_READONLY;
    if (GetFileNameOnly(full).GetAt(0) == '.') attr |= KV_ATTR_HIDDEN;
    if (!S_ISDIR(sx.stx_mode) && !S_ISREG(sx.stx_mode)) attr |= KV_ATTR_SYSTEM;
    status.m_attribute = attr;
    return true;
}

bool KvFileCopy(const char* src, const char* dst) {
    if (!src || !*src || !dst || !*dst) return false;
    std::string from = KvNativePath(src), to = KvNativePath(dst);
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st;
    bool ok = ::fstat(in, &st) == 0 && S_ISREG(st.st_mode) && CopyInto(in, to, st.st_mode);
    ::close(in);
    return ok;
}

bool KvFileMove(const char* src, const char* dst) {
    if (!src || !*src || !dst || !*dst) return false;
    std::string from = KvNativePath(src), to = KvNativePath(dst);
    struct stat st;
    if (::stat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    return KvFileCopy(src, dst) && ::unlink(from.c_str()) == 0;
}
