// KvFile: a thin wrapper of a file descriptor with error codes as values.
#include "base/file/KvFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/platform/FileIo.h"

IMPLEMENT_DYNCREATE(KvFile, CObject)

bool KvFile::Fail(int error) {
    m_nError = error ? error : EIO;
    return false;
}

bool KvFile::Open(const char* path, UINT flags) {
    Close();
    m_nError = 0;
    m_bEOF = false;
    if (!path || !*path) return Fail(ENOENT);
    int access = O_RDONLY;
    if (flags & modeReadWrite)
        access = O_RDWR;
    else if (flags & modeWrite)
        access = O_WRONLY;
    int oflags = access | O_CLOEXEC;
    if (flags & modeCreate) oflags |= O_CREAT | ((flags & modeNoTruncate) ? 0 : O_TRUNC);
    std::string native = KvNativePath(path);
    int fd = ::open(native.c_str(), oflags, 0644);
    if (fd < 0) return Fail(errno);
    m_fd = fd;
    m_bWritable = access != O_RDONLY;
    m_strPath = CString(native);
    return true;
}

void KvFile::Close() {
    if (m_fd >= 0) {
        if (::close(m_fd) != 0) m_nError = errno;
        m_fd = -1;
    }
    m_bWritable = false;
}

UINT KvFile::Read(void* buffer, UINT count) {
    if (m_fd < 0) {
        Fail(EBADF);
        return 0;
    }
    char* p = static_cast<char*>(buffer);
    UINT total = 0;
    while (total < count) {
        ssize_t r = ::read(m_fd, p + total, count - total);
        if (r < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
            return 0;
        }
        if (r == 0) break;
        total += (UINT)r;
    }
    if (total < count) m_bEOF = true;
    return total;
}

bool KvFile::Write(const void* buffer, UINT count) {
    if (m_fd < 0) return Fail(EBADF);
    if (!m_bWritable) return Fail(EBADF);
    const char* p = static_cast<const char*>(buffer);
    while (count > 0) {
        ssize_t w = ::write(m_fd, p, count);
        if (w < 0) {
            if (errno == EINTR) continue;
            return Fail(errno);
        }
        p += w;
        count -= (UINT)w;
    }
    return true;
}

bool KvFile::Flush() {
    if (m_fd < 0) return Fail(EBADF);
    return ::fsync(m_fd) == 0 || errno == EINVAL || Fail(errno);
}

long long KvFile::Seek(long long offset, UINT from) {
    if (m_fd < 0) {
        Fail(EBADF);
        return -1;
    }
    int whence = from == current ? SEEK_CUR : (from == end ? SEEK_END : SEEK_SET);
    off_t pos = ::lseek(m_fd, (off_t)offset, whence);
    if (pos < 0) {
        Fail(errno);
        return -1;
    }
    m_bEOF = false;
    return pos;
}

long long KvFile::GetPosition() const {
    if (m_fd < 0) return -1;
    return ::lseek(m_fd, 0, SEEK_CUR);
}

long long KvFile::GetLength() const {
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) return -1;
    return st.st_size;
}

bool KvFile::SetLength(long long length) {
    if (m_fd < 0) return Fail(EBADF);
    if (length < 0) return Fail(EINVAL);
    return ::ftruncate(m_fd, (off_t)length) == 0 || Fail(errno);
}
