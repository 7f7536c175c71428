// Mapping of system error numbers and resolver results to the Windows
// sockets numbers, so that the socket's messages and logs read the same on
// every platform.
#include "transport/WinsockErrors.h"

#include <netdb.h>

#include <cerrno>

#include "transport/TcpSocket.h"

namespace bilhetor {

int ErrnoToWinsock(int err) {
  switch (err) {
    case 0: return 0;
    case EINTR: return wsa::WSAEINTR;
    case EBADF: return wsa::WSAEBADF;
    case EACCES: case EPERM: return wsa::WSAEACCES;
    case EFAULT: return wsa::WSAEFAULT;
    case EINVAL: return wsa::WSAEINVAL;
    case EMFILE: case ENFILE: return wsa::WSAEMFILE;
    case EAGAIN: return wsa::WSAEWOULDBLOCK;  // EWOULDBLOCK is the same number
    case EINPROGRESS: return wsa::WSAEINPROGRESS;
    case EALREADY: return wsa::WSAEALREADY;
    case ENOTSOCK: return wsa::WSAENOTSOCK;
    case EDESTADDRREQ: return wsa::WSAEDESTADDRREQ;
    case EMSGSIZE: return wsa::WSAEMSGSIZE;
    case EPROTOTYPE: return wsa::WSAEPROTOTYPE;
    case ENOPROTOOPT: return wsa::WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return wsa::WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return wsa::WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return wsa::WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return wsa::WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return wsa::WSAEAFNOSUPPORT;
    case EADDRINUSE: return wsa::WSAEADDRINUSE;
    case EADDRNOTAVAIL: return wsa::WSAEADDRNOTAVAIL;
    case ENETDOWN: return wsa::WSAENETDOWN;
    case ENETUNREACH: return wsa::WSAENETUNREACH;
    case ENETRESET: return wsa::WSAENETRESET;
    case ECONNABORTED: return wsa::WSAECONNABORTED;
    // A send on a connection the peer has closed or reset.
    case ECONNRESET: case EPIPE: return wsa::WSAECONNRESET;
    case ENOBUFS: case ENOMEM: return wsa::WSAENOBUFS;
    case EISCONN: return wsa::WSAEISCONN;
    case ENOTCONN: return wsa::WSAENOTCONN;
    case ESHUTDOWN: return wsa::WSAESHUTDOWN;
    case ETOOMANYREFS: return wsa::WSAETOOMANYREFS;
    case ETIMEDOUT: return wsa::WSAETIMEDOUT;
    case ECONNREFUSED: return wsa::WSAECONNREFUSED;
    case ELOOP: return wsa::WSAELOOP;
    case ENAMETOOLONG: return wsa::WSAENAMETOOLONG;
    case EHOSTDOWN: return wsa::WSAEHOSTDOWN;
    case EHOSTUNREACH: return wsa::WSAEHOSTUNREACH;
    case ENOTEMPTY: return wsa::WSAENOTEMPTY;
    case EUSERS: return wsa::WSAEUSERS;
    case EDQUOT: return wsa::WSAEDQUOT;
    case ESTALE: return wsa::WSAESTALE;
    case EREMOTE: return wsa::WSAEREMOTE;
    default: return err;
  }
}

int AddrInfoErrorToWinsock(int gaiResult, int err) {
  switch (gaiResult) {
    case 0: return 0;
    case EAI_NONAME: return wsa::WSAHOST_NOT_FOUND;
    case EAI_AGAIN: return wsa::WSATRY_AGAIN;
    case EAI_FAIL: return wsa::WSANO_RECOVERY;
    case EAI_NODATA: case EAI_ADDRFAMILY: return wsa::WSANO_DATA;
    case EAI_SERVICE: return wsa::WSATYPE_NOT_FOUND;
    case EAI_FAMILY: return wsa::WSAEAFNOSUPPORT;
    case EAI_SOCKTYPE: return wsa::WSAESOCKTNOSUPPORT;
    case EAI_BADFLAGS: return wsa::WSAEINVAL;
    case EAI_MEMORY: return wsa::WSAENOBUFS;
    case EAI_SYSTEM: return err != 0 ? ErrnoToWinsock(err) : wsa::WSANO_RECOVERY;
    default: return wsa::WSANO_RECOVERY;
  }
}

}  // namespace bilhetor
