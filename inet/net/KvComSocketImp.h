// KvComSocketImp: the TCP implementation of KvComObjectImp.
//
// Bytes received but not yet taken wait in m_bufReceive; a receive reads up
// to 64 KiB from the socket at a time. Waits block in poll until data, the
// receive time-out (m_nTimeOut) or a stop request of the calling KvThread.
#pragma once

#include <string_view>

#include "base/containers/KvGenBuffer.h"
#include "inet/net/KvComObject.h"
#include "inet/net/KvSocketObj.h"

class KvComSocketImp : public KvComObjectImp {
    DECLARE_DYNAMIC(KvComSocketImp)
public:
    KvComSocketImp();
    explicit KvComSocketImp(SOCKET hSocket);
    ~KvComSocketImp() override = default;

    // A new connection (a socket still held is closed first): resolves and
    // tries each address in turn, within the smaller of the receive time-out
    // and 30 s. 0, -4 (no socket) or -5 (failed).
    int Connect(const char* host, int port) override;
    int Disconnect(int abortive) override;
    int DataWaiting(int timeout) override;
    int Receive(char* buf, int size) override;
    int Send(const char* data, int length) override;
    int SendBeforeMore(const char* data, int length) override;
    BOOL IsValid() override { return m_socket.IsValid(); }

    BOOL Attach(SOCKET hSocket) { return m_socket.Attach(hSocket); }
    SOCKET Detach() { return m_socket.Detach(); }
    KvSocketObj& GetSocketObj() { return m_socket; }
    // Bytes received but not taken yet, and taking them, without touching
    // the socket (a relay that moves on to the raw descriptor passes these
    // on first).
    int GetBufferedCount() const { return (int)m_bufReceive.GetCount(); }
    int TakeBuffered(char* buf, int size) { return size > 0 ? (int)m_bufReceive.Read(buf, (size_t)size) : 0; }
    // The bytes received but not taken, left in place.
    std::string_view PeekBuffered() const { return {m_bufReceive.GetData(), m_bufReceive.GetCount()}; }
    // Bytes read from the socket elsewhere, taken before anything the
    // socket sends from now on.
    bool Prime(const char* data, size_t n) {
        m_bufReceive.Empty();
        return n == 0 || m_bufReceive.PutString(data, n);
    }

protected:
    // One wait for data and one receive into m_bufReceive: the count, 0 when
    // the peer closed, or a negative code (-8 on time-out or stop).
    int ReceiveToInternalBuffer();
    // Maps the socket's last error to a result code and stores it.
    int ConvertErrorCode();
    // One receive into m_bufReceive that never waits: the count, 0 when
    // the peer closed, kNothingYet, or a negative code.
    static constexpr int kNothingYet = -1000;
    int ReceiveNow();

    KvSocketObj m_socket;
    KvGenBuffer m_bufReceive;
    bool m_bNothingYet = false;  // the last look found nothing: the next read waits first
};
