#include "inet/net/KvComObject.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/platform/FileIo.h"

IMPLEMENT_DYNAMIC(KvComObjectImp, CObject)
IMPLEMENT_DYNAMIC(KvComObject, CObject)

namespace {

constexpr int kFileChunk = 64 * 1024;

// The result of a file transfer is an int: a file beyond 2 GiB reports
// INT_MAX instead of a wrapped (negative, error-looking) count.
int ClampCount(int64_t total) { return total > INT_MAX ? INT_MAX : (int)total; }

}  // namespace

KvComObjectImp::~KvComObjectImp() { free(m_pszHost); }

void KvComObjectImp::StoreHost(const char* host, int port) {
    if (!host) host = "";
    size_t need = strlen(host) + 1;
    if (need > m_nHostSize) {
        char* grown = static_cast<char*>(realloc(m_pszHost, need));
        if (!grown) return;  // keeps the old name; the connect itself does not depend on it
        m_pszHost = grown;
        m_nHostSize = need;
    }
    memcpy(m_pszHost, host, need);
    m_nPort = port;
}

KvComObject::~KvComObject() {
    if (!m_pImp) return;
    m_pImp->Disconnect(0);
    if (m_bAutoDelete) delete m_pImp;
}

void KvComObject::Attach(KvComObjectImp* imp, int autoDelete) {
    if (m_pImp && m_bAutoDelete && m_pImp != imp) delete m_pImp;
    m_pImp = imp;
    m_bAutoDelete = autoDelete;
}

KvComObjectImp* KvComObject::Detach() {
    KvComObjectImp* imp = m_pImp;
    m_pImp = nullptr;
    m_bAutoDelete = TRUE;
    return imp;
}

int KvComObject::Connect(const char* host, int port) {
    return m_pImp ? m_pImp->Connect(host, port) : KV_COM_NO_IMP;
}

int KvComObject::Disconnect(int abortive) { return m_pImp ? m_pImp->Disconnect(abortive) : KV_COM_NO_IMP; }

int KvComObject::DataWaiting(int timeout) { return m_pImp ? m_pImp->DataWaiting(timeout) : KV_COM_NO_IMP; }

int KvComObject::Receive(char* buf, int size) { return m_pImp ? m_pImp->Receive(buf, size) : KV_COM_NO_IMP; }

int KvComObject::Send(const char* data, int length) {
    if (!m_pImp) return KV_COM_NO_IMP;
    if (length > 0) m_bSent = TRUE;
    return m_pImp->Send(data, length);
}

int KvComObject::SendBeforeMore(const char* data, int length) {
    if (!m_pImp) return KV_COM_NO_IMP;
    if (length > 0) m_bSent = TRUE;
    return m_pImp->SendBeforeMore(data, length);
}

int KvComObject::Send(const char* text) { return Send(text ? text : "", text ? (int)strlen(text) : 0); }

int KvComObject::ReceiveLine(char* buf, int size) {
    if (!m_pImp) return KV_COM_NO_IMP;
    if (!buf || size <= 0) return m_pImp->m_nErrorCode = KV_COM_INVALID;
    int stored = 0;
    int last = 0;
    while (stored < size - 1) {
        char ch;
        last = m_pImp->Receive(&ch, 1);
        if (last <= 0) break;
        if (ch == '\r') continue;
        if (ch == '\n') break;
        buf[stored++] = ch;
    }
    buf[stored] = '\0';
    return last < 0 ? last : stored;
}

int KvComObject::ReceiveFile(const char* path) {
    if (!m_pImp) return KV_COM_NO_IMP;
    int fd = path ? open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644) : -1;
    // Other writers are kept out while the file fills.
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        fd = -1;
    }
    if (fd < 0) return m_pImp->m_nErrorCode = KV_COM_INVALID;
    std::unique_ptr<char[]> chunk(new char[kFileChunk]);
    int64_t total = 0;
    int n;
    while ((n = m_pImp->Receive(chunk.get(), kFileChunk)) > 0) {
        if (!KvWriteAll(fd, chunk.get(), (size_t)n)) {
            close(fd);
            return m_pImp->m_nErrorCode = KV_COM_CLOSED;
        }
        total += n;
    }
    close(fd);
    return n < 0 ? n : ClampCount(total);
}

int KvComObject::SendFile(const char* path) {
    if (!m_pImp) return KV_COM_NO_IMP;
    int fd = path ? open(path, O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) return m_pImp->m_nErrorCode = KV_COM_SOCKET_FAILED;
    std::unique_ptr<char[]> chunk(new char[kFileChunk]);
    int64_t total = 0;
    int result = 0;
    for (;;) {
        ssize_t n = read(fd, chunk.get(), kFileChunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || (n == 0 && total == 0)) {
            result = m_pImp->m_nErrorCode = KV_COM_SOCKET_FAILED;  // unreadable or empty
            break;
        }
        if (n == 0) {
            result = ClampCount(total);
            break;
        }
        m_bSent = TRUE;
        int sent = m_pImp->Send(chunk.get(), (int)n);
        if (sent < 0) {
            result = sent;
            break;
        }
        total += n;
    }
    close(fd);
    return result;
}

int KvComObject::GetErrorCode() const { return m_pImp ? m_pImp->m_nErrorCode : KV_COM_NO_IMP; }

int KvComObject::SetErrorCode(int code) {
    if (!m_pImp) return KV_COM_NO_IMP;
    m_pImp->m_nErrorCode = code;
    return 0;
}

int KvComObject::GetTimeOut() const { return m_pImp ? m_pImp->m_nTimeOut : KV_COM_NO_IMP; }

int KvComObject::SetTimeOut(int ms) {
    if (!m_pImp) return KV_COM_NO_IMP;
    m_pImp->m_nTimeOut = ms;
    return 0;
}

BOOL KvComObject::IsValid() const { return m_pImp ? m_pImp->IsValid() : FALSE; }
