// Texts of the socket error numbers, registered in the string table under
// 15800 + error number when the library loads. A host application may
// register its own texts over them.
#include <iterator>

#include "base/platform/StringTable.h"
#include "inet/net/KvSocketObj.h"

namespace {

#define KV_SOCKET_TEXT(code, text) {KV_SOCKET_ERROR_TEXT_BASE + (code), text}

const KvStringEntry kSocketErrorTexts[] = {
    KV_SOCKET_TEXT(KV_ERROR_INVALID_HANDLE, "The socket handle is invalid."),
    KV_SOCKET_TEXT(KV_ERROR_INVALID_PARAMETER, "The parameter is incorrect."),
    KV_SOCKET_TEXT(KV_WSAEINTR, "A blocking operation was interrupted."),
    KV_SOCKET_TEXT(KV_WSAEACCES, "Permission denied."),
    KV_SOCKET_TEXT(KV_WSAEFAULT, "Bad address."),
    KV_SOCKET_TEXT(KV_WSAEINVAL, "Invalid argument, or the host name could not be resolved."),
    KV_SOCKET_TEXT(KV_WSAEMFILE, "Too many open sockets."),
    KV_SOCKET_TEXT(KV_WSAEWOULDBLOCK, "The operation would block."),
    KV_SOCKET_TEXT(KV_WSAEINPROGRESS, "An operation is now in progress."),
    KV_SOCKET_TEXT(KV_WSAEALREADY, "An operation is already in progress."),
    KV_SOCKET_TEXT(KV_WSAENOTSOCK, "Socket operation on something that is not a socket."),
    KV_SOCKET_TEXT(KV_WSAEMSGSIZE, "The message is too long."),
    KV_SOCKET_TEXT(KV_WSAEPROTONOSUPPORT, "The protocol is not supported."),
    KV_SOCKET_TEXT(KV_WSAEOPNOTSUPP, "The operation is not supported."),
    KV_SOCKET_TEXT(KV_WSAEAFNOSUPPORT, "The address family is not supported."),
    KV_SOCKET_TEXT(KV_WSAEADDRINUSE, "The address is already in use."),
    KV_SOCKET_TEXT(KV_WSAEADDRNOTAVAIL, "The requested address is not available."),
    KV_SOCKET_TEXT(KV_WSAENETDOWN, "The network is down."),
    KV_SOCKET_TEXT(KV_WSAENETUNREACH, "The network is unreachable."),
    KV_SOCKET_TEXT(KV_WSAENETRESET, "The network dropped the connection on reset."),
    KV_SOCKET_TEXT(KV_WSAECONNABORTED, "The connection was aborted."),
    KV_SOCKET_TEXT(KV_WSAECONNRESET, "The connection was reset by the peer."),
    KV_SOCKET_TEXT(KV_WSAENOBUFS, "No buffer space is available."),
    KV_SOCKET_TEXT(KV_WSAEISCONN, "The socket is already connected."),
    KV_SOCKET_TEXT(KV_WSAENOTCONN, "The socket is not connected."),
    KV_SOCKET_TEXT(KV_WSAESHUTDOWN, "Cannot send after the socket was shut down."),
    KV_SOCKET_TEXT(KV_WSAETIMEDOUT, "The connection timed out."),
    KV_SOCKET_TEXT(KV_WSAECONNREFUSED, "The connection was refused."),
    KV_SOCKET_TEXT(KV_WSAEHOSTDOWN, "The host is down."),
    KV_SOCKET_TEXT(KV_WSAEHOSTUNREACH, "No route to the host."),
    KV_SOCKET_TEXT(KV_WSANOTINITIALISED, "The socket library is not started."),
    KV_SOCKET_TEXT(KV_WSAHOST_NOT_FOUND, "The host was not found."),
    KV_SOCKET_TEXT(KV_WSATRY_AGAIN, "The host was not found; try again later."),
    KV_SOCKET_TEXT(KV_WSANO_RECOVERY, "A name server error that cannot be recovered from."),
    KV_SOCKET_TEXT(KV_WSANO_DATA, "The name has no address of the requested type."),
};

#undef KV_SOCKET_TEXT

const KvStringTableRegistrar kRegistrar(kSocketErrorTexts, std::size(kSocketErrorTexts));

}  // namespace

void KvSocketObj::TranslateErrorCode(int code, CString& text) {
    const char* found = code >= 0 ? KvLookupString(KV_SOCKET_ERROR_TEXT_BASE + (unsigned)code) : nullptr;
    if (found) text = found;
    else text.Format("Unknown WinSock Error Number %d", code);
}
