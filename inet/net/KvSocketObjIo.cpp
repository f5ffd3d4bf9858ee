// KvSocketObj: sending, receiving and readiness.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>

#include "base/containers/KvGenBuffer.h"
#include "inet/net/KvSocketObj.h"
#include "inet/net/KvSocketWait.h"

namespace {

constexpr int kIoChunk = 64 * 1024;
constexpr int kStopFlagSliceMs = 100;  // how often a waiting receive looks at its stop flag

}  // namespace

BOOL KvSocketObj::Send(const void* data, int length) { return SendFlagged(data, length, 0); }

BOOL KvSocketObj::SendFlagged(const void* data, int length, int flags) {
    if (length == 0) return TRUE;
    if (!data || length < 0) {
        SetErrorCode(KV_ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (m_hSocket == INVALID_SOCKET) {
        SetErrorCode(KV_ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const char* p = static_cast<const char*>(data);
    size_t left = (size_t)length;
    const int64_t limit = m_nTimeOut == INFINITE ? -1 : (int64_t)m_nTimeOut;
    int64_t deadline = KvDeadlineAfter(limit);
    while (left > 0) {
        ssize_t n = send(m_hSocket, p, left, MSG_NOSIGNAL | flags);
        if (n > 0) {
            p += n;
            left -= (size_t)n;
            deadline = KvDeadlineAfter(limit);  // progress renews the time-out
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == ENOBUFS)) {
            KvWait w = KvSocketWait(m_hSocket, POLLOUT, deadline);
            if (w == KvWait::Ready) continue;
            SetErrorCode(w == KvWait::Failed ? MapSystemError(errno) : KV_WSAETIMEDOUT);
            return FALSE;
        }
        SetSystemError(n < 0 ? errno : EPIPE);
        return FALSE;
    }
    return TRUE;
}

BOOL KvSocketObj::Send(CString& text) { return Send(text.c_str(), text.GetLength()); }

BOOL KvSocketObj::Send(KvGenBuffer* buffer) {
    if (!buffer) return FALSE;
    buffer->ResetPos();
    size_t count = buffer->GetCount();
    if (count == 0) return TRUE;
    if (count > 0x7FFFFFFF) {
        SetErrorCode(KV_ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The whole content in one send: a message head never goes out in pieces.
    BOOL ok = Send(buffer->GetData(), (int)count);
    if (ok) buffer->Consume(count);
    return ok;
}

BOOL KvSocketObj::SendFile(const char* path) {
    int fd = path ? open(path, O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) {
        SetErrorCode(KV_ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::unique_ptr<char[]> chunk(new char[kIoChunk]);
    BOOL ok = TRUE;
    size_t total = 0;
    for (;;) {
        ssize_t n = read(fd, chunk.get(), kIoChunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // An empty or unreadable file sends nothing and is a failure.
            if (n < 0 || total == 0) {
                SetErrorCode(KV_ERROR_INVALID_PARAMETER);
                ok = FALSE;
            }
            break;
        }
        total += (size_t)n;
        if (!Send(chunk.get(), (int)n)) {
            ok = FALSE;
            break;
        }
    }
    close(fd);
    return ok;
}

int KvSocketObj::Receive(void* buf, int size, int closeOnEnd) {
    if (!buf || size < 0) {
        SetErrorCode(KV_ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (m_hSocket == INVALID_SOCKET || size == 0) return 0;  // an empty read is not a peer close
    ssize_t n;
    do {
        n = recv(m_hSocket, buf, (size_t)size, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        SetSystemError(errno);
        return -1;
    }
    if (n < size) static_cast<char*>(buf)[n] = '\0';  // text callers may read it as a string
    if (n == 0 && closeOnEnd) DestroySocket();
    return (int)n;
}

int KvSocketObj::Receive(KvGenBuffer* buffer, int size, int closeOnEnd) {
    if (!buffer || size < 0) {
        SetErrorCode(KV_ERROR_INVALID_PARAMETER);
        return -1;
    }
    char* room = buffer->GetAddBuffer((size_t)size + 1);
    if (!room) {
        SetErrorCode(KV_WSAENOBUFS);
        return -1;
    }
    room[0] = '\0';
    int n = Receive(room, size, closeOnEnd);
    if (n > 0) {
        room[n] = '\0';
        buffer->ReleaseBuffer((size_t)n);
    }
    return n;
}

int KvSocketObj::ReceiveNow(KvGenBuffer* buffer, int size) {
    if (m_hSocket == INVALID_SOCKET || !buffer || size <= 0) return 0;
    char* room = buffer->GetAddBuffer((size_t)size + 1);
    if (!room) {
        SetErrorCode(KV_WSAENOBUFS);
        return -1;
    }
    ssize_t n;
    do {
        n = recv(m_hSocket, room, (size_t)size, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        SetSystemError(errno);
        return -1;
    }
    room[n] = '\0';
    if (n > 0) buffer->ReleaseBuffer((size_t)n);
    else DestroySocket();
    return (int)n;
}

int KvSocketObj::Receive(void* buf, int size, DWORD timeout, int* stop, int closeOnEnd) {
    int unused = 0;
    if (!stop) stop = &unused;
    std::atomic_ref<int> stopFlag(*stop);
    stopFlag.store(0);
    int64_t deadline = KvDeadlineAfter(timeout == INFINITE ? -1 : (int64_t)timeout);
    for (;;) {
        if (m_hSocket == INVALID_SOCKET) return 0;
        // The stop flag has no descriptor to wake us, so the wait is sliced.
        int64_t slice = KvDeadlineAfter(kStopFlagSliceMs);
        if (deadline >= 0 && deadline < slice) slice = deadline;
        KvWait w = KvSocketWait(m_hSocket, POLLIN, slice);
        if (w == KvWait::Ready) return Receive(buf, size, closeOnEnd);
        if (w == KvWait::Failed) {
            SetErrorCode(MapSystemError(errno));
            return -1;
        }
        if (w == KvWait::Stopped || (deadline >= 0 && KvNowMs() >= deadline)) {
            SetErrorCode(KV_WSAETIMEDOUT);
            return -1;
        }
        if (stopFlag.load() != 0) return 0;
    }
}

int KvSocketObj::Receive(KvGenBuffer* buffer, DWORD timeout, int* stop, int closeOnEnd) {
    if (!buffer) {
        SetErrorCode(KV_ERROR_INVALID_PARAMETER);
        return -1;
    }
    char* room = buffer->GetAddBuffer(kIoChunk + 1);
    if (!room) {
        SetErrorCode(KV_WSAENOBUFS);
        return -1;
    }
    int n = Receive(room, kIoChunk, timeout, stop, closeOnEnd);
    if (n > 0) {
        room[n] = '\0';
        buffer->ReleaseBuffer((size_t)n);
    }
    return n;
}

BOOL KvSocketObj::IsDataWaiting(int timeout) {
    if (m_hSocket == INVALID_SOCKET) return FALSE;
    KvWait w = KvSocketWait(m_hSocket, POLLIN, KvDeadlineAfter(timeout < 0 ? -1 : timeout));
    switch (w) {
    case KvWait::Ready: return TRUE;
    case KvWait::TimedOut: SetErrorCode(0); return FALSE;
    case KvWait::Stopped: SetErrorCode(KV_WSAETIMEDOUT); return FALSE;
    default: SetSystemError(errno); return FALSE;
    }
}

int KvSocketObj::GetDataWaitingSize(int timeout) {
    if (!IsDataWaiting(timeout)) return 0;
    int count = 0;
    if (ioctl(m_hSocket, FIONREAD, &count) != 0) {
        SetSystemError(errno);
        return 0;
    }
    return count;
}
