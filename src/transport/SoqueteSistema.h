#pragma once
// The system calls of a TCP client socket, shared by TTcpSocket and the
// database client's TVioTcp: BSD sockets on Linux (SoqueteSistemaPosix.cpp),
// Winsock 2 on Windows (SoqueteSistemaWin32.cpp). Nothing here includes a
// header of the system, so the users stay the same on both.
//
// A failed call returns -1 (or kInvalido, or false) and leaves its error for
// UltimoErro(), on the calling thread, until the next call of this interface.
// Errors are Windows sockets numbers on every platform (10054 reset, 10060
// timed out, 10061 refused, ...), each with the system's own wording.
#include <cstddef>
#include <cstdint>
#include <string>

namespace bilhetor::soquete {

// A socket: a descriptor on Linux, a SOCKET on Windows.
using Soquete = std::intptr_t;
constexpr Soquete kInvalido = -1;

// Qualquer only for Resolver: whichever family the name has.
enum class Familia { IPv4, IPv6, Qualquer };

struct Erro {
  int codigo = 0;      // Windows sockets number, 0 for none
  std::string texto;   // as the system words it ("Connection refused")
};

// The error of the last call that failed on this thread.
Erro UltimoErro();
// The error with the given Windows sockets number, worded by the system
// (the error a wait that ran out or was interrupted reports).
Erro ErroDe(int codigo);

// An address of either family, as the system gives it.
struct Endereco {
  alignas(8) unsigned char dados[128] = {};
  unsigned tamanho = 0;
};

bool EhIPv6(const Endereco& endereco);
// The numeric text of the address ("0.0.0.0" for an empty one) and its port.
std::string TextoDe(const Endereco& endereco);
int PortaDe(const Endereco& endereco);
// Whether the text is a numeric address of the family.
bool EhTextoIP(const std::string& texto, Familia familia);

// Looks up host and port (a number or a service name; empty is port 0) for
// a TCP connection in the family. Returns 0 with the first address found, or
// the Windows sockets number of the failure (11001 unknown host, ...) with
// saida untouched.
int Resolver(const std::string& host, const std::string& porta, Familia familia, Endereco& saida);

// A TCP socket of the family, not inherited by child processes.
Soquete Criar(Familia familia);
void Fechar(Soquete s);
// Ends the sending side (the peer reads the end of data), or both sides.
void EncerrarEnvio(Soquete s);
void EncerrarTudo(Soquete s);
// Starts or makes the connection: 0, or -1 (a non-blocking socket that has
// started connecting fails with 10035 or 10036).
int Conectar(Soquete s, const Endereco& endereco);
// The error a finished non-blocking connect ended with (codigo 0 for none).
Erro ErroPendente(Soquete s);
bool EnderecoLocal(Soquete s, Endereco& saida);
bool EnderecoRemoto(Soquete s, Endereco& saida);

// Non-blocking (true) or blocking mode.
bool DefinirNaoBloqueante(Soquete s, bool ligado);
// Time-outs of blocking receives and sends, in milliseconds; 0 for none.
bool TempoLimiteRecepcao(Soquete s, int ms);
bool TempoLimiteEnvio(Soquete s, int ms);
// An option with an int value, level and name as the system numbers them.
int OpcaoInteira(Soquete s, int nivel, int nome, int valor);
// Sends without waiting to fill a segment (TCP_NODELAY).
void SemAtraso(Soquete s);
// Keep-alive probes after ociosoS idle seconds, then every intervaloS.
void ManterVivo(Soquete s, int ociosoS, int intervaloS);
void TamanhoBufferEnvio(Soquete s, int bytes);
void TamanhoBufferRecepcao(Soquete s, int bytes);
// On a blocking socket, lets the close go on in the background for up to
// ms milliseconds sending what is left (SO_LINGER).
void ProlongarFechamento(Soquete s, int ms);

// Sends and receives. semEsperar returns at once even on a blocking socket
// (10035 when nothing could move). haMais tells the system that more data
// follows at once, so that it need not send a short segment now. Receive
// returns 0 when the peer has ended its side. An interrupted call is
// repeated.
long Enviar(Soquete s, const void* dados, std::size_t n, bool semEsperar, bool haMais = false);
long Receber(Soquete s, void* destino, std::size_t n, bool semEsperar);
// Looks at the next byte without taking it.
long Espiar(Soquete s, char& byte);
// Bytes received and not read yet; -1 when the system cannot tell.
int BytesRecebidos(Soquete s);

// Waits up to ms milliseconds (-1 without limit) until the socket can be
// read (or has ended, or failed) or written to (or the connect has ended).
// 1 ready, 0 not ready in time (or a signal ended the wait early), -1 error.
int Aguardar(Soquete s, bool escrita, int ms);

// The connection is up in either direction (not reset, not closed on both
// sides).
bool Conectado(Soquete s);
// Asked after EncerrarEnvio: the bytes sent on the connection that the peer
// has not acknowledged yet, 0 when it has acknowledged all of them (and the
// end of data); a count that goes down as acknowledgements arrive.
// entregues is how many bytes were given to Enviar. -1 when the system has
// no way of telling (a close can then only wait for them through
// ProlongarFechamento).
int NaoConfirmados(Soquete s, std::int64_t entregues);

}  // namespace bilhetor::soquete
