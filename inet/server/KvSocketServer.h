// KvSocketServer: a thread that listens on one TCP port, accepts
// connections and hands each to a request thread from a pool that grows on
// demand up to a cap.
//
// Use: configure with the setters, Create() (FALSE: the listen address
// could not be bound or listened on), Run() (the accept loop), and Kill()
// plus delete to stop. The server owns its request threads.
//
// Listen address: by default the loopback address; "" (or "*", "0.0.0.0")
// asks for every address. Port 0 takes an ephemeral port; GetBoundPort
// tells which. The accept loop never looks names up: the client address
// handed to a request is always the numeric text.
//
// Pool: a free thread is marked busy under m_csRequest when it is handed
// out. When m_nMaxBusyThreadCount threads are busy a new connection gets a
// short "503" answer and is closed (on a parking server it waits first, see
// below). A connection that is not served is
// always closed. Threads beyond the initial pool (or the keep-free count,
// when larger) that stay idle for the idle limit (a minute) end: the
// accept loop's wait has a deadline when the pool is above that size.
//
// Waiting connections (SetParkConnections): a connection gets a thread
// only once its request head is complete. Until then, and between the
// requests of a kept-alive connection, it waits in the server's epoll set
// (KvConnectionPark) without a thread: a head must be complete within the
// head time-out, an idle connection is closed after the request's time
// alive, and each client address may hold at most the per-client number
// of open connections.
//
// Room on a parking server: a connection whose head is complete while
// every thread is busy (and the pool at its cap) waits, without a thread,
// in a first-come queue; a thread whose run ends wakes the server, which
// hands it the first waiting connection. One that waits longer than the
// head time-out gets "503". A new connection of a client at its
// per-client limit, or one that finds the epoll set full or the process
// out of descriptors, first closes an idle kept-alive connection (of that
// client, for its limit), the one nearest its time-out; "503" only when
// there is none.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/platform/Collections.h"
#include "base/thread/KvCriticalObj.h"
#include "inet/net/KvSocketObj.h"
#include "inet/server/KvConnectionPark.h"
#include "inet/server/KvSocketThread.h"

class KvSocketRequest;

class KvSocketServer : public KvSocketThread {
    DECLARE_DYNCREATE(KvSocketServer)
public:
    KvSocketServer();
    ~KvSocketServer() override;

    short GetPort() const { return m_nPort; }
    void SetPort(short port) { m_nPort = port; }
    // The port actually listened on (the ephemeral one for port 0), 0 before start.
    UINT GetBoundPort() const { return m_nBoundPort; }
    const CString& GetListenAddress() const { return m_strListenAddress; }
    void SetListenAddress(const char* address) { m_strListenAddress = address; }
    UINT GetCompactPeriode() const { return m_nCompactPeriode; }
    void SetCompactPeriode(UINT ms) { m_nCompactPeriode = ms; }
    UINT GetMaxThreadCount() const { return m_nMaxThreadCount; }
    void SetMaxThreadCount(UINT n) { m_nMaxThreadCount = n; }
    UINT GetInitThreadCount() const { return m_nInitThreadCount; }
    void SetInitThreadCount(UINT n) { m_nInitThreadCount = n; }
    UINT GetKeepFreeThreadCount() const { return m_nKeepFreeThreadCount; }
    void SetKeepFreeThreadCount(UINT n) { m_nKeepFreeThreadCount = n; }
    // Most request threads serving at once; further connections get "503".
    UINT GetMaxBusyThreadCount() const { return m_nMaxBusyThreadCount; }
    void SetMaxBusyThreadCount(UINT n) { m_nMaxBusyThreadCount = n; }
    DWORD GetRequestTimeAlive() const { return m_nRequestTimeAlive; }
    void SetRequestTimeAlive(DWORD ms) { m_nRequestTimeAlive = ms; }
    BOOL IsRequestKeepAlive() const { return m_bRequestKeepAlive; }
    void SetRequestKeepAlive(BOOL keepAlive) { m_bRequestKeepAlive = keepAlive; }
    DWORD GetRecTimeOut() const { return m_nRecTimeOut; }
    void SetRecTimeOut(DWORD ms) { m_nRecTimeOut = ms; }
    CString GetIPAddress() const { return m_strIPAddress; }
    void GetIPAddress(CString& ip) const { ip = m_strIPAddress; }
    // The IPv4 address in network byte order, INADDR_NONE when not a number.
    DWORD GetIPAddress32() const;
    void SetIPAddress(const char* ip) { m_strIPAddress = ip; }
    const CString& GetHostName() const { return m_strHostName; }
    void SetHostName(const char* name) { m_strHostName = name; }
    void SetRTRequest(const CRuntimeClass* rt) { m_pRTRequest = rt; }
    BOOL GetCompact() const { return m_bCompact; }
    void SetCompact(BOOL compact) { m_bCompact = compact; }
    // How long a thread beyond the kept pool may stay idle before it ends (ms).
    DWORD GetIdleThreadLimit() const { return m_nIdleThreadLimit; }
    void SetIdleThreadLimit(DWORD ms) { m_nIdleThreadLimit = ms; }

    // Threads in the pool / threads now serving.
    int GetRequestThreadCount();
    int GetActiveRequestCount();

    // Connections wait for their heads in the epoll set (set before Create).
    BOOL IsParkConnections() const { return m_bParkConnections; }
    void SetParkConnections(BOOL park) { m_bParkConnections = park; }
    DWORD GetHeadTimeOut() const { return m_nHeadTimeOut; }
    void SetHeadTimeOut(DWORD ms) { m_nHeadTimeOut = ms; }
    // Most open connections of one client address (0: no limit).
    UINT GetMaxConnectionsPerClient() const { return m_nMaxPerClient; }
    void SetMaxConnectionsPerClient(UINT n) { m_nMaxPerClient = n; }
    // From a request thread: its connection, kept alive after an answer,
    // waits for the next request here (the server owns the socket now).
    void ParkConnection(SOCKET socket, std::string pending, const char* clientIp);
    // From a request thread: the connection it was handed has closed.
    void ClientLeft(const char* clientIp);
    // From a request thread whose run has ended (busy flag cleared): wakes
    // the server when connections wait for a thread.
    void ThreadFreed();

protected:
    BOOL OnInitThread() override;
    void OnRunThread() override;
    DWORD OnExitThread() override;
    // Accepts one pending connection; FALSE when none could be accepted.
    virtual BOOL OnAcceptConnection();
    // Hands the connection to a request thread; FALSE when none can be had
    // (the caller then refuses and closes the connection).
    virtual BOOL OnNewConnection(SOCKET socket, const char* hostName, const char* ipText);
    virtual KvSocketRequest* CreateNewRequestThread();

    // A free request thread, marked busy; null when the pool is at its cap
    // or no thread can be made.
    KvSocketRequest* FindFreeRequestThread();
    void DestroyAllRequestThreads();
    // Ends the threads that have been idle for the idle limit, down to the
    // kept pool. Called by the accept loop only, so no thread it ends can
    // be handed out meanwhile.
    void CompactRequestThread();
    // When the accept loop has to compact next (KvNowMs), -1 when the pool
    // is no larger than the kept size.
    int64_t NextCompactDeadline();
    UINT KeptThreadCount() const;
    // Sends a short "503" answer (without waiting) and closes the socket.
    void RefuseConnection(SOCKET socket);
    // Normalises the pool counts before the threads are made.
    void AdjustThreadCounts();
    // Accepts what is pending, up to a batch; FALSE when the listening
    // socket itself failed.
    BOOL AcceptPending();
    // The loop of a server whose connections wait in the epoll set.
    void RunParked();
    // Connections whose heads are complete, to free threads in their
    // order; "503" for those that waited past their deadline.
    void DispatchWaiting();
    void HandToThread(KvSocketRequest* request, KvConnectionPark::Ready& ready);
    // Counts a new connection of the address; FALSE when it has its most.
    BOOL ClientArrived(const char* clientIp);
    // Counts and parks a new connection, closing an idle one for room when
    // needed; FALSE when it has to be refused.
    BOOL AdmitParked(SOCKET socket, const char* clientIp);
    void ForgetClosed(const std::vector<CString>& closed);

    KvSocketObj m_socket;
    CString m_strHostName;
    CString m_strIPAddress;
    CString m_strListenAddress = "127.0.0.1";
    short m_nPort = 85;
    UINT m_nBoundPort = 0;
    DWORD m_nRecTimeOut = 180000;
    SOCKET m_hAccepted = INVALID_SOCKET;
    sockaddr m_addrAccepted{};
    CPtrList m_lstRequest;
    KvCriticalObj m_csRequest;
    DWORD m_nRequestTimeAlive = 180000;
    BOOL m_bRequestKeepAlive = FALSE;
    UINT m_nCompactPeriode = 600000;
    DWORD m_dwLastCompact = 0;
    UINT m_nInitThreadCount = 7;
    UINT m_nMaxThreadCount = 132;  // listen backlog
    UINT m_nKeepFreeThreadCount = 5;
    UINT m_nMaxBusyThreadCount = 256;
    BOOL m_bCompact = TRUE;
    DWORD m_nIdleThreadLimit = 60000;
    const CRuntimeClass* m_pRTRequest;
    BOOL m_bParkConnections = FALSE;
    bool m_bParking = false;  // this run's connections wait in m_park
    DWORD m_nHeadTimeOut = 30000;
    UINT m_nMaxPerClient = 0;
    KvConnectionPark m_park;
    struct WaitingForThread {
        KvConnectionPark::Ready ready;
        int64_t deadline;  // then "503"
    };
    std::deque<WaitingForThread> m_waiting;  // server thread only
    // Set while connections wait for a thread: a thread that comes free
    // then wakes the server (see ThreadFreed).
    std::atomic<bool> m_bThreadWanted{false};
    std::mutex m_mxClients;
    std::unordered_map<std::string, UINT> m_clients;  // open connections by address
};
