// The socket calls on Windows: Winsock 2, started once per process. Its
// error numbers are the ones the interface reports; their texts are worded
// as on Linux, so that messages read the same on both.
//
// Winsock has no per-call "do not wait": a send or receive that must not
// wait switches a blocking socket to non-blocking mode for the call. Which
// sockets are non-blocking is kept here, as Windows cannot be asked.
//
// The acknowledgement count comes from SIO_TCP_INFO (Windows 10 1703 and
// later). Where it is missing (Wine answers 10045), NaoConfirmados says it
// cannot tell and the close waits through SO_LINGER instead.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "transport/SoqueteEnderecos.h"
#include "transport/SoqueteSistema.h"

namespace bilhetor::soquete {

namespace {

using enderecos::FamiliaSistema;
using enderecos::Sa;

thread_local int ultimoErro = 0;

template <class T>
T Falha(T valor) {
  ultimoErro = WSAGetLastError();
  return valor;
}

template <class T>
T FalhaCom(int codigo, T valor) {
  ultimoErro = codigo;
  return valor;
}

SOCKET S(Soquete s) { return static_cast<SOCKET>(s); }

// WSAStartup once, before the first call that needs it; its failure is the
// error of every call.
int Iniciar() {
  static const int resultado = [] {
    WSADATA dados;
    return WSAStartup(MAKEWORD(2, 2), &dados);
  }();
  return resultado;
}

std::mutex& MutexModos() {
  static std::mutex m;
  return m;
}

std::unordered_set<SOCKET>& NaoBloqueantes() {
  static std::unordered_set<SOCKET> conjunto;
  return conjunto;
}

bool EhNaoBloqueante(SOCKET s) {
  std::lock_guard<std::mutex> lock(MutexModos());
  return NaoBloqueantes().count(s) != 0;
}

bool Modo(SOCKET s, bool naoBloqueante) {
  u_long valor = naoBloqueante ? 1 : 0;
  return ioctlsocket(s, FIONBIO, &valor) == 0;
}

// Runs a call that must not wait, in non-blocking mode for its duration.
template <class Chamada>
int SemEsperar(SOCKET s, bool semEsperar, Chamada chamada) {
  const bool alternar = semEsperar && !EhNaoBloqueante(s);
  if (alternar && !Modo(s, true)) return SOCKET_ERROR;
  const int n = chamada();
  const int erro = WSAGetLastError();
  if (alternar) Modo(s, false);
  WSASetLastError(erro);
  return n;
}

// The text of a Windows sockets number as Linux words the errno value
// behind it; the system's own text for the rest.
std::string Texto(int codigo) {
  switch (codigo) {
    case WSAEINTR: return "Interrupted system call";
    case WSAEBADF: return "Bad file descriptor";
    case WSAEACCES: return "Permission denied";
    case WSAEFAULT: return "Bad address";
    case WSAEINVAL: return "Invalid argument";
    case WSAEMFILE: return "Too many open files";
    case WSAEWOULDBLOCK: return "Resource temporarily unavailable";
    case WSAEINPROGRESS: return "Operation now in progress";
    case WSAEALREADY: return "Operation already in progress";
    case WSAENOTSOCK: return "Socket operation on non-socket";
    case WSAEMSGSIZE: return "Message too long";
    case WSAENOPROTOOPT: return "Protocol not available";
    case WSAEOPNOTSUPP: return "Operation not supported";
    case WSAEAFNOSUPPORT: return "Address family not supported by protocol";
    case WSAEADDRINUSE: return "Address already in use";
    case WSAEADDRNOTAVAIL: return "Cannot assign requested address";
    case WSAENETDOWN: return "Network is down";
    case WSAENETUNREACH: return "Network is unreachable";
    case WSAENETRESET: return "Network dropped connection on reset";
    case WSAECONNABORTED: return "Software caused connection abort";
    case WSAECONNRESET: return "Connection reset by peer";
    case WSAENOBUFS: return "No buffer space available";
    case WSAEISCONN: return "Transport endpoint is already connected";
    case WSAENOTCONN: return "Transport endpoint is not connected";
    case WSAESHUTDOWN: return "Cannot send after transport endpoint shutdown";
    case WSAETIMEDOUT: return "Connection timed out";
    case WSAECONNREFUSED: return "Connection refused";
    case WSAEHOSTDOWN: return "Host is down";
    case WSAEHOSTUNREACH: return "No route to host";
    default: break;
  }
  char texto[512] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 static_cast<DWORD>(codigo), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), texto,
                                 sizeof texto, nullptr);
  std::string t(texto, n);
  while (!t.empty() && (t.back() == '\n' || t.back() == '\r' || t.back() == ' ' || t.back() == '.')) t.pop_back();
  return t.empty() ? "Unknown error " + std::to_string(codigo) : t;
}

// TCP_INFO_v0 as Windows 10 1703 lays it out (the headers show it only to
// programs built for that version and later).
struct InfoTcp {
  int State;
  ULONG Mss;
  ULONG64 ConnectionTimeMs;
  BOOLEAN TimestampsEnabled;
  ULONG RttUs;
  ULONG MinRttUs;
  ULONG BytesInFlight;
  ULONG Cwnd;
  ULONG SndWnd;
  ULONG RcvWnd;
  ULONG RcvBuf;
  ULONG64 BytesOut;
  ULONG64 BytesIn;
  ULONG BytesReordered;
  ULONG BytesRetrans;
  ULONG FastRetrans;
  ULONG DupAcksIn;
  ULONG TimeoutEpisodes;
  UCHAR SynRetrans;
};

constexpr DWORD kSioTcpInfo = _WSAIORW(IOC_VENDOR, 39);  // SIO_TCP_INFO

// TCPSTATE values.
enum : int {
  kClosed = 0,
  kEstablished = 4,
  kFinWait1 = 5,
  kFinWait2 = 6,
  kCloseWait = 7,
  kClosing = 8,
  kLastAck = 9,
  kTimeWait = 10
};

bool LerInfoTcp(SOCKET s, InfoTcp& info) {
  DWORD versao = 0;
  DWORD obtidos = 0;
  return WSAIoctl(s, kSioTcpInfo, &versao, sizeof versao, &info, sizeof info, &obtidos, nullptr, nullptr) == 0;
}

bool DefinirTempo(Soquete s, int nome, int ms) {
  const DWORD valor = static_cast<DWORD>(std::max(ms, 0));
  return setsockopt(S(s), SOL_SOCKET, nome, reinterpret_cast<const char*>(&valor), sizeof valor) == 0 ||
         Falha(false);
}

int Tamanho(std::size_t n) { return static_cast<int>(std::min<std::size_t>(n, INT_MAX)); }

}  // namespace

Erro UltimoErro() { return ErroDe(ultimoErro); }

Erro ErroDe(int codigo) { return {codigo, codigo == 0 ? std::string("Success") : Texto(codigo)}; }

bool EhIPv6(const Endereco& endereco) { return enderecos::EhIPv6(endereco); }

std::string TextoDe(const Endereco& endereco) { return enderecos::TextoDe(endereco); }

int PortaDe(const Endereco& endereco) { return enderecos::PortaDe(endereco); }

bool EhTextoIP(const std::string& texto, Familia familia) {
  Iniciar();
  IN6_ADDR a {};
  return inet_pton(FamiliaSistema(familia), texto.c_str(), &a) == 1;
}

int Resolver(const std::string& host, const std::string& porta, Familia familia, Endereco& saida) {
  if (const int erro = Iniciar(); erro != 0) return erro;
  addrinfo hints {};
  hints.ai_family = FamiliaSistema(familia);
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* lista = nullptr;
  const int rc = getaddrinfo(host.c_str(), porta.empty() ? "0" : porta.c_str(), &hints, &lista);
  // The result is a Windows sockets number already, but for the lack of
  // memory, which Linux reports as 10055.
  if (rc != 0) return rc == WSA_NOT_ENOUGH_MEMORY ? WSAENOBUFS : rc;
  if (lista->ai_addrlen <= sizeof saida.dados) {
    std::memcpy(saida.dados, lista->ai_addr, lista->ai_addrlen);
    saida.tamanho = static_cast<unsigned>(lista->ai_addrlen);
  }
  freeaddrinfo(lista);
  return saida.tamanho > 0 ? 0 : WSAEAFNOSUPPORT;
}

Soquete Criar(Familia familia) {
  if (const int erro = Iniciar(); erro != 0) return FalhaCom(erro, kInvalido);
  const SOCKET s = WSASocketA(FamiliaSistema(familia), SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                              WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  return s == INVALID_SOCKET ? Falha(kInvalido) : static_cast<Soquete>(s);
}

void Fechar(Soquete s) {
  {
    std::lock_guard<std::mutex> lock(MutexModos());
    NaoBloqueantes().erase(S(s));
  }
  closesocket(S(s));
}

void EncerrarEnvio(Soquete s) { shutdown(S(s), SD_SEND); }
void EncerrarTudo(Soquete s) { shutdown(S(s), SD_BOTH); }

int Conectar(Soquete s, const Endereco& endereco) {
  return connect(S(s), Sa(endereco), static_cast<int>(endereco.tamanho)) == 0 ? 0 : Falha(-1);
}

Erro ErroPendente(Soquete s) {
  int err = 0;
  int len = sizeof err;
  getsockopt(S(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
  return err == 0 ? Erro {} : ErroDe(err);
}

bool EnderecoLocal(Soquete s, Endereco& saida) {
  int len = sizeof saida.dados;
  if (getsockname(S(s), reinterpret_cast<sockaddr*>(saida.dados), &len) != 0) return Falha(false);
  saida.tamanho = static_cast<unsigned>(len);
  return true;
}

bool EnderecoRemoto(Soquete s, Endereco& saida) {
  int len = sizeof saida.dados;
  if (getpeername(S(s), reinterpret_cast<sockaddr*>(saida.dados), &len) != 0) return Falha(false);
  saida.tamanho = static_cast<unsigned>(len);
  return true;
}

bool DefinirNaoBloqueante(Soquete s, bool ligado) {
  if (!Modo(S(s), ligado)) return Falha(false);
  std::lock_guard<std::mutex> lock(MutexModos());
  if (ligado) {
    NaoBloqueantes().insert(S(s));
  } else {
    NaoBloqueantes().erase(S(s));
  }
  return true;
}

bool TempoLimiteRecepcao(Soquete s, int ms) { return DefinirTempo(s, SO_RCVTIMEO, ms); }
bool TempoLimiteEnvio(Soquete s, int ms) { return DefinirTempo(s, SO_SNDTIMEO, ms); }

int OpcaoInteira(Soquete s, int nivel, int nome, int valor) {
  return setsockopt(S(s), nivel, nome, reinterpret_cast<const char*>(&valor), sizeof valor) == 0 ? 0 : Falha(-1);
}

void SemAtraso(Soquete s) { OpcaoInteira(s, IPPROTO_TCP, TCP_NODELAY, 1); }

void ManterVivo(Soquete s, int ociosoS, int intervaloS) {
  tcp_keepalive valores {1, static_cast<ULONG>(ociosoS) * 1000, static_cast<ULONG>(intervaloS) * 1000};
  DWORD obtidos = 0;
  WSAIoctl(S(s), SIO_KEEPALIVE_VALS, &valores, sizeof valores, nullptr, 0, &obtidos, nullptr, nullptr);
}

void TamanhoBufferEnvio(Soquete s, int bytes) { OpcaoInteira(s, SOL_SOCKET, SO_SNDBUF, bytes); }
void TamanhoBufferRecepcao(Soquete s, int bytes) { OpcaoInteira(s, SOL_SOCKET, SO_RCVBUF, bytes); }

void ProlongarFechamento(Soquete s, int ms) {
  const linger l {1, static_cast<u_short>(std::clamp((ms + 999) / 1000, 0, 65535))};
  setsockopt(S(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
}

long Enviar(Soquete s, const void* dados, std::size_t n, bool semEsperar, bool /*haMais*/) {
  const int r = SemEsperar(S(s), semEsperar,
                           [&] { return send(S(s), static_cast<const char*>(dados), Tamanho(n), 0); });
  return r == SOCKET_ERROR ? Falha(-1L) : r;
}

long Receber(Soquete s, void* destino, std::size_t n, bool semEsperar) {
  const int r =
      SemEsperar(S(s), semEsperar, [&] { return recv(S(s), static_cast<char*>(destino), Tamanho(n), 0); });
  return r == SOCKET_ERROR ? Falha(-1L) : r;
}

long Espiar(Soquete s, char& byte) {
  const int r = SemEsperar(S(s), true, [&] { return recv(S(s), &byte, 1, MSG_PEEK); });
  return r == SOCKET_ERROR ? Falha(-1L) : r;
}

int BytesRecebidos(Soquete s) {
  u_long n = 0;
  if (ioctlsocket(S(s), FIONREAD, &n) != 0) return Falha(-1);
  return static_cast<int>(std::min<u_long>(n, INT_MAX));
}

int Aguardar(Soquete s, bool escrita, int ms) {
  // select rather than WSAPoll: a failed connect shows in the exception set,
  // which WSAPoll of older Windows does not report.
  fd_set pronto;
  fd_set falha;
  FD_ZERO(&pronto);
  FD_ZERO(&falha);
  FD_SET(S(s), &pronto);
  FD_SET(S(s), &falha);
  timeval tv {};
  tv.tv_sec = std::max(ms, 0) / 1000;
  tv.tv_usec = (std::max(ms, 0) % 1000) * 1000;
  const int rc = select(0, escrita ? nullptr : &pronto, escrita ? &pronto : nullptr, escrita ? &falha : nullptr,
                        ms < 0 ? nullptr : &tv);
  if (rc == SOCKET_ERROR) return WSAGetLastError() == WSAEINTR ? 0 : Falha(-1);
  return rc > 0 ? 1 : 0;
}

bool Conectado(Soquete s) {
  InfoTcp info {};
  if (LerInfoTcp(S(s), info)) {
    return info.State == kEstablished || info.State == kCloseWait || info.State == kFinWait1 ||
           info.State == kClosing || info.State == kLastAck;
  }
  // Without the TCP state: a connection that is reset or was never made
  // has no peer.
  Endereco peer;
  return EnderecoRemoto(s, peer);
}

int NaoConfirmados(Soquete s, std::int64_t entregues) {
  InfoTcp info {};
  if (!LerInfoTcp(S(s), info)) return Falha(-1);
  // The end of data has been acknowledged once the sending side is in
  // FIN_WAIT_2 or later; until then, what was given less what the peer has
  // acknowledged, and never less than the end-of-data mark itself.
  if (info.State == kFinWait2 || info.State == kTimeWait || info.State == kClosed) return 0;
  const std::int64_t confirmados = static_cast<std::int64_t>(info.BytesOut) - info.BytesInFlight;
  return static_cast<int>(std::clamp<std::int64_t>(entregues - confirmados + 1, 1, INT_MAX));
}

}  // namespace bilhetor::soquete
