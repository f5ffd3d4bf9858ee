// The socket error texts of the diagnostic log (%E): the symbolic name and
// the description, in the numbering the connection layer keeps.
#include <cstdio>

#include "inet/log/KvLogError.h"
#include "inet/net/KvSocketObj.h"

namespace {

struct ErrorText {
    int code;
    const char* text;
};

// Numbers the connection layer never produces have no named constant there.
enum : int {
    kDestAddrReq = 10039,
    kProtoType = 10041,
    kNoProtoOpt = 10042,
    kSockTNoSupport = 10044,
    kPfNoSupport = 10046,
    kProcLim = 10067,
    kSysNotReady = 10091,
    kVerNotSupported = 10092,
    kDiscon = 10101,
};

const ErrorText kTexts[] = {
    {KV_WSAEACCES, "WSAEACCES - Permission denied"},
    {KV_WSAEADDRINUSE, "WSAEADDRINUSE - Address already in use."},
    {KV_WSAEADDRNOTAVAIL, "WSAEADDRNOTAVAIL - Cannot assign requested address."},
    {KV_WSAEAFNOSUPPORT, "WSAEAFNOSUPPORT - Address family not supported by protocol family."},
    {KV_WSAEALREADY, "WSAEALREADY - Operation already in progress."},
    {KV_WSAECONNABORTED, "WSAECONNABORTED - Software caused connection abort."},
    {KV_WSAECONNREFUSED, "WSAECONNREFUSED - Connection refused."},
    {KV_WSAECONNRESET, "WSAECONNRESET - Connection reset by peer."},
    {kDestAddrReq, "WSAEDESTADDRREQ - Destination address required."},
    {KV_WSAEFAULT, "WSAEFAULT - Bad address."},
    {KV_WSAEHOSTDOWN, "WSAEHOSTDOWN - Host is down."},
    {KV_WSAEHOSTUNREACH, "WSAEHOSTUNREACH - No route to host."},
    {KV_WSAEINPROGRESS, "WSAEINPROGRESS - Operation now in progress."},
    {KV_WSAEINTR, "WSAEINTR - Interrupted function call."},
    {KV_WSAEINVAL, "WSAEINVAL - Invalid argument."},
    {KV_WSAEISCONN, "WSAEISCONN - Socket is already connected."},
    {KV_WSAEMFILE, "WSAEMFILE - Too many open sockets."},
    {KV_WSAEMSGSIZE, "WSAEMSGSIZE - Message too long."},
    {KV_WSAENETDOWN, "WSAENETDOWN - Network is down."},
    {KV_WSAENETRESET, "WSAENETRESET - Network dropped connection on reset."},
    {KV_WSAENETUNREACH, "WSAENETUNREACH - Network is unreachable."},
    {KV_WSAENOBUFS, "WSAENOBUFS - No buffer space available."},
    {kNoProtoOpt, "WSAENOPROTOOPT - Bad protocol option."},
    {KV_WSAENOTCONN, "WSAENOTCONN - Socket is not connected."},
    {KV_WSAENOTSOCK, "WSAENOTSOCK - Socket operation on non-socket."},
    {KV_WSAEOPNOTSUPP, "WSAEOPNOTSUPP - Operation not supported."},
    {kPfNoSupport, "WSAEPFNOSUPPORT - Protocol family not supported."},
    {kProcLim, "WSAEPROCLIM - Too many processes."},
    {KV_WSAEPROTONOSUPPORT, "WSAEPROTONOSUPPORT - Protocol not supported."},
    {kProtoType, "WSAEPROTOTYPE - Protocol wrong type for socket."},
    {KV_WSAESHUTDOWN, "WSAESHUTDOWN - Cannot send after socket shutdown."},
    {kSockTNoSupport, "WSAESOCKTNOSUPPORT - Socket type not supported."},
    {KV_WSAETIMEDOUT, "WSAETIMEDOUT - Connection timed out."},
    {KV_WSAEWOULDBLOCK, "WSAEWOULDBLOCK - Resource temporarily unavailable."},
    {KV_WSAHOST_NOT_FOUND, "WSAHOST_NOT_FOUND - Host not found."},
    {KV_WSANOTINITIALISED, "WSANOTINITIALISED - Successful WSAStartup not yet performed."},
    {KV_WSANO_DATA, "WSANO_DATA - Valid name, no data record of requested type."},
    {KV_WSANO_RECOVERY, "WSANO_RECOVERY - This is a non-recoverable error."},
    {kSysNotReady, "WSASYSNOTREADY - Network subsystem is unavailable."},
    {KV_WSATRY_AGAIN, "WSATRY_AGAIN - Non-authoritative host not found."},
    {kVerNotSupported, "WSAVERNOTSUPPORTED - WINSOCK.DLL version out of range."},
    {kDiscon, "WSAEDISCON - Graceful shutdown in progress."},
};

}  // namespace

const char* KvSocketErrorText(int error, char* scratch, size_t size) {
    for (const ErrorText& e : kTexts) {
        if (e.code == error) return e.text;
    }
    if (!scratch || size == 0) return "";
    std::snprintf(scratch, size, "(error number %d)", error);
    return scratch;
}
