#pragma once
// A simulated receipt printer for the tests. It records every byte it
// receives and answers the status and identification queries of one printer
// family from a state the test sets (cover open, paper out, paper low, drawer
// open, off line, error, feeding, silence, or replies cut short):
//   Epson   DLE EOT 1, 2, 3, 4 and GS I (the default);
//   Custom  Epson's status, and its own GS I model queries;
//   Bematech  GS F8 31 (five status bytes) and GS F9 27 n;
//   Elgin   ENQ (one status byte), and Bematech's identification;
//   Daruma  ENQ and GS ENQ, and ESC C7, ESC C3, ESC E5 with CR-ended replies
//           that start with a byte that is not part of the value.
//
// It is reached like a real printer: over a TCP listener on 127.0.0.1 (a
// port 9100 printer) and/or, on Linux, over a socat pseudo-terminal pair (a
// serial printer): the simulator holds one end and the device under test
// opens the other (EscPosPrinterSimPosix.cpp; on Windows IniciarPty throws).
#include <atomic>
#include <condition_variable>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "support/Soquetes.h"
#include "support/TestSupport.h"

namespace bilhetor::testing {

enum class FamiliaSim { Epson, Custom, Bematech, Elgin, Daruma };

struct EstadoImpressoraSim {
  FamiliaSim familia = FamiliaSim::Epson;
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
  // Every reply cut to this many bytes (-1 off): a printer that answers short.
  int bytesResposta = -1;

  std::string fabricante = "EPSON";
  std::string firmware = "1.01 ESC/POS";
  std::string modelo = "TM-T20";
  std::string serial = "X5E1234567";
  bool guilhotina = true;

  // Custom: the model family byte (GS I 1) and the model bytes that GS I FF
  // (families 8E, FF) or GS I 5 (families "_", "e") return.
  std::string customFamilia = "\x8E";
  std::string customModelo = std::string("\x02\x0A", 2);
  // Daruma: the characters of the ESC E5 reply at positions 12 (columns: "1"
  // 52, "2" 34) and 40 (code page); the cutter is position 9.
  char darumaColunas = '0';
  char darumaCodPage = '2';
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
  // NomePortaSerial). Linux only: throws std::runtime_error elsewhere.
  std::string IniciarPty();
  // The path the device should use as its serial port name.
  std::string NomePortaSerial() const { return nomeSerial_; }

  void SetEstado(const EstadoImpressoraSim& estado);
  EstadoImpressoraSim Estado();

  // Every byte received so far, queries included.
  std::string Recebido();
  // Bytes received outside of the status and identification queries.
  std::string Impresso();
  // Number of status queries and identification queries received.
  int ConsultasStatus();
  int ConsultasInfo();
  // Number of TCP connections accepted.
  int Conexoes();
  void LimparRegistro();
  // Waits until Recebido() holds at least n bytes.
  bool AguardarRecebido(std::size_t n, std::chrono::milliseconds limite = std::chrono::milliseconds(5000));

  // The reply the printer gives to one query (empty when it stays silent),
  // without any transport: the protocol alone. Responder(comando, n) is the
  // Epson form: DLE EOT n for comando 10, GS I n for comando 1D.
  std::string ResponderConsulta(const std::string& consulta);
  std::string Responder(unsigned char comando, unsigned char n);

 private:
  std::string RespostaDaFamilia(const std::string& consulta);
  void LoopTcp();
  void LoopPty();
  // Closes the pty end and stops socat (after the threads have ended).
  void EncerrarPty();
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

  Despertador pararAviso_;  // readable once the simulator stops
  std::atomic<bool> parar_{false};
  SoqueteTeste escutaFd_ = kSemSoquete;
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
