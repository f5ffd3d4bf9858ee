// KvSocketRequest: a pooled thread that serves one accepted connection at a
// time.
//
// The server hands it a connection (SetRequestID and the other setters,
// then Run). One run: InitState, then DispatchRequest while the client
// keeps the connection alive, then CloseConnections. Derived classes
// override DispatchRequest (one request per call) and may override
// InitState (calling the base first).
//
// On a server whose connections wait in its epoll set, a kept-alive
// connection goes back to the server after each answer unless its next
// request head is there at once (KvSocketServer::ParkConnection); the
// next thread to serve it starts with the bytes already read (SetPending).
//
// The busy flag is set by the server (under its pool lock) when it hands
// the thread out and cleared by the thread when its run has ended, so a
// thread is never given two connections.
//
// An exception that escapes DispatchRequest ends the connection, not the
// thread: it is logged as an Error line, the client gets a short "500"
// answer when nothing of an answer was sent yet, and the run's clean-up
// (both connections closed, the busy flag cleared) happens as on any
// other path.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "base/platform/CString.h"
#include "inet/net/KvComObject.h"
#include "inet/net/KvSocketObj.h"
#include "inet/server/KvSocketThread.h"

class KvSocketServer;

class KvSocketRequest : public KvSocketThread {
    DECLARE_DYNCREATE(KvSocketRequest)
public:
    KvSocketRequest();
    // Kills the thread; a connection handed out but never served is closed.
    ~KvSocketRequest() override;

    UINT GetRequestID() const { return m_nRequestID; }
    // Hands the accepted socket to the request; it owns it from now on.
    void SetRequestID(UINT socket);
    DWORD GetTimeAlive() const { return m_nTimeAlive; }
    void SetTimeAlive(DWORD ms) { m_nTimeAlive = ms; }
    DWORD GetTimeOut() const { return m_nTimeOut; }
    void SetTimeOut(DWORD ms) { m_nTimeOut = ms; }
    KvSocketServer* GetSocketServer() const { return m_pSocketServer; }
    void SetSocketServer(KvSocketServer* server) { m_pSocketServer = server; }
    const CString& GetHostIPAddr() const { return m_strHostIPAddr; }
    void SetHostIPAddr(const char* ip) { m_strHostIPAddr = ip; }
    const CString& GetClientIPAddr() const { return m_strClientIPAddr; }
    void SetClientIPAddr(const char* ip) { m_strClientIPAddr = ip; }
    // The bytes of the request already read from the connection.
    void SetPending(std::string pending) { m_strPending = std::move(pending); }
    // The server counts the connection for its client address: the run
    // tells it when the connection closes.
    void SetCounted(bool counted) { m_bCounted = counted; }
    BOOL IsKeepAlive() const { return m_bKeepAlive; }
    void SetKeepAlive(BOOL keepAlive) { m_bKeepAlive = keepAlive; }

    // Busy from the moment the server hands the thread out until its run ends.
    bool IsBusy() const { return m_bBusy.load(); }
    void SetBusy(bool busy) { m_bBusy.store(busy); }
    // When the thread last became free (KvNowMs): the end of its last run,
    // or its creation before the first.
    int64_t GetIdleSince() const { return m_nIdleSince.load(); }

protected:
    void OnRunThread() override;
    // Prepares both connections (the client one around m_nRequestID).
    virtual BOOL InitState();
    virtual BOOL CloseConnections();
    // Serves one request; the base does nothing.
    virtual BOOL DispatchRequest();
    // TRUE when the client connection is gone.
    BOOL IsClientBreak();
    // After a request: the connection may carry another one (the base
    // follows the keep-alive setting).
    virtual BOOL KeepsConnection() { return m_bKeepAlive; }

    UINT m_nRequestID = (UINT)INVALID_SOCKET;
    KvSocketServer* m_pSocketServer = nullptr;
    KvComObject m_comClient;
    KvComObject m_comRemote;
    CString m_strHostIPAddr;
    CString m_strClientIPAddr;
    DWORD m_nTimeOut = 180000;
    DWORD m_nTimeAlive = 180000;
    BOOL m_bKeepAlive = FALSE;

private:
    // The requests of one connection, while the client keeps it alive.
    void ServeConnection();
    // Logs the exception being handled and answers "500" when the client
    // has been sent nothing yet. Never throws.
    void AnswerFailedRequest() noexcept;
    // Closes a handed-out socket that InitState never took over.
    void ClosePendingSocket();
    // After an answer on a kept-alive connection of a parking server:
    // TRUE when the connection went back to the server (the next request
    // is not all there yet); FALSE to serve it here, or to close it when
    // it broke.
    bool HandBackIfIdle(bool& broken);

    std::atomic<bool> m_bBusy{false};
    std::atomic<int64_t> m_nIdleSince;
    bool m_bSocketPending = false;  // m_nRequestID not yet taken by m_comClient
    std::string m_strPending;       // read ahead of the request, for m_comClient
    bool m_bCounted = false;        // the server counts the connection
    bool m_bHandedBack = false;     // the connection went back to the server
};
