// The test sockets on Linux: BSD sockets and poll.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "support/Soquetes.h"

namespace bilhetor::testing {

namespace {

int Fd(SoqueteTeste s) { return static_cast<int>(s); }

socklen_t Loopback(FamiliaTeste familia, int porta, sockaddr_storage& ss) {
  ss = {};
  if (familia == FamiliaTeste::IPv4) {
    auto* a = reinterpret_cast<sockaddr_in*>(&ss);
    a->sin_family = AF_INET;
    a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a->sin_port = htons(static_cast<uint16_t>(porta));
    return sizeof *a;
  }
  auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
  a->sin6_family = AF_INET6;
  a->sin6_addr = in6addr_loopback;
  a->sin6_port = htons(static_cast<uint16_t>(porta));
  return sizeof *a;
}

int Novo(FamiliaTeste familia, int extra = 0) {
  return ::socket(familia == FamiliaTeste::IPv4 ? AF_INET : AF_INET6, SOCK_STREAM | SOCK_CLOEXEC | extra, 0);
}

long Resultado(ssize_t n) {
  if (n >= 0) return static_cast<long>(n);
  if (errno == EAGAIN) return kVazio;
  if (errno == ECONNRESET || errno == EPIPE) return kReiniciado;
  return kFalhou;
}

}  // namespace

SoqueteTeste Escutar(FamiliaTeste familia, int backlog, int& porta, int bufferRecepcao) {
  const int fd = Novo(familia);
  if (fd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  const int um = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &um, sizeof um);
  if (familia == FamiliaTeste::IPv6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &um, sizeof um);
  if (bufferRecepcao > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferRecepcao, sizeof bufferRecepcao);
  sockaddr_storage ss;
  socklen_t len = Loopback(familia, 0, ss);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&ss), len) != 0 || ::listen(fd, backlog) != 0) {
    const int err = errno;
    ::close(fd);
    throw std::runtime_error(std::string("cannot listen: ") + std::strerror(err));
  }
  len = sizeof ss;
  getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len);
  porta = familia == FamiliaTeste::IPv4 ? ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port)
                                        : ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port);
  return fd;
}

SoqueteTeste Aceitar(SoqueteTeste escuta) {
  int fd;
  do {
    fd = ::accept4(Fd(escuta), nullptr, nullptr, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd < 0 ? kSemSoquete : fd;
}

SoqueteTeste Conectar(FamiliaTeste familia, int porta) {
  const int fd = Novo(familia);
  if (fd < 0) return kSemSoquete;
  sockaddr_storage ss;
  const socklen_t len = Loopback(familia, porta, ss);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&ss), len) != 0) {
    ::close(fd);
    return kSemSoquete;
  }
  return fd;
}

SoqueteTeste IniciarConexao(int porta) {
  const int fd = Novo(FamiliaTeste::IPv4, SOCK_NONBLOCK);
  if (fd < 0) return kSemSoquete;
  sockaddr_storage ss;
  const socklen_t len = Loopback(FamiliaTeste::IPv4, porta, ss);
  ::connect(fd, reinterpret_cast<sockaddr*>(&ss), len);
  return fd;
}

long Enviar(SoqueteTeste s, const void* dados, std::size_t n, bool semEsperar) {
  ssize_t r;
  do {
    r = ::send(Fd(s), dados, n, MSG_NOSIGNAL | (semEsperar ? MSG_DONTWAIT : 0));
  } while (r < 0 && errno == EINTR);
  return Resultado(r);
}

long Receber(SoqueteTeste s, void* destino, std::size_t n, bool semEsperar) {
  ssize_t r;
  do {
    r = ::recv(Fd(s), destino, n, semEsperar ? MSG_DONTWAIT : 0);
  } while (r < 0 && errno == EINTR);
  return Resultado(r);
}

void EncerrarTudo(SoqueteTeste s) { ::shutdown(Fd(s), SHUT_RDWR); }

void Fechar(SoqueteTeste s) {
  if (s != kSemSoquete) ::close(Fd(s));
}

void FecharComReset(SoqueteTeste s) {
  const linger l {1, 0};
  setsockopt(Fd(s), SOL_SOCKET, SO_LINGER, &l, sizeof l);
  ::close(Fd(s));
}

int Vigiar(std::vector<Vigia>& vigias, int ms) {
  std::vector<pollfd> fds;
  fds.reserve(vigias.size());
  for (const Vigia& v : vigias) fds.push_back({Fd(v.s), static_cast<short>(v.escrita ? POLLOUT : POLLIN), 0});
  const int rc = ::poll(fds.data(), fds.size(), ms);
  if (rc < 0) return errno == EINTR ? 0 : -1;
  for (std::size_t i = 0; i < vigias.size(); ++i) vigias[i].pronto = fds[i].revents != 0;
  return rc;
}

}  // namespace bilhetor::testing
