#include "inet/server/KvSocketServer.h"

#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <vector>

#include "inet/net/KvSocketWait.h"
#include "inet/server/KvSocketRequest.h"

IMPLEMENT_DYNCREATE(KvSocketServer, KvSocketThread)

namespace {

constexpr int kAcceptBackOffMs = 100;   // pause while the process is out of descriptors
constexpr int kAcceptsPerWake = 64;     // then the stop flag is looked at again
constexpr int kIdleWaitMs = 100;        // only without a wake descriptor
constexpr int64_t kCompactFloorMs = 50; // least wait between two looks at the pool

const char kBusyAnswer[] =
    "HTTP/1.0 503 Service Unavailable\r\n"
    "Content-Type: text/plain\r\n"
    "Content-Length: 20\r\n"
    "Connection: close\r\n"
    "\r\n"
    "Server is too busy\r\n";

// "" , "*" and "0.0.0.0" ask for every address (null for the socket layer).
const char* BindAddressOf(const CString& address) {
    if (address.IsEmpty() || address == "*" || address == "0.0.0.0") return nullptr;
    return address.c_str();
}

}  // namespace

KvSocketServer::KvSocketServer() : m_pRTRequest(RUNTIME_CLASS(KvSocketRequest)) {}

KvSocketServer::~KvSocketServer() {
    Kill();
    DestroyAllRequestThreads();
}

DWORD KvSocketServer::GetIPAddress32() const { return (DWORD)inet_addr(m_strIPAddress.c_str()); }

void KvSocketServer::AdjustThreadCounts() {
    if (m_nMaxThreadCount < 5) m_nMaxThreadCount = 5;
    if (m_nInitThreadCount > m_nMaxThreadCount) m_nInitThreadCount = m_nMaxThreadCount - 2;
    if (m_nKeepFreeThreadCount > m_nInitThreadCount + 2) m_nKeepFreeThreadCount = m_nInitThreadCount + 2;
}

BOOL KvSocketServer::OnInitThread() {
    if (!KvSocketThread::OnInitThread()) return FALSE;
    if (!m_socket.CreateListeningSocket((UINT)(uint16_t)m_nPort, SOCK_STREAM, BindAddressOf(m_strListenAddress))) {
        return FALSE;
    }
    CString boundIp;
    short boundPort = 0;
    m_socket.GetSockName(boundIp, boundPort);
    m_nBoundPort = (uint16_t)boundPort;
    if (!KvSocketObj::GetMyAddress(m_strIPAddress)) m_strIPAddress = boundIp;
    if (!KvSocketObj::GetMyName(m_strHostName)) m_strHostName.Empty();
    AdjustThreadCounts();
    if (!m_socket.Listen((int)m_nMaxThreadCount)) {
        m_socket.DestroySocket();
        return FALSE;
    }
    m_bParking = false;
    if (m_bParkConnections && m_park.Open(m_socket.GetHandle(), GetWakeFd())) {
        m_park.SetTimeOuts((int)m_nHeadTimeOut, (int)m_nRequestTimeAlive);
        m_bParking = true;
    }
    for (UINT i = 0; i < m_nInitThreadCount; i++) {
        if (!CreateNewRequestThread()) break;
    }
    m_dwLastCompact = (DWORD)KvNowMs();
    return TRUE;
}

void KvSocketServer::OnRunThread() {
    if (m_bParking) {
        RunParked();
        return;
    }
    bool wakeable = GetWakeFd() >= 0;
    while (IsRunning() && m_socket.IsValid()) {
        int64_t compactAt = NextCompactDeadline();
        int64_t deadline = compactAt;
        if (!wakeable && (deadline < 0 || deadline > KvDeadlineAfter(kIdleWaitMs))) deadline = KvDeadlineAfter(kIdleWaitMs);
        KvWait w = KvSocketWait(m_socket.GetHandle(), POLLIN, deadline);
        if (w == KvWait::Stopped || w == KvWait::Failed) break;
        if (compactAt >= 0 && KvNowMs() >= compactAt) CompactRequestThread();
        if (w == KvWait::TimedOut) continue;
        if (!AcceptPending()) return;
    }
}

BOOL KvSocketServer::AcceptPending() {
    for (int i = 0; i < kAcceptsPerWake && IsRunning(); i++) {
        if (OnAcceptConnection()) continue;
        int error = m_socket.GetErrorCode();
        if (error == KV_WSAEWOULDBLOCK) break;  // nothing more pending
        if (error == KV_WSAEMFILE || error == KV_WSAENOBUFS) {
            std::vector<CString> closed;
            if (m_bParking && m_park.MakeRoom(closed)) {
                // Out of descriptors: a waiting connection gives up its own
                // for the new one (an idle one first).
                ForgetClosed(closed);
                continue;
            }
            // Out of descriptors or memory: the connection stays queued;
            // give the requests time to close some instead of spinning.
            KvWaitForStop(kAcceptBackOffMs);
            break;
        }
        if (error == KV_ERROR_INVALID_HANDLE || error == KV_WSAEINVAL || error == KV_WSAENOTSOCK) {
            return FALSE;  // the listening socket itself failed
        }
        // A connection that died before it was accepted: keep going.
    }
    return TRUE;
}

void KvSocketServer::RunParked() {
    const bool wakeable = GetWakeFd() >= 0;
    while (IsRunning() && m_socket.IsValid()) {
        int64_t compactAt = NextCompactDeadline();
        int64_t deadline = compactAt;
        if (!m_waiting.empty() && (deadline < 0 || m_waiting.front().deadline < deadline)) {
            deadline = m_waiting.front().deadline;
        }
        if (!wakeable && (deadline < 0 || deadline > KvDeadlineAfter(kIdleWaitMs))) deadline = KvDeadlineAfter(kIdleWaitMs);
        KvConnectionPark::Events events;
        KvWait w = m_park.Wait(deadline, events);
        ForgetClosed(events.closed);
        for (KvConnectionPark::Ready& ready : events.ready) {
            m_waiting.push_back({std::move(ready), KvNowMs() + (int64_t)m_nHeadTimeOut});
        }
        DispatchWaiting();
        if (w == KvWait::Stopped || w == KvWait::Failed) break;
        if (compactAt >= 0 && KvNowMs() >= compactAt) CompactRequestThread();
        if (events.listenReady && !AcceptPending()) return;
    }
}

void KvSocketServer::DispatchWaiting() {
    while (!m_waiting.empty()) {
        KvSocketRequest* request = FindFreeRequestThread();
        if (!request) {
            // Every thread is busy: ask the next one to end its run for a
            // wake-up, then look once more, for one that ended before it
            // could see the request (both sides use sequentially consistent
            // flags, so one of them sees the other).
            m_bThreadWanted.store(true);
            request = FindFreeRequestThread();
            if (!request) break;
        }
        HandToThread(request, m_waiting.front().ready);
        m_waiting.pop_front();
    }
    if (m_waiting.empty()) m_bThreadWanted.store(false);
    // The last resort: a request that found no thread within its time.
    const int64_t now = KvNowMs();
    while (!m_waiting.empty() && m_waiting.front().deadline <= now) {
        RefuseConnection(m_waiting.front().ready.fd);
        ClientLeft(m_waiting.front().ready.clientIp.c_str());
        m_waiting.pop_front();
    }
}

void KvSocketServer::ThreadFreed() {
    if (m_bParking && m_bThreadWanted.load()) m_park.Nudge();
}

void KvSocketServer::HandToThread(KvSocketRequest* request, KvConnectionPark::Ready& ready) {
    request->SetRequestID((UINT)ready.fd);
    request->SetPending(std::move(ready.pending));
    request->SetCounted(true);
    request->SetHostIPAddr(m_strIPAddress);
    request->SetClientIPAddr(ready.clientIp.c_str());
    request->SetTimeAlive(m_nRequestTimeAlive);
    request->SetKeepAlive(m_bRequestKeepAlive);
    request->SetTimeOut(m_nRecTimeOut);
    request->SetSocketServer(this);
    request->Run();
}

void KvSocketServer::ParkConnection(SOCKET socket, std::string pending, const char* clientIp) {
    m_park.HandBack(socket, std::move(pending), clientIp);
}

void KvSocketServer::ForgetClosed(const std::vector<CString>& closed) {
    for (const CString& ip : closed) ClientLeft(ip.c_str());
}

BOOL KvSocketServer::AdmitParked(SOCKET socket, const char* clientIp) {
    std::vector<CString> closed;
    // A browser at its limit that still holds idle connections wants a new
    // one more than it wants those: one of its idle ones makes room.
    if (!ClientArrived(clientIp)) {
        if (!m_park.CloseIdle(clientIp, closed)) return FALSE;
        ForgetClosed(closed);
        closed.clear();
        if (!ClientArrived(clientIp)) return FALSE;
    }
    if (m_park.IsFull() && !m_park.CloseIdle(nullptr, closed)) {
        ClientLeft(clientIp);
        return FALSE;
    }
    ForgetClosed(closed);
    m_park.AddFresh(socket, clientIp);  // a thread only once its head is complete
    return TRUE;
}

BOOL KvSocketServer::ClientArrived(const char* clientIp) {
    std::lock_guard<std::mutex> lock(m_mxClients);
    UINT& open = m_clients[clientIp ? clientIp : ""];
    if (m_nMaxPerClient && open >= m_nMaxPerClient) {
        if (open == 0) m_clients.erase(clientIp ? clientIp : "");
        return FALSE;
    }
    ++open;
    return TRUE;
}

void KvSocketServer::ClientLeft(const char* clientIp) {
    std::lock_guard<std::mutex> lock(m_mxClients);
    auto it = m_clients.find(clientIp ? clientIp : "");
    if (it == m_clients.end()) return;
    if (--it->second == 0) m_clients.erase(it);
}

DWORD KvSocketServer::OnExitThread() {
    m_socket.DestroySocket();
    DestroyAllRequestThreads();
    m_park.CloseAll();  // after the threads: none can hand a connection back now
    for (WaitingForThread& waiting : m_waiting) close(waiting.ready.fd);
    m_waiting.clear();
    m_bThreadWanted.store(false);
    {
        std::lock_guard<std::mutex> lock(m_mxClients);
        m_clients.clear();
    }
    return KvSocketThread::OnExitThread();
}

BOOL KvSocketServer::OnAcceptConnection() {
    if (!m_socket.Accept(m_hAccepted, m_addrAccepted)) return FALSE;
    // Always the numeric address: a reverse look-up here would stall every
    // other client behind a slow name server.
    char ipText[INET6_ADDRSTRLEN] = "";
    if (m_addrAccepted.sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&m_addrAccepted)->sin_addr, ipText, sizeof(ipText));
    } else if (m_addrAccepted.sa_family == AF_INET6) {
        // The accepted address is cut to a plain sockaddr: ask for the whole one.
        sockaddr_in6 peer{};
        socklen_t length = sizeof peer;
        if (getpeername(m_hAccepted, reinterpret_cast<sockaddr*>(&peer), &length) == 0) {
            inet_ntop(AF_INET6, &peer.sin6_addr, ipText, sizeof(ipText));
        }
    }
    if (!OnNewConnection(m_hAccepted, "", ipText)) RefuseConnection(m_hAccepted);
    m_hAccepted = INVALID_SOCKET;
    return TRUE;
}

BOOL KvSocketServer::OnNewConnection(SOCKET socket, const char* /*hostName*/, const char* ipText) {
    if (m_bParking) return AdmitParked(socket, ipText);
    KvSocketRequest* request = FindFreeRequestThread();
    if (!request) return FALSE;
    assert(request->IsBusy());  // handed out under the pool lock, to this connection only
    request->SetRequestID((UINT)socket);
    request->SetHostIPAddr(m_strIPAddress);
    request->SetClientIPAddr(ipText);
    request->SetTimeAlive(m_nRequestTimeAlive);
    request->SetKeepAlive(m_bRequestKeepAlive);
    request->SetTimeOut(m_nRecTimeOut);
    request->SetSocketServer(this);
    request->Run();
    return TRUE;
}

void KvSocketServer::RefuseConnection(SOCKET socket) {
    if (socket == INVALID_SOCKET) return;
    // Never waits: the server thread must go back to accepting at once.
    ssize_t sent = send(socket, kBusyAnswer, sizeof(kBusyAnswer) - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    (void)sent;
    shutdown(socket, SHUT_WR);
    // Unread request bytes would turn the close into a reset that can
    // destroy the answer on its way; take what has already arrived.
    char sink[4096];
    for (int i = 0; i < 16 && recv(socket, sink, sizeof(sink), MSG_DONTWAIT) > 0; i++) {
    }
    close(socket);
}

KvSocketRequest* KvSocketServer::FindFreeRequestThread() {
    assert(IsOwnThread() || !IsAlive());  // only the accept loop hands threads out
    KvCriticalLock lock(m_csRequest);
    for (POSITION pos = m_lstRequest.GetHeadPosition(); pos;) {
        auto* request = static_cast<KvSocketRequest*>(m_lstRequest.GetNext(pos));
        if (!request->IsBusy()) {
            request->SetBusy(true);
            return request;
        }
    }
    // Every thread is busy: grow the pool unless it is at its cap.
    if ((UINT)m_lstRequest.GetCount() >= m_nMaxBusyThreadCount) return nullptr;
    KvSocketRequest* request = CreateNewRequestThread();
    if (request) request->SetBusy(true);
    return request;
}

KvSocketRequest* KvSocketServer::CreateNewRequestThread() {
    if (!m_pRTRequest) return nullptr;
    CObject* object = m_pRTRequest->CreateObject();
    if (!object) return nullptr;
    if (!object->IsKindOf(RUNTIME_CLASS(KvSocketRequest))) {
        delete object;
        return nullptr;
    }
    auto* request = static_cast<KvSocketRequest*>(object);
    if (!request->Create(INFINITE)) {
        delete request;
        return nullptr;
    }
    KvCriticalLock lock(m_csRequest);
    m_lstRequest.AddTail(request);
    return request;
}

void KvSocketServer::DestroyAllRequestThreads() {
    // Taken out of the pool under the lock but stopped outside it, so a
    // request that asks the server for its counts while ending cannot deadlock.
    std::vector<KvSocketRequest*> requests;
    {
        KvCriticalLock lock(m_csRequest);
        requests.reserve((size_t)m_lstRequest.GetCount());
        for (POSITION pos = m_lstRequest.GetHeadPosition(); pos;) {
            requests.push_back(static_cast<KvSocketRequest*>(m_lstRequest.GetNext(pos)));
        }
        m_lstRequest.RemoveAll();
    }
    for (KvSocketRequest* request : requests) request->RequestStop();  // all stop at once
    for (KvSocketRequest* request : requests) {
        request->Kill();
        delete request;
    }
}

UINT KvSocketServer::KeptThreadCount() const { return std::max(m_nInitThreadCount, m_nKeepFreeThreadCount); }

int64_t KvSocketServer::NextCompactDeadline() {
    if (!m_bCompact) return -1;
    KvCriticalLock lock(m_csRequest);
    if ((UINT)m_lstRequest.GetCount() <= KeptThreadCount()) return -1;
    int64_t now = KvNowMs();
    int64_t earliest = now + (int64_t)m_nIdleThreadLimit;  // a busy thread's, should it end now
    for (POSITION pos = m_lstRequest.GetHeadPosition(); pos;) {
        auto* request = static_cast<KvSocketRequest*>(m_lstRequest.GetNext(pos));
        if (!request->IsBusy()) earliest = std::min(earliest, request->GetIdleSince() + (int64_t)m_nIdleThreadLimit);
    }
    // Threads that end their runs meanwhile are seen at the next look.
    return std::max(earliest, now + kCompactFloorMs);
}

void KvSocketServer::CompactRequestThread() {
    assert(IsOwnThread() || !IsAlive());  // no thread it ends can be handed out meanwhile
    if (!m_bCompact) return;
    // Taken out of the pool under the lock, stopped outside it (as in
    // DestroyAllRequestThreads).
    std::vector<KvSocketRequest*> idle;
    {
        KvCriticalLock lock(m_csRequest);
        int64_t now = KvNowMs();
        for (POSITION pos = m_lstRequest.GetHeadPosition(); pos;) {
            if ((UINT)m_lstRequest.GetCount() <= KeptThreadCount()) break;
            POSITION at = pos;
            auto* request = static_cast<KvSocketRequest*>(m_lstRequest.GetNext(pos));
            if (request->IsBusy() || now - request->GetIdleSince() < (int64_t)m_nIdleThreadLimit) continue;
            m_lstRequest.RemoveAt(at);
            idle.push_back(request);
        }
    }
    for (KvSocketRequest* request : idle) {
        request->Kill();
        delete request;
    }
}

int KvSocketServer::GetRequestThreadCount() {
    KvCriticalLock lock(m_csRequest);
    return m_lstRequest.GetCount();
}

int KvSocketServer::GetActiveRequestCount() {
    KvCriticalLock lock(m_csRequest);
    int busy = 0;
    for (POSITION pos = m_lstRequest.GetHeadPosition(); pos;) {
        if (static_cast<KvSocketRequest*>(m_lstRequest.GetNext(pos))->IsBusy()) busy++;
    }
    return busy;
}
