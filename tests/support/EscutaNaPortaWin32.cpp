// A listener at a chosen port on Windows: Winsock 2. No SO_REUSEADDR, which
// on Windows would let the port be taken from another listener.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <stdexcept>
#include <string>

#include "support/EscutaNaPorta.h"

namespace bilhetor::testing {

SoqueteTeste EscutarNaPorta(int porta, int backlog) {
  static const bool iniciado = [] {
    WSADATA dados;
    return WSAStartup(MAKEWORD(2, 2), &dados) == 0;
  }();
  if (!iniciado) throw std::runtime_error("WSAStartup failed");
  const SOCKET s =
      WSASocketA(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) throw std::runtime_error("socket: error " + std::to_string(WSAGetLastError()));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(porta));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, backlog) != 0) {
    const int erro = WSAGetLastError();
    closesocket(s);
    throw std::runtime_error("cannot listen at port " + std::to_string(porta) + ": error " + std::to_string(erro));
  }
  return static_cast<SoqueteTeste>(s);
}

}  // namespace bilhetor::testing
