// KvSocketObj: handle life cycle, names, binding, listening, accepting and
// connecting. Sending and receiving live in KvSocketObjIo.cpp.
#include "inet/net/KvSocketObj.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "inet/net/KvResolver.h"
#include "inet/net/KvSocketWait.h"

IMPLEMENT_DYNAMIC(KvSocketObj, CObject)

std::atomic<long> KvSocketObj::m_ReferenceCount{0};

namespace {

constexpr int64_t kMaxConnectMs = 30000;

// The IPv4 text of an address, "" for anything else.
CString AddressText(const sockaddr* addr) {
    char text[INET6_ADDRSTRLEN] = "";
    if (addr->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(addr)->sin_addr, text, sizeof(text));
    } else if (addr->sa_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(addr)->sin6_addr, text, sizeof(text));
    }
    return CString(text);
}

}  // namespace

KvSocketObj::KvSocketObj() {
    if (m_ReferenceCount.fetch_add(1) == 0) StartWindowSocket();
}

KvSocketObj::KvSocketObj(SOCKET hSocket) : m_hSocket(hSocket) {
    if (m_ReferenceCount.fetch_add(1) == 0) StartWindowSocket();
}

KvSocketObj::~KvSocketObj() {
    DestroySocket();
    if (m_ReferenceCount.fetch_sub(1) == 1) StopWindowSocket();
}

// BSD sockets need no library start; the pair stays for callers that
// bracket their socket use with it.
BOOL KvSocketObj::StartWindowSocket() { return TRUE; }
void KvSocketObj::StopWindowSocket() {}

int KvSocketObj::MapSystemError(int err) {
    switch (err) {
    case 0: return 0;
    case EINTR: return KV_WSAEINTR;
    case EBADF: return KV_ERROR_INVALID_HANDLE;
    case EACCES: case EPERM: return KV_WSAEACCES;
    case EFAULT: return KV_WSAEFAULT;
    case EINVAL: return KV_WSAEINVAL;
    case EMFILE: case ENFILE: return KV_WSAEMFILE;
    case EAGAIN: return KV_WSAEWOULDBLOCK;
    case EINPROGRESS: return KV_WSAEINPROGRESS;
    case EALREADY: return KV_WSAEALREADY;
    case ENOTSOCK: return KV_WSAENOTSOCK;
    case EMSGSIZE: return KV_WSAEMSGSIZE;
    case EPROTONOSUPPORT: return KV_WSAEPROTONOSUPPORT;
    case EOPNOTSUPP: return KV_WSAEOPNOTSUPP;
    case EAFNOSUPPORT: return KV_WSAEAFNOSUPPORT;
    case EADDRINUSE: return KV_WSAEADDRINUSE;
    case EADDRNOTAVAIL: return KV_WSAEADDRNOTAVAIL;
    case ENETDOWN: return KV_WSAENETDOWN;
    case ENETUNREACH: return KV_WSAENETUNREACH;
    case ENETRESET: return KV_WSAENETRESET;
    case ECONNABORTED: return KV_WSAECONNABORTED;
    case ECONNRESET: case EPIPE: return KV_WSAECONNRESET;
    case ENOBUFS: case ENOMEM: return KV_WSAENOBUFS;
    case EISCONN: return KV_WSAEISCONN;
    case ENOTCONN: return KV_WSAENOTCONN;
    case ESHUTDOWN: return KV_WSAESHUTDOWN;
    case ETIMEDOUT: return KV_WSAETIMEDOUT;
    case ECONNREFUSED: return KV_WSAECONNREFUSED;
    case EHOSTDOWN: return KV_WSAEHOSTDOWN;
    case EHOSTUNREACH: return KV_WSAEHOSTUNREACH;
    default: return 10000 + err;  // keeps unknown errors distinct; they map to -999 above
    }
}

bool KvSocketObj::IsFatalError(int code) {
    switch (code) {
    case KV_WSAENETRESET: case KV_WSAECONNABORTED: case KV_WSAECONNRESET:
    case KV_WSAENOTCONN: case KV_WSAESHUTDOWN: case KV_WSAECONNREFUSED:
    case KV_WSAEHOSTUNREACH:
        return true;
    default:
        return false;
    }
}

void KvSocketObj::SetSystemError(int err) {
    SetErrorCode(MapSystemError(err));
    if (IsFatalError(m_nLastError)) DestroySocket();
}

BOOL KvSocketObj::Attach(SOCKET hSocket) {
    if (m_hSocket != INVALID_SOCKET) DestroySocket();
    m_hSocket = hSocket;
    return TRUE;
}

SOCKET KvSocketObj::Detach() {
    SOCKET s = m_hSocket;
    m_hSocket = INVALID_SOCKET;
    return s;
}

BOOL KvSocketObj::CreateSocket(int family, int type, int protocol) {
    if (m_hSocket != INVALID_SOCKET) return TRUE;
    SOCKET s = socket(family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (s < 0) {
        SetErrorCode(MapSystemError(errno));
        return FALSE;
    }
    m_hSocket = s;
    m_nFamily = family;
    m_nType = type;
    m_nProtocol = protocol;
    return TRUE;
}

BOOL KvSocketObj::CreateListeningSocket(UINT port, int type, const char* address) {
    KvResolvedAddress local;
    if (address && *address) {
        // A name's first IPv4 address, as ever; an IPv6 one when it has no
        // other, or when the text is an IPv6 number.
        std::vector<KvResolvedAddress> found;
        // Sockets are made to listen during a server thread's start-up,
        // before there is a run a stop request could end.
        if (KvResolveHost(address, port, found, KvDeadlineAfter(kMaxConnectMs), false) != KvResolveStatus::Found) {
            SetErrorCode(KV_WSAEINVAL);
            return FALSE;
        }
        local = found.front();
        for (const KvResolvedAddress& a : found) {
            if (a.family == AF_INET) {
                local = a;
                break;
            }
        }
    } else {
        auto* any = reinterpret_cast<sockaddr_in*>(&local.addr);
        any->sin_family = AF_INET;
        any->sin_port = htons((uint16_t)port);
        any->sin_addr.s_addr = htonl(INADDR_ANY);
        local.length = sizeof(sockaddr_in);
        local.family = AF_INET;
    }
    if (!CreateSocket(local.family, type, 0)) return FALSE;
    int on = 1;
    setsockopt(m_hSocket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    if (!Bind(reinterpret_cast<const sockaddr*>(&local.addr), (int)local.length)) {
        int error = m_nLastError;
        DestroySocket();
        SetErrorCode(error);
        return FALSE;
    }
    return TRUE;
}

void KvSocketObj::DestroySocket() {
    if (m_hSocket == INVALID_SOCKET) return;
    shutdown(m_hSocket, SHUT_WR);
    close(m_hSocket);
    m_hSocket = INVALID_SOCKET;
}

void KvSocketObj::Disconnect(int abortive) {
    if (m_hSocket == INVALID_SOCKET) return;
    if (!abortive) {
        shutdown(m_hSocket, SHUT_WR);
        // Reading what the peer still sends lets it see our end of stream
        // instead of a reset; bounded so a chatty or stalled peer cannot hold us.
        char sink[4096];
        int64_t deadline = KvDeadlineAfter(1000);
        for (size_t drained = 0; drained < 64 * 1024;) {
            if (KvSocketWait(m_hSocket, POLLIN, deadline) != KvWait::Ready) break;
            ssize_t n = recv(m_hSocket, sink, sizeof(sink), 0);
            if (n <= 0 && !(n < 0 && errno == EINTR)) break;
            if (n > 0) drained += (size_t)n;
        }
    }
    close(m_hSocket);
    m_hSocket = INVALID_SOCKET;
}

BOOL KvSocketObj::FindHost(const char* host, UINT port, sockaddr_in& out) {
    if (!host || !*host) {
        SetErrorCode(KV_WSAEINVAL);
        return FALSE;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((uint16_t)port);
    if (inet_pton(AF_INET, host, &addr.sin_addr) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        int rc = getaddrinfo(host, nullptr, &hints, &found);
        if (rc != 0 || !found) {
            SetErrorCode(KV_WSAEINVAL);  // a name that does not resolve
            return FALSE;
        }
        addr.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
        freeaddrinfo(found);
    }
    out = addr;
    return TRUE;
}

void KvSocketObj::ConfigureConnected(SOCKET s) {
    int on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

BOOL KvSocketObj::FinishConnect(int64_t deadlineMs) {
    switch (KvSocketWait(m_hSocket, POLLOUT, deadlineMs)) {
    case KvWait::Ready: break;
    case KvWait::Failed: SetErrorCode(MapSystemError(errno)); return FALSE;
    default: SetErrorCode(KV_WSAETIMEDOUT); return FALSE;  // time-out or stop request
    }
    int err = 0;
    socklen_t len = sizeof(err);
    if (getsockopt(m_hSocket, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
    SetErrorCode(MapSystemError(err));
    return err == 0;
}

BOOL KvSocketObj::Connect(const sockaddr* addr, int length) {
    if (m_hSocket == INVALID_SOCKET) {
        SetErrorCode(KV_ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!addr || length <= 0) {
        SetErrorCode(KV_WSAEFAULT);
        return FALSE;
    }
    int64_t limit = m_nTimeOut < kMaxConnectMs ? (int64_t)m_nTimeOut : kMaxConnectMs;
    int64_t deadline = KvDeadlineAfter(limit);
    int rc;
    do {
        rc = connect(m_hSocket, addr, (socklen_t)length);
    } while (rc != 0 && errno == EINTR);
    BOOL ok = rc == 0 || errno == EISCONN;
    if (!ok && errno == EINPROGRESS) ok = FinishConnect(deadline);
    else if (!ok) SetErrorCode(MapSystemError(errno));
    if (!ok) {
        // A socket whose connect failed cannot be reused for another attempt.
        DestroySocket();
        return FALSE;
    }
    SetErrorCode(0);
    ConfigureConnected(m_hSocket);
    return TRUE;
}

BOOL KvSocketObj::Connect(const char* host, UINT port) {
    if (m_hSocket == INVALID_SOCKET) {
        SetErrorCode(KV_ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!host || !*host) {
        SetErrorCode(KV_WSAEINVAL);
        return FALSE;
    }
    int64_t limit = m_nTimeOut < kMaxConnectMs ? (int64_t)m_nTimeOut : kMaxConnectMs;
    std::vector<KvResolvedAddress> found;
    switch (KvResolveHost(host, port, found, KvDeadlineAfter(limit))) {
    case KvResolveStatus::Found: break;
    case KvResolveStatus::NotFound: SetErrorCode(KV_WSAEINVAL); return FALSE;  // a name that does not resolve
    default: SetErrorCode(KV_WSAETIMEDOUT); return FALSE;                      // time-out or stop request
    }
    return ConnectAny(found);
}

BOOL KvSocketObj::ConnectAny(const std::vector<KvResolvedAddress>& found) {
    if (found.empty()) {
        SetErrorCode(KV_WSAEINVAL);
        return FALSE;
    }
    BOOL ok = FALSE;
    for (const KvResolvedAddress& a : found) {
        // Each address gets a socket of its own family (IPv4 or IPv6).
        if (m_hSocket != INVALID_SOCKET && m_nFamily != a.family) DestroySocket();
        if (m_hSocket == INVALID_SOCKET && !CreateSocket(a.family, m_nType, m_nProtocol)) break;
        ok = Connect(reinterpret_cast<const sockaddr*>(&a.addr), (int)a.length);
        if (ok || m_nLastError == KV_WSAETIMEDOUT) break;  // the deadline covers the whole connect
    }
    return ok;
}

BOOL KvSocketObj::Bind(const sockaddr* addr, int length) {
    if (m_hSocket == INVALID_SOCKET) {
        SetErrorCode(KV_ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!addr) {
        SetErrorCode(KV_WSAEFAULT);
        return FALSE;
    }
    socklen_t len = addr->sa_family == AF_INET ? sizeof(sockaddr_in) : (socklen_t)length;
    if (bind(m_hSocket, addr, len) != 0) {
        SetErrorCode(MapSystemError(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL KvSocketObj::Bind(short port, const char* address) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((uint16_t)port);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (address && inet_pton(AF_INET, address, &addr.sin_addr) != 1) {
        SetErrorCode(KV_WSAEINVAL);
        return FALSE;
    }
    return Bind(reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
}

BOOL KvSocketObj::Listen(int backlog) {
    if (m_hSocket == INVALID_SOCKET) {
        SetErrorCode(KV_ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (listen(m_hSocket, backlog) != 0) {
        SetErrorCode(MapSystemError(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL KvSocketObj::Accept(SOCKET& out, sockaddr& peer) {
    out = INVALID_SOCKET;
    if (m_hSocket == INVALID_SOCKET) {
        SetErrorCode(KV_ERROR_INVALID_HANDLE);
        return FALSE;
    }
    socklen_t len = sizeof(peer);
    SOCKET s;
    do {
        s = accept4(m_hSocket, &peer, &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (s < 0 && errno == EINTR);
    if (s < 0) {
        SetErrorCode(MapSystemError(errno));
        return FALSE;
    }
    ConfigureConnected(s);
    out = s;
    return TRUE;
}

BOOL KvSocketObj::GetHostAddress(sockaddr& peer, CString& hostName, CString& ipText, long& address) {
    CString text = AddressText(&peer);
    in_addr in{};
    if (peer.sa_family != AF_INET || inet_pton(AF_INET, text, &in) != 1) {
        SetErrorCode(KV_WSAEINVAL);
        return FALSE;
    }
    address = (long)in.s_addr;
    char name[NI_MAXHOST];
    int rc = getnameinfo(&peer, sizeof(sockaddr_in), name, sizeof(name), nullptr, 0, NI_NAMEREQD);
    if (rc != 0) {
        SetErrorCode(rc == EAI_SYSTEM ? MapSystemError(errno) : KV_WSAHOST_NOT_FOUND);
        return FALSE;
    }
    hostName = name;
    ipText = text;
    return TRUE;
}

BOOL KvSocketObj::GetPeerName(sockaddr* addr, int* length) {
    if (m_hSocket == INVALID_SOCKET || !addr || !length) return FALSE;
    socklen_t len = (socklen_t)*length;
    if (getpeername(m_hSocket, addr, &len) != 0) {
        SetErrorCode(MapSystemError(errno));
        return FALSE;
    }
    *length = (int)len;
    return TRUE;
}

BOOL KvSocketObj::GetPeerName(CString& ipText, short& port) {
    sockaddr_storage ss{};
    int len = sizeof(ss);
    if (!GetPeerName(reinterpret_cast<sockaddr*>(&ss), &len)) return FALSE;
    ipText = AddressText(reinterpret_cast<sockaddr*>(&ss));
    port = (short)ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
    return TRUE;
}

BOOL KvSocketObj::GetSockName(sockaddr* addr, int* length) {
    if (m_hSocket == INVALID_SOCKET || !addr || !length) return FALSE;
    socklen_t len = (socklen_t)*length;
    if (getsockname(m_hSocket, addr, &len) != 0) {
        SetErrorCode(MapSystemError(errno));
        return FALSE;
    }
    *length = (int)len;
    return TRUE;
}

BOOL KvSocketObj::GetSockName(CString& ipText, short& port) {
    sockaddr_storage ss{};
    int len = sizeof(ss);
    if (!GetSockName(reinterpret_cast<sockaddr*>(&ss), &len)) return FALSE;
    ipText = AddressText(reinterpret_cast<sockaddr*>(&ss));
    port = (short)ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
    return TRUE;
}

BOOL KvSocketObj::SetSockOpt(int option, const void* value, int length, int level) {
    if (m_hSocket == INVALID_SOCKET) return FALSE;
    if (setsockopt(m_hSocket, level, option, value, (socklen_t)length) != 0) {
        SetErrorCode(MapSystemError(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL KvSocketObj::GetSockOpt(int option, void* value, int* length, int level) {
    if (m_hSocket == INVALID_SOCKET || !length) return FALSE;
    socklen_t len = (socklen_t)*length;
    if (getsockopt(m_hSocket, level, option, value, &len) != 0) {
        SetErrorCode(MapSystemError(errno));
        return FALSE;
    }
    *length = (int)len;
    return TRUE;
}

CString KvSocketObj::GetErrorMsg() const {
    CString text;
    TranslateErrorCode(m_nLastError, text);
    return text;
}

BOOL KvSocketObj::GetMyName(CString& name) {
    char host[256] = "";
    if (gethostname(host, sizeof(host) - 1) != 0) return FALSE;
    name = host;
    return TRUE;
}

BOOL KvSocketObj::GetMyAddress(CString& address) {
    CString name;
    if (!GetMyName(name)) return FALSE;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || !found) return FALSE;
    address = AddressText(found->ai_addr);
    freeaddrinfo(found);
    return TRUE;
}

CString KvSocketObj::GetIPAddress(hostent* host) {
    if (!host || host->h_addrtype != AF_INET || !host->h_addr_list || !host->h_addr_list[0]) return CString();
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, host->h_addr_list[0], text, sizeof(text));
    return CString(text);
}

void KvSocketObj::TranslateTimeOut(int ms, timeval& tv) {
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
}
