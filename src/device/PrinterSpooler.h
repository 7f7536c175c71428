#pragma once
// The print spooler as the device sees it: the installed printers with the
// default one, and raw print jobs. On Linux it is CUPS (TCupsSpooler,
// PrinterSpoolerPosix.cpp), on Windows the system's spooler (winspool,
// PrinterSpoolerWin32.cpp).
#include <memory>
#include <string>
#include <vector>

namespace bilhetor {

struct TListaImpressoras {
  std::vector<std::string> Nomes;  // in the spooler's order
  int Padrao = -1;                 // index of the default printer, -1 = none
};

// The outcome of a raw print job.
enum class TResultadoRaw {
  Impresso,          // the spooler took the job and all its bytes
  NaoEncontrada,     // no such printer (it may just have been removed)
  Falhou,            // the spooler refused the job or the data
};

class TPrinterSpooler {
 public:
  virtual ~TPrinterSpooler() = default;

  // The installed printers. An unreachable spooler gives an empty list.
  virtual TListaImpressoras ListarImpressoras() = 0;

  // Sends Dados unchanged as one job of the raw format to the printer Nome,
  // with the job title Titulo. On failure Erro gets the spooler's reason.
  virtual TResultadoRaw ImprimirRaw(const std::string& Nome, const std::string& Titulo,
                                    const std::string& Dados, std::string& Erro) = 0;
};

// The spooler of this system, as a device uses it by default.
std::shared_ptr<TPrinterSpooler> SpoolerDoSistema();

// Linux: the CUPS server the client library is configured for (CUPS_SERVER,
// client.conf, or the local scheduler), or the one named here: a host,
// "host:port", or the path of a local socket.
class TCupsSpooler : public TPrinterSpooler {
 public:
  TCupsSpooler() = default;
  explicit TCupsSpooler(std::string Servidor) : servidor_(std::move(Servidor)) {}

  TListaImpressoras ListarImpressoras() override;
  TResultadoRaw ImprimirRaw(const std::string& Nome, const std::string& Titulo, const std::string& Dados,
                            std::string& Erro) override;

 private:
  std::string servidor_;
};

}  // namespace bilhetor
