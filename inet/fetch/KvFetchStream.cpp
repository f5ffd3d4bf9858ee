#include "inet/fetch/KvFetchStream.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "inet/fetch/KvTlsContext.h"
#include "inet/net/KvAddressKind.h"
#include "inet/net/KvResolver.h"
#include "inet/net/KvSocketObj.h"
#include "inet/net/KvSocketWait.h"

namespace {

CString TlsErrorText() {
    unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (!code) return "connection closed during the exchange";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

// The addresses of `host` outside this machine and its private networks.
bool ResolveOutside(const char* host, int port, int64_t deadline, std::vector<KvResolvedAddress>& out,
                    CString& error) {
    std::vector<KvResolvedAddress> found;
    const KvResolveStatus status = KvResolveHost(host, (unsigned)port, found, deadline);
    if (status != KvResolveStatus::Found) {
        error.Format("unable to connect to %s:%d (%s)", host, port,
                     status == KvResolveStatus::NotFound ? "the name has no address" : "time-out");
        return false;
    }
    for (const KvResolvedAddress& a : found) {
        if (!KvIsInternalAddress(reinterpret_cast<const sockaddr*>(&a.addr))) out.push_back(a);
    }
    if (out.empty()) error = KvInsideRefusal(host, found.front());
    return !out.empty();
}

bool IsIpAddress(const char* host) {
    unsigned char addr[16];
    return inet_pton(AF_INET, host, addr) == 1 || inet_pton(AF_INET6, host, addr) == 1;
}

}  // namespace

KvFetchStream::~KvFetchStream() { Close(); }

void KvFetchStream::Close() {
    if (m_ssl) {
        SSL_free(m_ssl);  // no close_notify: the answer is complete or abandoned
        m_ssl = nullptr;
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

CString KvInsideRefusal(const char* host, const KvResolvedAddress& address) {
    char ip[INET6_ADDRSTRLEN] = "?";
    const void* bytes = address.family == AF_INET6
                            ? (const void*)&reinterpret_cast<const sockaddr_in6*>(&address.addr)->sin6_addr
                            : (const void*)&reinterpret_cast<const sockaddr_in*>(&address.addr)->sin_addr;
    inet_ntop(address.family, bytes, ip, sizeof ip);
    CString text;
    text.Format("%s is inside this machine or a private network (%s); the sites do not download from there", host,
                ip);
    return text;
}

bool KvFetchStream::Connect(const char* host, int port, int64_t deadline, CString& error, bool outsideOnly) {
    Close();
    int64_t left = deadline - KvNowMs();
    if (left <= 0) {
        error = "time-out before connecting";
        return false;
    }
    std::vector<KvResolvedAddress> outside;
    if (outsideOnly && !ResolveOutside(host, port, deadline, outside, error)) return false;
    KvSocketObj socket;
    socket.SetTimeOut((DWORD)left);
    if (!socket.CreateSocket(AF_INET, SOCK_STREAM, 0) ||
        !(outsideOnly ? socket.ConnectAny(outside) : socket.Connect(host, (UINT)port))) {
        error.Format("unable to connect to %s:%d (socket error %d)", host, port, socket.GetErrorCode());
        return false;
    }
    m_fd = socket.Detach();
    return true;
}

bool KvFetchStream::Wait(short events, int64_t deadline, CString& error) {
    switch (KvSocketWait(m_fd, events, deadline)) {
    case KvWait::Ready: return true;
    case KvWait::TimedOut: error = "time-out"; return false;
    case KvWait::Stopped: error = "stopped"; return false;
    case KvWait::Failed: error.Format("poll failed: %s", std::strerror(errno)); return false;
    }
    return false;
}

bool KvFetchStream::WaitForTls(int rc, int64_t deadline, CString& error, const char* what) {
    switch (SSL_get_error(m_ssl, rc)) {
    case SSL_ERROR_WANT_READ: return Wait(POLLIN, deadline, error);
    case SSL_ERROR_WANT_WRITE: return Wait(POLLOUT, deadline, error);
    case SSL_ERROR_SYSCALL:
        error.Format("%s: %s", what, errno ? std::strerror(errno) : "connection closed");
        ERR_clear_error();
        return false;
    default:
        error.Format("%s: %s", what, TlsErrorText().c_str());
        return false;
    }
}

bool KvFetchStream::StartTls(const char* host, const char* caFile, int64_t deadline, CString& error) {
    SSL_CTX* ctx = KvTlsClientContext(caFile, error);
    if (!ctx) return false;
    m_ssl = SSL_new(ctx);
    SSL_CTX_free(ctx);  // the connection holds its own reference
    if (!m_ssl || !SSL_set_fd(m_ssl, m_fd)) {
        error = "unable to start TLS";
        return false;
    }
    if (IsIpAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), host);
    } else {
        SSL_set_tlsext_host_name(m_ssl, host);
        SSL_set1_host(m_ssl, host);
    }
    for (;;) {
        ERR_clear_error();
        errno = 0;
        int rc = SSL_connect(m_ssl);
        if (rc == 1) return true;
        long verify = SSL_get_verify_result(m_ssl);
        if (verify != X509_V_OK) {
            error.Format("certificate of %s not trusted: %s", host, X509_verify_cert_error_string(verify));
            ERR_clear_error();
            return false;
        }
        if (!WaitForTls(rc, deadline, error, "TLS handshake failed")) return false;
    }
}

bool KvFetchStream::WriteAll(const char* data, size_t length, int64_t deadline, CString& error) {
    while (length > 0) {
        int chunk = length > (1u << 30) ? (1 << 30) : (int)length;
        int n;
        if (m_ssl) {
            ERR_clear_error();
            errno = 0;
            n = SSL_write(m_ssl, data, chunk);
            if (n <= 0) {
                if (!WaitForTls(n, deadline, error, "TLS write failed")) return false;
                continue;
            }
        } else {
            n = (int)::send(m_fd, data, (size_t)chunk, MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    error.Format("send failed: %s", std::strerror(errno));
                    return false;
                }
                if (!Wait(POLLOUT, deadline, error)) return false;
                continue;
            }
        }
        data += n;
        length -= (size_t)n;
    }
    return true;
}

int KvFetchStream::Read(char* buf, int size, int64_t deadline, CString& error) {
    for (;;) {
        if (m_ssl) {
            ERR_clear_error();
            errno = 0;
            int n = SSL_read(m_ssl, buf, size);
            if (n > 0) return n;
            int why = SSL_get_error(m_ssl, n);
            // A peer that closes without close_notify ends the stream too:
            // the framing of the answer tells whether it came whole.
            if (why == SSL_ERROR_ZERO_RETURN || (why == SSL_ERROR_SYSCALL && errno == 0)) {
                ERR_clear_error();
                return 0;
            }
            if (why == SSL_ERROR_SSL && ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
                ERR_clear_error();
                return 0;
            }
            if (!WaitForTls(n, deadline, error, "TLS read failed")) return -1;
            continue;
        }
        ssize_t n = ::recv(m_fd, buf, (size_t)size, 0);
        if (n >= 0) return (int)n;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            error.Format("receive failed: %s", std::strerror(errno));
            return -1;
        }
        if (!Wait(POLLIN, deadline, error)) return -1;
    }
}
