#pragma once
// The output of a file port or a parallel port: a regular file, a FIFO, or a
// printer device (/dev/lp*, LPTn, /dev/usb/lp*), opened once per send and
// written through the small interface below, with the loop that writes a
// whole text to it, and the few file operations the device does by name.
// Each platform has its own implementation (SaidaArquivoPosix.cpp,
// SaidaArquivoWin32.cpp); error codes are errno values on both.
//
// The two printer drivers a parallel port meets on Linux are written in
// non-blocking mode, because neither gives a bounded blocking write:
//   - The parallel port driver (lp) takes what the printer accepts and
//     answers EAGAIN while it is busy. It has no poll handler, so a wait for
//     room returns at once: the loop pauses on its own clock instead, in
//     growing pauses, and gives up when the port has taken nothing for the
//     time-out.
//   - The USB printer class driver (usblp) takes one buffer (8 KiB) per
//     write, sends it while the write returns, and answers EAGAIN until that
//     transfer is done; poll reports "writable" when it is. Closing the
//     device cancels a transfer still running, so after the last write the
//     loop waits until the device reports it writable again, that is, until
//     the last buffer has been taken by the printer.
// Both waits are bounded by the device's TimeOut. On Windows a write to a
// file or a port returns when the system has taken the bytes, and there is
// nothing to wait for afterwards.
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

namespace bilhetor {

class TSaidaArquivo {
 public:
  virtual ~TSaidaArquivo() = default;  // closes the file or device
  // Hands up to Tamanho bytes over: the count taken, or -1 with the system's
  // error code in Erro (EAGAIN: busy, try again later).
  virtual ssize_t Escrever(const char* Dados, size_t Tamanho, int& Erro) = 0;
  // Waits up to Ms milliseconds until the device reports it can take more
  // (poll for writing); true when it does. A driver without a poll handler
  // reports so at once.
  virtual bool AguardarEscrita(int Ms) = 0;
  // The clock the waits above run on, and a plain pause.
  virtual int64_t AgoraMs() = 0;
  virtual void Dormir(int Ms) = 0;
};

// How a file or parallel port is opened for one send.
enum class TAberturaSaida {
  Porta,        // a port, or a FIFO or device standing in for one: never
                // created, never truncated, opened without waiting for a reader
  Acrescentar,  // an existing file of a file port: written at its end
  Substituir,   // any other file: created, or emptied
};

// Opens Nome for writing; nullptr with an errno code in Erro when it cannot be
// opened. Writes to a FIFO whose reader has gone fail with EPIPE: they never
// end the process.
std::unique_ptr<TSaidaArquivo> AbrirSaidaArquivo(const std::string& Nome, TAberturaSaida Modo, int& Erro);

// What a name leads to, links followed.
enum class TTipoArquivo { Ausente, Regular, Outro };
TTipoArquivo TipoArquivo(const std::string& Nome);

// Starts a file port afresh: a regular file is removed, but a link to one
// stays a link and the file it leads to is emptied.
void ApagarArquivoPorta(const std::string& Nome);

// Creates the empty file Nome, failing when it exists (Erro = EEXIST): the
// claim of a free file name. False with an errno code in Erro on failure.
bool CriarArquivoNovo(const std::string& Nome, int& Erro);
void RemoverArquivo(const std::string& Nome);

// The system's file name of port n (1 = the first) of a kind, "COM" or "LPT":
// <Pasta>/ttyS{n-1} and <Pasta>/lp{n-1} on Linux, <Pasta>\COMn and
// <Pasta>\LPTn on Windows. PastaDispositivosPadrao is the system's own
// folder ("/dev"; "\\." on Windows, the device namespace).
std::string NomeArquivoPorta(const std::string& Pasta, const std::string& Tipo, int n);
std::string PastaDispositivosPadrao();

// How a write loop ended.
enum class TResultadoEscrita {
  Escrito,  // every byte taken
  Parado,   // the port took nothing for the whole time-out
  Falhou,   // the system refused the write (its code in Erro)
};

// Longest pause between two tries on a busy port.
constexpr int kPausaMaximaPortaMs = 20;

// Writes Tamanho bytes. A busy port (EAGAIN) is waited for with
// AguardarEscrita, and at least for a pause that doubles from 1 ms up to
// kPausaMaximaPortaMs, so a driver that reports "writable" at once is not
// asked again and again; each byte taken starts the time-out again. Erro
// receives the system's code when the result is Falhou.
TResultadoEscrita EscreverNaSaida(TSaidaArquivo& Saida, const char* Dados, size_t Tamanho, int EsperaMs,
                                  int& Erro);

// Waits until the device reports it can take more, which for the USB printer
// class means the last buffer written has been taken by the printer; false
// when it does not within EsperaMs.
bool AguardarEntrega(TSaidaArquivo& Saida, int EsperaMs);

}  // namespace bilhetor
