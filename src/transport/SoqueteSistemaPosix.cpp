// The socket calls on Linux: BSD sockets and poll; errno values become the
// Windows sockets numbers through ErrnoToWinsock.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "transport/SoqueteEnderecos.h"
#include "transport/SoqueteSistema.h"
#include "transport/WinsockErrors.h"

namespace bilhetor::soquete {

namespace {

using enderecos::FamiliaSistema;
using enderecos::Sa;

thread_local int ultimoErrno = 0;

// Records errno for UltimoErro and returns the failure value.
template <class T>
T Falha(T valor) {
  ultimoErrno = errno;
  return valor;
}

int Fd(Soquete s) { return static_cast<int>(s); }

bool ObterEndereco(int (*consulta)(int, sockaddr*, socklen_t*), Soquete s, Endereco& saida) {
  sockaddr_storage ss {};
  socklen_t len = sizeof ss;
  if (consulta(Fd(s), reinterpret_cast<sockaddr*>(&ss), &len) != 0) return Falha(false);
  static_assert(sizeof ss <= sizeof saida.dados);
  std::memcpy(saida.dados, &ss, len);
  saida.tamanho = len;
  return true;
}

bool DefinirTempo(Soquete s, int nome, int ms) {
  timeval tv {};
  tv.tv_sec = std::max(ms, 0) / 1000;
  tv.tv_usec = (std::max(ms, 0) % 1000) * 1000;
  return setsockopt(Fd(s), SOL_SOCKET, nome, &tv, sizeof tv) == 0 || Falha(false);
}

template <class Chamada>
long Repetindo(Chamada chamada) {
  ssize_t n;
  do {
    n = chamada();
  } while (n < 0 && errno == EINTR);
  return n < 0 ? Falha(-1L) : static_cast<long>(n);
}

}  // namespace

Erro UltimoErro() { return {ErrnoToWinsock(ultimoErrno), std::strerror(ultimoErrno)}; }

Erro ErroDe(int codigo) {
  // The errno value the number comes from, worded by the system; of the
  // values that share a number, the one named like it.
  for (int e : {ECONNRESET, EACCES, EMFILE, ENOBUFS}) {
    if (ErrnoToWinsock(e) == codigo) return {codigo, std::strerror(e)};
  }
  for (int e = 1; e < 256; ++e) {
    if (ErrnoToWinsock(e) == codigo) return {codigo, std::strerror(e)};
  }
  return {codigo, "Unknown error " + std::to_string(codigo)};
}

bool EhIPv6(const Endereco& endereco) { return enderecos::EhIPv6(endereco); }

std::string TextoDe(const Endereco& endereco) { return enderecos::TextoDe(endereco); }

int PortaDe(const Endereco& endereco) { return enderecos::PortaDe(endereco); }

bool EhTextoIP(const std::string& texto, Familia familia) {
  in6_addr a {};
  return inet_pton(FamiliaSistema(familia), texto.c_str(), &a) == 1;
}

int Resolver(const std::string& host, const std::string& porta, Familia familia, Endereco& saida) {
  addrinfo hints {};
  hints.ai_family = FamiliaSistema(familia);
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* lista = nullptr;
  errno = 0;
  const int rc = getaddrinfo(host.c_str(), porta.empty() ? "0" : porta.c_str(), &hints, &lista);
  const int err = errno;
  if (rc != 0) return AddrInfoErrorToWinsock(rc, err);
  if (lista->ai_addrlen <= sizeof saida.dados) {
    std::memcpy(saida.dados, lista->ai_addr, lista->ai_addrlen);
    saida.tamanho = static_cast<unsigned>(lista->ai_addrlen);
  }
  freeaddrinfo(lista);
  return saida.tamanho > 0 ? 0 : ErrnoToWinsock(EAFNOSUPPORT);
}

Soquete Criar(Familia familia) {
  const int fd = ::socket(FamiliaSistema(familia), SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  return fd < 0 ? Falha(kInvalido) : fd;
}

void Fechar(Soquete s) { ::close(Fd(s)); }
void EncerrarEnvio(Soquete s) { ::shutdown(Fd(s), SHUT_WR); }
void EncerrarTudo(Soquete s) { ::shutdown(Fd(s), SHUT_RDWR); }

int Conectar(Soquete s, const Endereco& endereco) {
  int rc;
  do {
    rc = ::connect(Fd(s), Sa(endereco), endereco.tamanho);
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? 0 : Falha(-1);
}

Erro ErroPendente(Soquete s) {
  int err = 0;
  socklen_t len = sizeof err;
  getsockopt(Fd(s), SOL_SOCKET, SO_ERROR, &err, &len);
  return {ErrnoToWinsock(err), err == 0 ? std::string() : std::strerror(err)};
}

bool EnderecoLocal(Soquete s, Endereco& saida) { return ObterEndereco(::getsockname, s, saida); }
bool EnderecoRemoto(Soquete s, Endereco& saida) { return ObterEndereco(::getpeername, s, saida); }

bool DefinirNaoBloqueante(Soquete s, bool ligado) {
  const int flags = fcntl(Fd(s), F_GETFL);
  if (flags < 0) return Falha(false);
  return fcntl(Fd(s), F_SETFL, ligado ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0 || Falha(false);
}

bool TempoLimiteRecepcao(Soquete s, int ms) { return DefinirTempo(s, SO_RCVTIMEO, ms); }
bool TempoLimiteEnvio(Soquete s, int ms) { return DefinirTempo(s, SO_SNDTIMEO, ms); }

int OpcaoInteira(Soquete s, int nivel, int nome, int valor) {
  return setsockopt(Fd(s), nivel, nome, &valor, sizeof valor) == 0 ? 0 : Falha(-1);
}

void SemAtraso(Soquete s) { OpcaoInteira(s, IPPROTO_TCP, TCP_NODELAY, 1); }

void ManterVivo(Soquete s, int ociosoS, int intervaloS) {
  OpcaoInteira(s, SOL_SOCKET, SO_KEEPALIVE, 1);
  OpcaoInteira(s, IPPROTO_TCP, TCP_KEEPIDLE, ociosoS);
  OpcaoInteira(s, IPPROTO_TCP, TCP_KEEPINTVL, intervaloS);
}

void TamanhoBufferEnvio(Soquete s, int bytes) { OpcaoInteira(s, SOL_SOCKET, SO_SNDBUF, bytes); }
void TamanhoBufferRecepcao(Soquete s, int bytes) { OpcaoInteira(s, SOL_SOCKET, SO_RCVBUF, bytes); }

void ProlongarFechamento(Soquete s, int ms) {
  const linger l {1, (std::max(ms, 0) + 999) / 1000};
  setsockopt(Fd(s), SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

long Enviar(Soquete s, const void* dados, std::size_t n, bool semEsperar, bool haMais) {
  const int flags = MSG_NOSIGNAL | (haMais ? MSG_MORE : 0) | (semEsperar ? MSG_DONTWAIT : 0);
  return Repetindo([&] { return ::send(Fd(s), dados, n, flags); });
}

long Receber(Soquete s, void* destino, std::size_t n, bool semEsperar) {
  return Repetindo([&] { return ::recv(Fd(s), destino, n, semEsperar ? MSG_DONTWAIT : 0); });
}

long Espiar(Soquete s, char& byte) {
  return Repetindo([&] { return ::recv(Fd(s), &byte, 1, MSG_PEEK | MSG_DONTWAIT); });
}

int BytesRecebidos(Soquete s) {
  int n = 0;
  return ioctl(Fd(s), FIONREAD, &n) == 0 ? n : Falha(-1);
}

int Aguardar(Soquete s, bool escrita, int ms) {
  pollfd p {Fd(s), static_cast<short>(escrita ? POLLOUT : POLLIN), 0};
  const int rc = ::poll(&p, 1, ms < 0 ? -1 : ms);
  if (rc < 0) return errno == EINTR ? 0 : Falha(-1);
  return rc > 0 ? 1 : 0;
}

bool Conectado(Soquete s) {
  tcp_info info {};
  socklen_t len = sizeof info;
  if (getsockopt(Fd(s), IPPROTO_TCP, TCP_INFO, &info, &len) != 0) return Falha(false);
  return info.tcpi_state == TCP_ESTABLISHED || info.tcpi_state == TCP_CLOSE_WAIT ||
         info.tcpi_state == TCP_FIN_WAIT1 || info.tcpi_state == TCP_CLOSING || info.tcpi_state == TCP_LAST_ACK;
}

int NaoConfirmados(Soquete s, std::int64_t /*entregues*/) {
  // The output count of a connection is what was sent but not yet
  // acknowledged (and the end-of-data mark).
  int n = 0;
  return ioctl(Fd(s), SIOCOUTQ, &n) == 0 ? n : Falha(-1);
}

}  // namespace bilhetor::soquete
