#pragma once
// The sockets of the test servers (loopback listeners, the fake MySQL
// server, the simulated printers) and of tests that need a raw connection:
// BSD sockets on Linux (SoquetesPosix.cpp), Winsock 2 on Windows
// (SoquetesWin32.cpp). They do not use the sockets of src/transport, which
// are what the tests examine.
//
// Sockets here are blocking, but for those IniciarConexao returns.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bilhetor::testing {

// A descriptor on Linux, a SOCKET on Windows.
using SoqueteTeste = std::intptr_t;
constexpr SoqueteTeste kSemSoquete = -1;

enum class FamiliaTeste { IPv4, IPv6 };

// What Enviar and Receber return instead of a count of bytes.
constexpr long kVazio = -1;       // nothing could move without waiting
constexpr long kReiniciado = -2;  // the peer reset the connection
constexpr long kFalhou = -3;      // any other error

// A listener on the loopback address of the family (127.0.0.1 or ::1) on a
// port the system picks, returned in porta. bufferRecepcao > 0 sets the
// receive buffer before listening, so that accepted connections advertise a
// small window. Throws std::runtime_error when the system refuses.
SoqueteTeste Escutar(FamiliaTeste familia, int backlog, int& porta, int bufferRecepcao = 0);
// Accepts the next connection (waiting for it); kSemSoquete on failure.
SoqueteTeste Aceitar(SoqueteTeste escuta);
// A connection to the loopback address of the family; kSemSoquete on
// failure.
SoqueteTeste Conectar(FamiliaTeste familia, int porta);
// A connection to 127.0.0.1:porta started and not waited for: a
// non-blocking socket, writable once the connection is made.
SoqueteTeste IniciarConexao(int porta);

// Bytes moved (0 from Receber: the peer ended the connection), or kVazio,
// kReiniciado, kFalhou. semEsperar returns at once.
long Enviar(SoqueteTeste s, const void* dados, std::size_t n, bool semEsperar = false);
long Receber(SoqueteTeste s, void* destino, std::size_t n, bool semEsperar = false);
// Sends all of dados, waiting for room (up to limiteMs milliseconds each
// time, -1 without limit); false when the connection failed or the wait ran
// out.
bool EnviarTudo(SoqueteTeste s, const std::string& dados, int limiteMs = -1);

// Ends both directions (the peer reads the end of data) without closing.
void EncerrarTudo(SoqueteTeste s);
void Fechar(SoqueteTeste s);
// Closes with a reset instead of an orderly end.
void FecharComReset(SoqueteTeste s);

// One socket to watch: for reading (or a new connection on a listener, or
// the end of the connection) or, with escrita, for room to write (or a
// connect that ended).
struct Vigia {
  SoqueteTeste s = kSemSoquete;
  bool escrita = false;
  bool pronto = false;
};
// Waits up to ms milliseconds (-1 without limit) until one of the sockets
// is ready, and marks those that are. The number ready; 0 when none was in
// time; -1 on error.
int Vigiar(std::vector<Vigia>& vigias, int ms);
// The same for one socket: 1 ready, 0 not in time, -1 error.
int Aguardar(SoqueteTeste s, bool escrita, int ms);

// A TCP port on 127.0.0.1 that nothing listened on when asked.
int PortaLivre();

// Wakes a thread that waits in Vigiar with Leitura() among its sockets: a
// connected pair on the loopback address.
class Despertador {
 public:
  Despertador();
  ~Despertador();
  Despertador(const Despertador&) = delete;
  Despertador& operator=(const Despertador&) = delete;

  SoqueteTeste Leitura() const { return leitura_; }
  void Acordar();
  // Reads away the wake-ups so far.
  void Esvaziar();

 private:
  SoqueteTeste leitura_ = kSemSoquete;
  SoqueteTeste escrita_ = kSemSoquete;
};

}  // namespace bilhetor::testing
