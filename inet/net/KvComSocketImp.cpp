#include "inet/net/KvComSocketImp.h"

#include <poll.h>

#include <cerrno>
#include <cstring>

#include "inet/net/KvSocketWait.h"

IMPLEMENT_DYNAMIC(KvComSocketImp, KvComObjectImp)

namespace {

constexpr int kReceiveChunk = 64 * 1024;

}  // namespace

KvComSocketImp::KvComSocketImp() : m_bufReceive(4096) {}

KvComSocketImp::KvComSocketImp(SOCKET hSocket) : m_socket(hSocket), m_bufReceive(4096) {}

int KvComSocketImp::ConvertErrorCode() {
    int code;
    switch (m_socket.GetErrorCode()) {
    case 0: code = KV_COM_OK; break;
    case KV_ERROR_INVALID_PARAMETER: code = KV_COM_INVALID; break;
    case KV_WSAEINPROGRESS: code = KV_COM_IN_PROGRESS; break;
    case KV_WSAENETRESET: case KV_WSAECONNABORTED: case KV_WSAECONNRESET:
    case KV_WSAENOTCONN: case KV_WSAESHUTDOWN:
        code = KV_COM_CLOSED;
        break;
    case KV_WSAETIMEDOUT: code = KV_COM_TIMEOUT; break;
    default: code = KV_COM_OTHER; break;
    }
    return m_nErrorCode = code;
}

int KvComSocketImp::Connect(const char* host, int port) {
    m_bufReceive.Empty();
    StoreHost(host, port);
    // A connect always means a new connection: a socket still connected to
    // the previous host would otherwise report "already connected" as success.
    if (m_socket.IsValid()) m_socket.Disconnect(1);
    if (!m_socket.CreateSocket(AF_INET, SOCK_STREAM, 0)) {
        return m_nErrorCode = KV_COM_SOCKET_FAILED;
    }
    m_socket.SetTimeOut((DWORD)m_nTimeOut);  // -1 is INFINITE
    if (!m_socket.Connect(host, (UINT)port)) return m_nErrorCode = KV_COM_CONNECT_FAILED;
    return m_nErrorCode = KV_COM_OK;
}

int KvComSocketImp::Disconnect(int abortive) {
    m_bufReceive.Empty();
    m_socket.Disconnect(abortive);
    return 0;
}

int KvComSocketImp::DataWaiting(int timeout) {
    int buffered = (int)m_bufReceive.GetCount();
    if (buffered > 0) return buffered;
    if (!m_socket.IsValid()) return m_nErrorCode = KV_COM_CLOSED;
    if (timeout == 0) {
        // A look without a wait is a read without a wait: one call, and
        // what came is kept for the next Receive.
        int n = ReceiveNow();
        if (n != kNothingYet) return n;
        m_bNothingYet = true;
        return 0;
    }
    if (m_socket.IsDataWaiting(timeout)) return ReceiveToInternalBuffer();
    return ConvertErrorCode();
}

int KvComSocketImp::ReceiveNow() {
    m_socket.SetErrorCode(0);
    int n = m_socket.ReceiveNow(&m_bufReceive, kReceiveChunk);
    if (n > 0) return n;
    if (n < 0 && m_socket.GetErrorCode() == KV_WSAEWOULDBLOCK) {
        m_socket.SetErrorCode(0);
        return kNothingYet;
    }
    return ConvertErrorCode();  // 0 when the peer closed
}

int KvComSocketImp::ReceiveToInternalBuffer() {
    if (!m_socket.IsValid()) return m_nErrorCode = KV_COM_CLOSED;
    // Bytes that have arrived, or the peer's close, are taken without a
    // wait; the wait comes only when a read finds nothing (and is not
    // tried again right after a look that found nothing).
    if (!m_bNothingYet) {
        int n = ReceiveNow();
        if (n != kNothingYet) return n;
    }
    m_bNothingYet = false;
    int64_t deadline = KvDeadlineAfter(m_nTimeOut);  // negative (INFINITE): no deadline
    switch (KvSocketWait(m_socket.GetHandle(), POLLIN, deadline)) {
    case KvWait::Ready: break;
    case KvWait::TimedOut:
        m_socket.SetErrorCode(KV_ERROR_RECEIVE_TIMEOUT);
        return m_nErrorCode = KV_COM_TIMEOUT;
    case KvWait::Stopped:
        return KV_COM_TIMEOUT;
    case KvWait::Failed:
        m_socket.SetErrorCode(KvSocketObj::MapSystemError(errno));
        return ConvertErrorCode();
    }
    // An error left from an earlier time-out must not colour a clean close.
    m_socket.SetErrorCode(0);
    int n = m_socket.Receive(&m_bufReceive, kReceiveChunk, TRUE);
    if (n <= 0) return ConvertErrorCode();
    return n;
}

int KvComSocketImp::Receive(char* buf, int size) {
    if (!buf || size < 0) return m_nErrorCode = KV_COM_INVALID;
    if (size == 0) return 0;
    if (m_bufReceive.IsEmpty()) {
        int r = ReceiveToInternalBuffer();
        if (r < 0 && m_bufReceive.IsEmpty()) return r;
    }
    return (int)m_bufReceive.Read(buf, (size_t)size);
}

int KvComSocketImp::SendBeforeMore(const char* data, int length) {
    if (!m_socket.IsValid()) return m_nErrorCode = KV_COM_CLOSED;
    m_socket.SetTimeOut((DWORD)m_nTimeOut);
    if (m_socket.SendFlagged(data, length, MSG_MORE)) return length;
    return ConvertErrorCode();
}

int KvComSocketImp::Send(const char* data, int length) {
    if (!m_socket.IsValid()) return m_nErrorCode = KV_COM_CLOSED;
    m_socket.SetTimeOut((DWORD)m_nTimeOut);  // -1 is INFINITE
    if (m_socket.Send(data, length)) return length;
    return ConvertErrorCode();
}
