// KvSocketObj: a thin object over one TCP socket descriptor.
//
// Results are TRUE/FALSE (or a byte count) and m_nLastError says why an
// operation failed, as a Windows Sockets error number (errno is mapped, see
// MapSystemError), so that callers and the error texts (string ids 15800 +
// error) keep one numbering on every platform.
//
// Every descriptor the object creates or accepts is non-blocking and
// close-on-exec; all waiting is done with poll on the socket and the calling
// thread's wake descriptor (KvSocketWait.h), so a stop request on the owning
// KvThread ends any wait at once. Sends never raise SIGPIPE. Connected
// sockets have Nagle's algorithm switched off.
//
// An object is used by one thread at a time.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "base/platform/CString.h"
#include "base/platform/Object.h"
#include "inet/net/KvResolver.h"

void KvSetLastSocketError(int error);  // KvLogError.h

class KvGenBuffer;
struct hostent;

typedef int SOCKET;
constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

// Error numbers kept in m_nLastError.
enum : int {
    KV_ERROR_INVALID_HANDLE = 6,
    KV_ERROR_INVALID_PARAMETER = 87,
    KV_WSAEINTR = 10004,
    KV_WSAEACCES = 10013,
    KV_WSAEFAULT = 10014,
    KV_WSAEINVAL = 10022,
    KV_WSAEMFILE = 10024,
    KV_WSAEWOULDBLOCK = 10035,
    KV_WSAEINPROGRESS = 10036,
    KV_WSAEALREADY = 10037,
    KV_WSAENOTSOCK = 10038,
    KV_WSAEMSGSIZE = 10040,
    KV_WSAEPROTONOSUPPORT = 10043,
    KV_WSAEOPNOTSUPP = 10045,
    KV_WSAEAFNOSUPPORT = 10047,
    KV_WSAEADDRINUSE = 10048,
    KV_WSAEADDRNOTAVAIL = 10049,
    KV_WSAENETDOWN = 10050,
    KV_WSAENETUNREACH = 10051,
    KV_WSAENETRESET = 10052,
    KV_WSAECONNABORTED = 10053,
    KV_WSAECONNRESET = 10054,
    KV_WSAENOBUFS = 10055,
    KV_WSAEISCONN = 10056,
    KV_WSAENOTCONN = 10057,
    KV_WSAESHUTDOWN = 10058,
    KV_WSAETIMEDOUT = 10060,
    KV_WSAECONNREFUSED = 10061,
    KV_WSAEHOSTDOWN = 10064,
    KV_WSAEHOSTUNREACH = 10065,
    KV_WSANOTINITIALISED = 10093,
    KV_WSAHOST_NOT_FOUND = 11001,
    KV_WSATRY_AGAIN = 11002,
    KV_WSANO_RECOVERY = 11003,
    KV_WSANO_DATA = 11004,
    KV_ERROR_RECEIVE_TIMEOUT = 25860,  // set by the connection layer on a receive time-out
};

// First string id of the socket error texts: id = KV_SOCKET_ERROR_TEXT_BASE + error.
constexpr unsigned KV_SOCKET_ERROR_TEXT_BASE = 15800;

class KvSocketObj : public CObject {
    DECLARE_DYNAMIC(KvSocketObj)
public:
    KvSocketObj();
    explicit KvSocketObj(SOCKET hSocket);
    ~KvSocketObj() override;
    KvSocketObj(const KvSocketObj&) = delete;
    KvSocketObj& operator=(const KvSocketObj&) = delete;

    // Handle ownership. Attach closes a handle already held.
    virtual BOOL Attach(SOCKET hSocket);
    virtual SOCKET Detach();

    virtual BOOL CreateSocket(int family = AF_INET, int type = SOCK_STREAM, int protocol = 0);
    // A socket bound to `port` on `address` (an IPv4 or IPv6 number, with
    // or without brackets, or a host name: its first address); null or ""
    // binds every IPv4 address. Does not listen.
    virtual BOOL CreateListeningSocket(UINT port, int type = SOCK_STREAM, const char* address = nullptr);
    // Shuts the sending direction and closes, without draining.
    virtual void DestroySocket();
    // abortive 0: shut the sending side, read and discard what the peer still
    // sends (at most 64 KiB or 1 s), then close. Otherwise close at once.
    virtual void Disconnect(int abortive = 0);

    // Non-blocking connect that waits for the outcome until the smaller of
    // the time-out (SetTimeOut) and 30 s; a stop request ends it.
    virtual BOOL Connect(const sockaddr* addr, int length);
    // Resolves `host` (a name, or an IPv4 or IPv6 number, IPv6 with or
    // without brackets) and tries each address in turn, a fresh socket of
    // the address's family each. A stop request ends the look-up at once
    // (10060, as a time-out).
    virtual BOOL Connect(const char* host, UINT port);
    // Tries each address in turn as Connect(host, port) does after its
    // look-up (10022 when there is none).
    BOOL ConnectAny(const std::vector<KvResolvedAddress>& addresses);
    // First IPv4 address of `host` (dotted number or name); 10022 when it
    // does not resolve.
    virtual BOOL FindHost(const char* host, UINT port, sockaddr_in& out);

    virtual BOOL Bind(const sockaddr* addr, int length);
    // Null address: every address; otherwise a dotted IPv4 number (10022 else).
    virtual BOOL Bind(short port, const char* address = nullptr);
    virtual BOOL Listen(int backlog = 5);

    // Sends everything, waiting for room while the peer reads; fails when the
    // time-out passes without progress (10060) or on a stop request.
    virtual BOOL Send(KvGenBuffer* buffer);
    virtual BOOL Send(CString& text);
    virtual BOOL Send(const void* data, int length);
    // As Send, with further send(2) flags (MSG_MORE: more follows at once,
    // so the kernel may join both into one segment).
    BOOL SendFlagged(const void* data, int length, int flags);
    virtual BOOL SendFile(const char* path);

    // Waiting receives: wait up to `timeout` ms for data (10060 and -1 when
    // none came), then receive once. `*stop` may be set by another thread:
    // the wait then ends with 0 (seen within 100 ms).
    virtual int Receive(KvGenBuffer* buffer, DWORD timeout, int* stop, int closeOnEnd = 1);
    // One receive of at most `size` bytes appended to the buffer, which is
    // zero-terminated behind them. -1 on failure (10055 when it cannot grow).
    virtual int Receive(KvGenBuffer* buffer, int size, int closeOnEnd = 1);
    virtual int Receive(void* buf, int size, DWORD timeout, int* stop, int closeOnEnd = 1);
    // One receive: the byte count, 0 (the peer closed; with closeOnEnd the
    // socket is closed) or -1 (m_nLastError; 10035 when nothing is there).
    virtual int Receive(void* buf, int size, int closeOnEnd = 1);
    // One receive into the buffer that never waits, whatever the socket's
    // mode: as Receive(buffer, size) (the socket closed when the peer did),
    // and -1 with 10035 when nothing has come yet.
    int ReceiveNow(KvGenBuffer* buffer, int size);

    // TRUE when the socket becomes readable within `timeout` ms (a closed or
    // failed connection counts as readable, the next receive reports it).
    // A plain time-out clears m_nLastError; a stop request sets 10060.
    virtual BOOL IsDataWaiting(int timeout = 0);
    virtual int GetDataWaitingSize(int timeout = 0);

    // Accepted sockets are non-blocking, close-on-exec, without Nagle.
    virtual BOOL Accept(SOCKET& out, sockaddr& peer);
    // Reverse look-up of a peer address; the strings are only set on success.
    virtual BOOL GetHostAddress(sockaddr& peer, CString& hostName, CString& ipText, long& address);

    BOOL GetPeerName(sockaddr* addr, int* length);
    BOOL GetPeerName(CString& ipText, short& port);
    BOOL GetSockName(sockaddr* addr, int* length);
    BOOL GetSockName(CString& ipText, short& port);
    BOOL SetSockOpt(int option, const void* value, int length, int level = SOL_SOCKET);
    BOOL GetSockOpt(int option, void* value, int* length, int level = SOL_SOCKET);

    BOOL IsValid() const { return m_hSocket != INVALID_SOCKET; }
    BOOL IsBroken() const { return m_hSocket == INVALID_SOCKET; }
    SOCKET GetHandle() const { return m_hSocket; }
    int GetErrorCode() const { return m_nLastError; }
    // Also records the error for the calling thread, so a diagnostic log
    // line's %E names the error this connection actually met.
    void SetErrorCode(int code) {
        m_nLastError = code;
        if (code != 0) KvSetLastSocketError(code);
    }
    CString GetErrorMsg() const;

    // Time-out (ms) for sends without progress and for connects (capped at
    // 30 s there). The connection layer sets its receive time-out here.
    DWORD GetTimeOut() const { return m_nTimeOut; }
    void SetTimeOut(DWORD ms) { m_nTimeOut = ms; }

    static BOOL StartWindowSocket();
    static void StopWindowSocket();
    static BOOL GetMyName(CString& name);
    static BOOL GetMyAddress(CString& address);
    static CString GetIPAddress(hostent* host);
    static void TranslateErrorCode(int code, CString& text);
    static void TranslateTimeOut(int ms, timeval& tv);
    static int CancelBlockingCall() { return 0; }
    static BOOL IsBlocking() { return FALSE; }
    // The Windows Sockets number for a system errno.
    static int MapSystemError(int err);
    // Errors after which the connection is unusable: the socket is closed.
    static bool IsFatalError(int code);
    static long GetReferenceCount() { return m_ReferenceCount.load(); }

protected:
    // Stores the mapped errno; a fatal error closes the socket.
    void SetSystemError(int err);
    // Waits for the outcome of a connect in progress.
    BOOL FinishConnect(int64_t deadlineMs);
    static void ConfigureConnected(SOCKET s);

    SOCKET m_hSocket = INVALID_SOCKET;
    int m_nLastError = 0;
    DWORD m_nTimeOut = 180000;
    int m_nFamily = AF_INET;  // remembered so Connect can renew the socket per address
    int m_nType = SOCK_STREAM;
    int m_nProtocol = 0;
    static std::atomic<long> m_ReferenceCount;
};
