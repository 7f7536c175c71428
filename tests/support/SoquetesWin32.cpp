// The test sockets on Windows: Winsock 2 and select.
// Room in select's sets for a server's many connections.
#define FD_SETSIZE 256
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "support/Soquetes.h"

namespace bilhetor::testing {

namespace {

SOCKET S(SoqueteTeste s) { return static_cast<SOCKET>(s); }

void Iniciar() {
  static const bool iniciado = [] {
    WSADATA dados;
    return WSAStartup(MAKEWORD(2, 2), &dados) == 0;
  }();
  if (!iniciado) throw std::runtime_error("WSAStartup failed");
}

int Loopback(FamiliaTeste familia, int porta, sockaddr_storage& ss) {
  ss = {};
  if (familia == FamiliaTeste::IPv4) {
    auto* a = reinterpret_cast<sockaddr_in*>(&ss);
    a->sin_family = AF_INET;
    a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a->sin_port = htons(static_cast<u_short>(porta));
    return sizeof *a;
  }
  auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
  a->sin6_family = AF_INET6;
  a->sin6_addr = in6addr_loopback;
  a->sin6_port = htons(static_cast<u_short>(porta));
  return sizeof *a;
}

SOCKET Novo(FamiliaTeste familia) {
  Iniciar();
  return WSASocketA(familia == FamiliaTeste::IPv4 ? AF_INET : AF_INET6, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                    WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}

bool Modo(SOCKET s, bool naoBloqueante) {
  u_long valor = naoBloqueante ? 1 : 0;
  return ioctlsocket(s, FIONBIO, &valor) == 0;
}

// Runs a call; with semEsperar, in non-blocking mode for its duration.
template <class Chamada>
long Transferir(SOCKET s, bool semEsperar, Chamada chamada) {
  if (semEsperar) Modo(s, true);
  const int r = chamada();
  const int erro = r == SOCKET_ERROR ? WSAGetLastError() : 0;
  if (semEsperar) Modo(s, false);
  if (r != SOCKET_ERROR) return r;
  if (erro == WSAEWOULDBLOCK) return kVazio;
  if (erro == WSAECONNRESET || erro == WSAECONNABORTED) return kReiniciado;
  return kFalhou;
}

int Tamanho(std::size_t n) { return static_cast<int>(std::min<std::size_t>(n, INT_MAX)); }

}  // namespace

SoqueteTeste Escutar(FamiliaTeste familia, int backlog, int& porta, int bufferRecepcao) {
  const SOCKET s = Novo(familia);
  if (s == INVALID_SOCKET) throw std::runtime_error("socket: error " + std::to_string(WSAGetLastError()));
  const int um = 1;
  if (familia == FamiliaTeste::IPv6) {
    setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&um), sizeof um);
  }
  if (bufferRecepcao > 0) {
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bufferRecepcao), sizeof bufferRecepcao);
  }
  sockaddr_storage ss;
  int len = Loopback(familia, 0, ss);
  if (bind(s, reinterpret_cast<sockaddr*>(&ss), len) != 0 || listen(s, backlog) != 0) {
    const int erro = WSAGetLastError();
    closesocket(s);
    throw std::runtime_error("cannot listen: error " + std::to_string(erro));
  }
  len = sizeof ss;
  getsockname(s, reinterpret_cast<sockaddr*>(&ss), &len);
  porta = familia == FamiliaTeste::IPv4 ? ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port)
                                        : ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port);
  return static_cast<SoqueteTeste>(s);
}

SoqueteTeste Aceitar(SoqueteTeste escuta) {
  const SOCKET s = accept(S(escuta), nullptr, nullptr);
  return s == INVALID_SOCKET ? kSemSoquete : static_cast<SoqueteTeste>(s);
}

SoqueteTeste Conectar(FamiliaTeste familia, int porta) {
  const SOCKET s = Novo(familia);
  if (s == INVALID_SOCKET) return kSemSoquete;
  sockaddr_storage ss;
  const int len = Loopback(familia, porta, ss);
  if (connect(s, reinterpret_cast<sockaddr*>(&ss), len) != 0) {
    closesocket(s);
    return kSemSoquete;
  }
  return static_cast<SoqueteTeste>(s);
}

SoqueteTeste IniciarConexao(int porta) {
  const SOCKET s = Novo(FamiliaTeste::IPv4);
  if (s == INVALID_SOCKET) return kSemSoquete;
  Modo(s, true);
  sockaddr_storage ss;
  const int len = Loopback(FamiliaTeste::IPv4, porta, ss);
  connect(s, reinterpret_cast<sockaddr*>(&ss), len);
  return static_cast<SoqueteTeste>(s);
}

long Enviar(SoqueteTeste s, const void* dados, std::size_t n, bool semEsperar) {
  return Transferir(S(s), semEsperar,
                    [&] { return send(S(s), static_cast<const char*>(dados), Tamanho(n), 0); });
}

long Receber(SoqueteTeste s, void* destino, std::size_t n, bool semEsperar) {
  return Transferir(S(s), semEsperar, [&] { return recv(S(s), static_cast<char*>(destino), Tamanho(n), 0); });
}

void EncerrarTudo(SoqueteTeste s) { shutdown(S(s), SD_BOTH); }

void Fechar(SoqueteTeste s) {
  if (s != kSemSoquete) closesocket(S(s));
}

void FecharComReset(SoqueteTeste s) {
  const linger l {1, 0};
  setsockopt(S(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
  closesocket(S(s));
}

int Vigiar(std::vector<Vigia>& vigias, int ms) {
  // A connect that failed shows in the exception set.
  fd_set leitura, escrita, excecao;
  FD_ZERO(&leitura);
  FD_ZERO(&escrita);
  FD_ZERO(&excecao);
  for (const Vigia& v : vigias) {
    if (v.escrita) {
      FD_SET(S(v.s), &escrita);
      FD_SET(S(v.s), &excecao);
    } else {
      FD_SET(S(v.s), &leitura);
    }
  }
  timeval tv {ms / 1000, (ms % 1000) * 1000};
  const int rc = select(0, &leitura, &escrita, &excecao, ms < 0 ? nullptr : &tv);
  if (rc == SOCKET_ERROR) return -1;
  int prontos = 0;
  for (Vigia& v : vigias) {
    v.pronto = v.escrita ? (FD_ISSET(S(v.s), &escrita) || FD_ISSET(S(v.s), &excecao)) : FD_ISSET(S(v.s), &leitura);
    prontos += v.pronto ? 1 : 0;
  }
  return prontos;
}

}  // namespace bilhetor::testing
