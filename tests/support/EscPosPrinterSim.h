#pragma once
// A simulated ESC/POS receipt printer for the tests. It records every byte it
// receives and answers the real-time status queries DLE EOT 1, 2, 3 and 4 and
// the identification queries GS I the way an Epson printer does, from a state
// the test sets (cover open, paper out, paper low, drawer open, off line,
// error, feeding, or silence).
//
// It is reached like a real printer: over a TCP listener on 127.0.0.1 (a
// port 9100 printer) and/or over a socat pseudo-terminal pair (a serial
// printer): the simulator holds one end and the device under test opens the
// other.
#include <atomic>
#include <condition_variable>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "support/TestSupport.h"

namespace bilhetor::testing {

struct EstadoImpressoraSim {
  bool tampaAberta = false;
  bool semPapel = false;
  bool poucoPapel = false;
  bool gavetaAberta = false;  // drawer connector pin 3 low
  bool offLine = false;
  bool erro = false;
  bool alimentando = false;  // paper being fed with the feed button
  // Answers nothing at all.
  bool silenciosa = false;
  // The next N status queries (DLE EOT) get no answer; counts down.
  int consultasSemResposta = 0;
  // This byte instead of the real reply to DLE EOT 1 (-1 off).
  int respostaStatus1 = -1;

  std::string fabricante = "EPSON";
  std::string firmware = "1.01 ESC/POS";
  std::string modelo = "TM-T20";
  std::string serial = "X5E1234567";
  bool guilhotina = true;
};

class EscPosPrinterSim {
 public:
  EscPosPrinterSim();
  ~EscPosPrinterSim();
  EscPosPrinterSim(const EscPosPrinterSim&) = delete;
  EscPosPrinterSim& operator=(const EscPosPrinterSim&) = delete;

  // Starts listening on 127.0.0.1 (a free port) and returns the port.
  int IniciarTcp();
  int PortaTcp() const { return portaTcp_; }
  // "TCP:127.0.0.1:<port>".
  std::string NomePortaTcp() const;

  // Starts socat with a pty pair and opens the printer's end. Returns the
  // path of the end the device opens (a symbolic link to the pty; also
  // linked as /dev/ttyBilhetorSim<pid>_<n> when /dev is writable, see
  // NomePortaSerial).
  std::string IniciarPty();
  // The path the device should use as its serial port name.
  std::string NomePortaSerial() const { return nomeSerial_; }

  void SetEstado(const EstadoImpressoraSim& estado);
  EstadoImpressoraSim Estado();

  // Every byte received so far, queries included.
  std::string Recebido();
  // Bytes received outside of the status and identification queries.
  std::string Impresso();
  // Number of DLE EOT status queries and GS I queries received.
  int ConsultasStatus();
  int ConsultasInfo();
  // Number of TCP connections accepted.
  int Conexoes();
  void LimparRegistro();
  // Waits until Recebido() holds at least n bytes.
  bool AguardarRecebido(std::size_t n, std::chrono::milliseconds limite = std::chrono::milliseconds(5000));

  // The reply the printer gives to one query (empty when it stays silent),
  // without any transport: the protocol alone.
  std::string Responder(unsigned char comando, unsigned char n);

 private:
  void LoopTcp();
  void LoopPty();
  // Feeds received bytes through the parser; returns what to answer.
  std::string Processar(const char* dados, std::size_t n);

  std::mutex mutex_;
  EstadoImpressoraSim estado_;
  std::string recebido_;
  std::string impresso_;
  std::string pendente_;  // an incomplete query at the end of the last read
  int consultasStatus_ = 0;
  int consultasInfo_ = 0;
  int conexoes_ = 0;

  int pararFd_[2] = {-1, -1};
  std::atomic<bool> parar_{false};
  int escutaFd_ = -1;
  int portaTcp_ = 0;
  std::thread threadTcp_;

  std::unique_ptr<TempDir> dirPty_;
  std::unique_ptr<ChildProcess> socat_;
  std::string linkDev_;
  std::string nomeSerial_;
  int ptyFd_ = -1;
  std::thread threadPty_;
};

}  // namespace bilhetor::testing
