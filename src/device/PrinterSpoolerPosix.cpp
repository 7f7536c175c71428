// The spooler on CUPS: printers are the destinations of the configured CUPS
// server, raw jobs are created with the raw document format so that the bytes
// reach the printer unchanged.
#include <cups/cups.h>

#include <cctype>
#include <memory>

#include "device/PrinterSpooler.h"

namespace bilhetor {

namespace {

// Time allowed for reaching the server: a spooler that cannot be reached
// must not hold the print server up for long.
constexpr int kConnectMs = 5000;

struct HttpCloser {
  void operator()(http_t* http) const { httpClose(http); }
};
using HttpPtr = std::unique_ptr<http_t, HttpCloser>;

// Splits "host:port", "[v6]:port", "host" or a socket path.
void SepararServidor(const std::string& servidor, std::string& host, int& port) {
  host = servidor;
  port = ippPort();
  if (servidor.empty() || servidor[0] == '/') return;
  auto colon = servidor.rfind(':');
  if (colon == std::string::npos || colon + 1 >= servidor.size()) return;
  auto bracket = servidor.rfind(']');
  if (bracket != std::string::npos && bracket > colon) return;
  const std::string resto = servidor.substr(colon + 1);
  for (char c : resto)
    if (!std::isdigit(static_cast<unsigned char>(c))) return;
  if (bracket == std::string::npos && servidor.find(':') != colon) return;  // bare IPv6 address
  host = servidor.substr(0, colon);
  port = std::stoi(resto.substr(0, 5));
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
}

HttpPtr Conectar(const std::string& configurado) {
  const std::string servidor = configurado.empty() ? std::string(cupsServer()) : configurado;
  std::string host;
  int port = 0;
  SepararServidor(servidor, host, port);
  return HttpPtr(httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, cupsEncryption(), 1, kConnectMs, nullptr));
}

std::string UltimoErro() {
  const char* texto = cupsLastErrorString();
  return texto != nullptr ? texto : "";
}

}  // namespace

TListaImpressoras TCupsSpooler::ListarImpressoras() {
  TListaImpressoras lista;
  HttpPtr http = Conectar(servidor_);
  if (!http) return lista;
  cups_dest_t* dests = nullptr;
  const int n = cupsGetDests2(http.get(), &dests);
  for (int i = 0; i < n; ++i) {
    // Instances (saved option sets of a queue) are not printers of their own.
    if (dests[i].instance != nullptr) continue;
    if (dests[i].is_default) lista.Padrao = static_cast<int>(lista.Nomes.size());
    lista.Nomes.emplace_back(dests[i].name);
  }
  cupsFreeDests(n, dests);
  return lista;
}

TResultadoRaw TCupsSpooler::ImprimirRaw(const std::string& Nome, const std::string& Titulo,
                                        const std::string& Dados, std::string& Erro) {
  Erro.clear();
  HttpPtr http = Conectar(servidor_);
  if (!http) {
    Erro = UltimoErro();
    return TResultadoRaw::Falhou;
  }
  cups_dest_t* dest = cupsGetNamedDest(http.get(), Nome.c_str(), nullptr);
  if (dest == nullptr) {
    Erro = UltimoErro();
    return TResultadoRaw::NaoEncontrada;
  }
  cupsFreeDests(1, dest);

  const int job = cupsCreateJob(http.get(), Nome.c_str(), Titulo.c_str(), 0, nullptr);
  if (job == 0) {
    Erro = UltimoErro();
    return cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND ? TResultadoRaw::NaoEncontrada : TResultadoRaw::Falhou;
  }
  if (cupsStartDocument(http.get(), Nome.c_str(), job, Titulo.c_str(), CUPS_FORMAT_RAW, 1) !=
      HTTP_STATUS_CONTINUE) {
    Erro = UltimoErro();
    cupsCancelJob2(http.get(), Nome.c_str(), job, 0);
    return TResultadoRaw::Falhou;
  }
  if (!Dados.empty() && cupsWriteRequestData(http.get(), Dados.data(), Dados.size()) != HTTP_STATUS_CONTINUE) {
    Erro = UltimoErro();
    cupsFinishDocument(http.get(), Nome.c_str());
    cupsCancelJob2(http.get(), Nome.c_str(), job, 0);
    return TResultadoRaw::Falhou;
  }
  const ipp_status_t status = cupsFinishDocument(http.get(), Nome.c_str());
  if (status > IPP_STATUS_OK_CONFLICTING) {
    Erro = UltimoErro();
    return status == IPP_STATUS_ERROR_NOT_FOUND ? TResultadoRaw::NaoEncontrada : TResultadoRaw::Falhou;
  }
  return TResultadoRaw::Impresso;
}

std::shared_ptr<TPrinterSpooler> SpoolerDoSistema() { return std::make_shared<TCupsSpooler>(); }

}  // namespace bilhetor
