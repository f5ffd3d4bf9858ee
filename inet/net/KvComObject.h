// KvComObject: a connection with small negative result codes.
//
// KvComObjectImp is the abstract implementation (KvComSocketImp is the TCP
// one); KvComObject wraps an implementation, owns it by default, and adds
// line, file and text helpers. All HTTP reading and writing and every
// outgoing connection go through it.
//
// A KvComObject and its implementation are used by one thread at a time.
#pragma once

#include "base/platform/Object.h"
#include "base/platform/WinTypes.h"

// Connection result codes (returned and kept in m_nErrorCode).
enum : int {
    KV_COM_OK = 0,              // no error; also "nothing received yet"
    KV_COM_NO_IMP = -2,         // no implementation attached
    KV_COM_INVALID = -3,        // invalid parameter, or the target file cannot be opened
    KV_COM_SOCKET_FAILED = -4,  // no socket can be created, or the file to send cannot be read
    KV_COM_CONNECT_FAILED = -5, // connection to the host failed
    KV_COM_CLOSED = -6,         // connection closed or broken, or a write error in ReceiveFile
    KV_COM_IN_PROGRESS = -7,    // operation in progress
    KV_COM_TIMEOUT = -8,        // time-out, or the calling thread was told to stop
    KV_COM_OTHER = -999,        // any other socket error
};

class KvComObjectImp : public CObject {
    DECLARE_DYNAMIC(KvComObjectImp)
public:
    KvComObjectImp() = default;
    ~KvComObjectImp() override;
    KvComObjectImp(const KvComObjectImp&) = delete;
    KvComObjectImp& operator=(const KvComObjectImp&) = delete;

    virtual int Connect(const char* host, int port) = 0;
    virtual int Disconnect(int abortive) = 0;
    // Bytes ready to be taken (waiting up to `timeout` ms), 0 when none came,
    // or a negative code.
    virtual int DataWaiting(int timeout) = 0;
    // Up to `size` bytes; 0 when the peer closed; a negative code on failure.
    virtual int Receive(char* buf, int size) = 0;
    // `length` when everything went out, else a negative code.
    virtual int Send(const char* data, int length) = 0;
    // As Send, for bytes that more bytes follow at once (a head before the
    // body already at hand): they may leave together with those.
    virtual int SendBeforeMore(const char* data, int length) { return Send(data, length); }
    virtual BOOL IsValid() { return FALSE; }

    const char* GetHost() const { return m_pszHost ? m_pszHost : ""; }
    int GetPort() const { return m_nPort; }

    int m_nErrorCode = 0;
    int m_nTimeOut = 180000;  // receive time-out, ms

protected:
    // Keeps a copy of the host name (the block grows to fit, never shrinks).
    void StoreHost(const char* host, int port);

    char* m_pszHost = nullptr;
    size_t m_nHostSize = 0;
    int m_nPort = 0;
};

class KvComObject : public CObject {
    DECLARE_DYNAMIC(KvComObject)
public:
    KvComObject() = default;
    // Disconnects gracefully and deletes the implementation when owned.
    ~KvComObject() override;
    KvComObject(const KvComObject&) = delete;
    KvComObject& operator=(const KvComObject&) = delete;

    [[nodiscard]] int Connect(const char* host, int port);
    int Disconnect(int abortive = 0);
    int DataWaiting(int timeout = 0);
    int Receive(char* buf, int size);
    int Send(const char* data, int length);
    // The text without its terminating zero.
    int Send(const char* text);
    // As Send, when more follows at once (see KvComObjectImp).
    int SendBeforeMore(const char* data, int length);

    // One line without its CR/LF, zero-terminated; a line longer than
    // size - 1 comes in pieces. The count stored, or a negative code.
    [[nodiscard]] int ReceiveLine(char* buf, int size);
    // Everything until the peer closes, into a new file: the byte count or a
    // negative code (-3 when the file cannot be created, -6 on a write error).
    // Counts beyond INT_MAX are reported as INT_MAX (here and in SendFile).
    [[nodiscard]] int ReceiveFile(const char* path);
    // The whole file: the count sent, or -4 when it cannot be read or is empty.
    int SendFile(const char* path);

    // TRUE once Send or SendFile was asked to write a byte since the last
    // ClearSent (a failed write may still have delivered part of it): the
    // peer may have seen something, so no fresh answer can start.
    BOOL HasSent() const { return m_bSent; }
    void ClearSent() { m_bSent = FALSE; }

    int GetErrorCode() const;
    int SetErrorCode(int code);
    int GetTimeOut() const;
    int SetTimeOut(int ms);
    BOOL IsValid() const;

    void Attach(KvComObjectImp* imp, int autoDelete = TRUE);
    KvComObjectImp* Detach();
    KvComObjectImp* Imp() const { return m_pImp; }

protected:
    KvComObjectImp* m_pImp = nullptr;
    BOOL m_bAutoDelete = TRUE;
    BOOL m_bSent = FALSE;
};
