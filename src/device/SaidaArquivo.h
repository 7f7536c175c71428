#pragma once
// The output of a file port or a parallel port: a regular file, a FIFO, or a
// printer device (/dev/lp*, LPTn, /dev/usb/lp*), opened once per send and
// written through the small interface below, with the loop that writes a
// whole text to it.
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
// Both waits are bounded by the device's TimeOut.
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

// A file or device opened with open(2).
class TSaidaDescritor : public TSaidaArquivo {
 public:
  explicit TSaidaDescritor(int Fd) : fd_(Fd) {}
  ~TSaidaDescritor() override;
  TSaidaDescritor(const TSaidaDescritor&) = delete;
  TSaidaDescritor& operator=(const TSaidaDescritor&) = delete;

  ssize_t Escrever(const char* Dados, size_t Tamanho, int& Erro) override;
  bool AguardarEscrita(int Ms) override;
  int64_t AgoraMs() override;
  void Dormir(int Ms) override;

 private:
  int fd_;
};

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
