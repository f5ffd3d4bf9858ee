// KvFetchStream: one outgoing connection of the download client, plain or
// wrapped in TLS.
//
// Every operation takes the download's deadline (KvNowMs-based) and waits
// with poll on the socket and the calling thread's wake descriptor, so a
// stop request or the deadline ends it at once. Failures come back as
// false or -1 with a readable reason in `error`.
//
// TLS verifies the server's certificate chain against the system's trusted
// certificates plus an optional PEM file, and the certificate's names
// against the host asked for (an IP address against its IP entries); the
// host name is sent as SNI. A certificate that fails is a failed connection.
//
// One thread uses a stream at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/platform/CString.h"

struct ssl_st;

struct KvResolvedAddress;

// Why a download of `host`, found at `address`, is refused as inside.
CString KvInsideRefusal(const char* host, const KvResolvedAddress& address);

class KvFetchStream {
public:
    KvFetchStream() = default;
    ~KvFetchStream();
    KvFetchStream(const KvFetchStream&) = delete;
    KvFetchStream& operator=(const KvFetchStream&) = delete;

    // A TCP connection to host:port (each resolved address in turn). With
    // `outsideOnly`, the addresses inside this machine or a private network
    // are left out, and a host that has no other is refused: the check is
    // made on the very addresses connected to.
    bool Connect(const char* host, int port, int64_t deadline, CString& error, bool outsideOnly = false);
    // The TLS handshake over the open connection, verifying `host`.
    bool StartTls(const char* host, const char* caFile, int64_t deadline, CString& error);
    bool WriteAll(const char* data, size_t length, int64_t deadline, CString& error);
    // Up to `size` bytes: the count, 0 at the end of the stream, -1 on
    // failure or when the deadline passes.
    int Read(char* buf, int size, int64_t deadline, CString& error);
    void Close();
    bool IsTls() const { return m_ssl != nullptr; }

private:
    // Waits for the socket to become readable or writable.
    bool Wait(short events, int64_t deadline, CString& error);
    // Waits as OpenSSL asks after an operation returned `rc`; false with a
    // reason when the operation failed for good.
    bool WaitForTls(int rc, int64_t deadline, CString& error, const char* what);

    int m_fd = -1;
    ssl_st* m_ssl = nullptr;
};
