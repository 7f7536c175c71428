#include "support/EscPosPrinterSim.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace bilhetor::testing {

EscPosPrinterSim::EscPosPrinterSim() = default;

EscPosPrinterSim::~EscPosPrinterSim() {
  parar_ = true;
  pararAviso_.Acordar();
  if (threadTcp_.joinable()) threadTcp_.join();
  if (threadPty_.joinable()) threadPty_.join();
  Fechar(escutaFd_);
  EncerrarPty();
}

// ---------------------------------------------------------------------------
// Protocol

namespace {

// A query of a family: its fixed bytes and how many parameter bytes follow.
struct FormaConsulta {
  std::string_view prefixo;
  std::size_t parametros;
  bool status;  // a status query (else identification)
};

using namespace std::string_view_literals;

const std::vector<FormaConsulta>& Consultas(FamiliaSim familia) {
  static const std::vector<FormaConsulta> epson = {{"\x10\x04"sv, 1, true}, {"\x1D\x49"sv, 1, false}};
  static const std::vector<FormaConsulta> bematech = {{"\x1D\xF8\x31"sv, 0, true}, {"\x1D\xF9\x27"sv, 1, false}};
  // Elgin's identification is Bematech's, whose cutter line asks GS F8 31.
  static const std::vector<FormaConsulta> elgin = {
      {"\x05"sv, 0, true}, {"\x1D\xF8\x31"sv, 0, false}, {"\x1D\xF9\x27"sv, 1, false}};
  static const std::vector<FormaConsulta> daruma = {{"\x05"sv, 0, true},
                                                    {"\x1D\x05"sv, 0, true},
                                                    {"\x1B\xC7"sv, 0, false},
                                                    {"\x1B\xC3"sv, 0, false},
                                                    {"\x1B\xE5"sv, 0, false}};
  switch (familia) {
    case FamiliaSim::Bematech: return bematech;
    case FamiliaSim::Elgin: return elgin;
    case FamiliaSim::Daruma: return daruma;
    case FamiliaSim::Epson:
    case FamiliaSim::Custom: break;
  }
  return epson;
}

// The query that starts at i: its length, 0 when none starts there, or -1
// when the input ends inside one (the rest comes with the next read).
long MedirConsulta(FamiliaSim familia, const std::string& entrada, std::size_t i) {
  const std::size_t disponivel = entrada.size() - i;
  for (const FormaConsulta& f : Consultas(familia)) {
    const std::size_t comparar = std::min(disponivel, f.prefixo.size());
    if (entrada.compare(i, comparar, f.prefixo.data(), comparar) != 0) continue;
    const std::size_t total = f.prefixo.size() + f.parametros;
    return disponivel >= total ? static_cast<long>(total) : -1;
  }
  return 0;
}

const FormaConsulta* FormaDe(FamiliaSim familia, const std::string& consulta) {
  for (const FormaConsulta& f : Consultas(familia))
    if (consulta.size() == f.prefixo.size() + f.parametros && consulta.compare(0, f.prefixo.size(), f.prefixo) == 0)
      return &f;
  return nullptr;
}

std::string Byte(int b) { return std::string(1, static_cast<char>(static_cast<unsigned char>(b))); }

// The text cut or padded with blanks to n bytes.
std::string Fixo(std::string t, std::size_t n) {
  t.resize(n, ' ');
  return t;
}

}  // namespace

std::string EscPosPrinterSim::Responder(unsigned char comando, unsigned char n) {
  return ResponderConsulta(std::string(1, static_cast<char>(comando)) + (comando == 0x10 ? '\x04' : '\x49') +
                           static_cast<char>(n));
}

std::string EscPosPrinterSim::ResponderConsulta(const std::string& consulta) {
  std::lock_guard<std::mutex> lock(mutex_);
  EstadoImpressoraSim& e = estado_;
  const FormaConsulta* forma = FormaDe(e.familia, consulta);
  if (forma == nullptr) return {};
  if (forma->status)
    ++consultasStatus_;
  else
    ++consultasInfo_;
  if (e.silenciosa) return {};
  if (forma->status && e.consultasSemResposta > 0) {
    --e.consultasSemResposta;
    return {};
  }
  std::string r = RespostaDaFamilia(consulta);
  if (e.bytesResposta >= 0 && r.size() > static_cast<std::size_t>(e.bytesResposta))
    r.resize(static_cast<std::size_t>(e.bytesResposta));
  return r;
}

std::string EscPosPrinterSim::RespostaDaFamilia(const std::string& consulta) {
  const EstadoImpressoraSim& e = estado_;
  const unsigned char c0 = static_cast<unsigned char>(consulta[0]);
  const unsigned char ultimo = static_cast<unsigned char>(consulta.back());
  const bool offLine = e.offLine || e.tampaAberta || e.semPapel || e.erro;
  switch (e.familia) {
    case FamiliaSim::Epson:
    case FamiliaSim::Custom:
      if (c0 == 0x10) {
        const unsigned char n = ultimo;
        if (n == 1 && e.respostaStatus1 >= 0) return Byte(e.respostaStatus1);
        // Bits 1 and 4 of every reply are fixed at 1.
        int b = 0x12;
        switch (n) {
          case 1:  // printer status
            if (!e.gavetaAberta) b |= 0x04;
            if (offLine) b |= 0x08;
            if (e.erro) b |= 0x20;
            if (e.alimentando) b |= 0x40;
            break;
          case 2:  // off-line cause
            if (e.tampaAberta) b |= 0x04;
            if (e.alimentando) b |= 0x08;
            if (e.semPapel) b |= 0x20;
            if (e.erro) b |= 0x40;
            break;
          case 3:  // error cause: none of the recoverable ones
            break;
          case 4:  // paper roll sensor; an empty roll also reads near its end
            if (e.poucoPapel || e.semPapel) b |= 0x0C;
            if (e.semPapel) b |= 0x60;
            break;
          default:
            return {};
        }
        return Byte(b);
      }
      if (e.familia == FamiliaSim::Custom) {
        switch (ultimo) {
          case 0x03: return e.firmware;
          case 0x01: return e.customFamilia;
          case 0xFF:
          case 0x05: return e.customModelo;
          case 0x02: return Byte(e.guilhotina ? 0x02 : 0x00);
          default: return {};
        }
      }
      {
        auto texto = [](const std::string& t) { return std::string("_") + t + std::string(1, '\0'); };
        switch (ultimo) {
          case 0x41: return texto(e.firmware);
          case 0x42: return texto(e.fabricante);
          case 0x43: return texto(e.modelo);
          case 0x44: return texto(e.serial);
          case 0x02:
          case 0x32: return Byte(e.guilhotina ? 0x02 : 0x00);
          default: return {};
        }
      }
    case FamiliaSim::Bematech:
    case FamiliaSim::Elgin:
      if (c0 == 0x05) {  // Elgin's one status byte
        int b = 0;
        if (!offLine) b |= 0x01;
        if (e.semPapel) b |= 0x02;
        if (e.gavetaAberta) b |= 0x04;
        if (!e.tampaAberta) b |= 0x08;
        if (e.poucoPapel) b |= 0x10;
        return Byte(b);
      }
      if (consulta.size() == 3) {  // GS F8 31: five status bytes
        int a = 0, b = 0;
        if (e.alimentando) a |= 0x04;
        if (offLine) a |= 0x08;
        if (e.poucoPapel) b |= 0x02;
        if (e.semPapel) b |= 0x24;
        if (!e.gavetaAberta) b |= 0x10;
        if (e.erro) b |= 0x40;
        if (!e.tampaAberta) b |= 0x80;
        return Byte(a) + Byte(b) + Byte(e.guilhotina ? 0x00 : 0x04) + Byte(0) + Byte(0);
      }
      switch (ultimo) {  // GS F9 27 n
        case 0x00: return Fixo(e.modelo, 10);
        case 0x01: return e.serial;
        case 0x03: return Fixo(e.firmware, 3);
        default: return {};
      }
    case FamiliaSim::Daruma: {
      if (c0 == 0x05) {
        int b = 0;
        if (e.alimentando) b |= 0x01;
        if (e.erro) b |= 0x08;
        if (!offLine) b |= 0x10;
        if (e.semPapel) b |= 0x20;
        if (e.tampaAberta) b |= 0x80;
        return Byte(b);
      }
      if (c0 == 0x1D) {  // GS ENQ
        int b = 0;
        if (e.poucoPapel) b |= 0x01;
        if (e.semPapel) b |= 0x02;
        if (offLine) b |= 0x08;
        if (!e.tampaAberta) b |= 0x10;
        if (e.erro) b |= 0x40;
        if (e.gavetaAberta) b |= 0x80;
        return Byte(b);
      }
      switch (ultimo) {
        case 0xC7: return ":" + e.firmware + "\r";
        case 0xC3: return ":" + e.modelo + "\r";
        case 0xE5: {
          std::string r(40, '0');
          r[0] = ':';
          r[8] = e.guilhotina ? '1' : '0';
          r[11] = e.darumaColunas;
          r[39] = e.darumaCodPage;
          return r + "\r";
        }
        default: return {};
      }
    }
  }
  return {};
}

std::string EscPosPrinterSim::Processar(const char* dados, std::size_t n) {
  std::string entrada;
  FamiliaSim familia;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    recebido_.append(dados, n);
    entrada = pendente_ + std::string(dados, n);
    pendente_.clear();
    familia = estado_.familia;
  }
  std::string resposta;
  std::string impresso;
  std::size_t i = 0;
  while (i < entrada.size()) {
    const long tamanho = MedirConsulta(familia, entrada, i);
    if (tamanho < 0) {
      // A query may be split across reads: keep its start for the next one.
      std::lock_guard<std::mutex> lock(mutex_);
      pendente_ = entrada.substr(i);
      break;
    }
    if (tamanho > 0) {
      resposta += ResponderConsulta(entrada.substr(i, static_cast<std::size_t>(tamanho)));
      i += static_cast<std::size_t>(tamanho);
      continue;
    }
    impresso.push_back(entrada[i]);
    ++i;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  impresso_ += impresso;
  return resposta;
}

void EscPosPrinterSim::SetEstado(const EstadoImpressoraSim& estado) {
  std::lock_guard<std::mutex> lock(mutex_);
  estado_ = estado;
}

EstadoImpressoraSim EscPosPrinterSim::Estado() {
  std::lock_guard<std::mutex> lock(mutex_);
  return estado_;
}

std::string EscPosPrinterSim::Recebido() {
  std::lock_guard<std::mutex> lock(mutex_);
  return recebido_;
}

std::string EscPosPrinterSim::Impresso() {
  std::lock_guard<std::mutex> lock(mutex_);
  return impresso_;
}

int EscPosPrinterSim::ConsultasStatus() {
  std::lock_guard<std::mutex> lock(mutex_);
  return consultasStatus_;
}

int EscPosPrinterSim::ConsultasInfo() {
  std::lock_guard<std::mutex> lock(mutex_);
  return consultasInfo_;
}

int EscPosPrinterSim::Conexoes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return conexoes_;
}

void EscPosPrinterSim::LimparRegistro() {
  std::lock_guard<std::mutex> lock(mutex_);
  recebido_.clear();
  impresso_.clear();
  consultasStatus_ = 0;
  consultasInfo_ = 0;
}

bool EscPosPrinterSim::AguardarRecebido(std::size_t n, std::chrono::milliseconds limite) {
  return WaitUntil([&] { return Recebido().size() >= n; }, limite);
}

// ---------------------------------------------------------------------------
// TCP

int EscPosPrinterSim::IniciarTcp() {
  escutaFd_ = Escutar(FamiliaTeste::IPv4, 4, portaTcp_);
  threadTcp_ = std::thread([this] { LoopTcp(); });
  return portaTcp_;
}

std::string EscPosPrinterSim::NomePortaTcp() const { return "TCP:127.0.0.1:" + std::to_string(portaTcp_); }

void EscPosPrinterSim::LoopTcp() {
  SoqueteTeste cliente = kSemSoquete;
  char buffer[4096];
  while (!parar_) {
    std::vector<Vigia> p {{pararAviso_.Leitura()}, {cliente != kSemSoquete ? cliente : escutaFd_}};
    if (Vigiar(p, 200) <= 0) continue;
    if (p[0].pronto) break;
    if (!p[1].pronto) continue;
    if (cliente == kSemSoquete) {
      cliente = Aceitar(escutaFd_);
      if (cliente != kSemSoquete) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++conexoes_;
        pendente_.clear();
      }
      continue;
    }
    const long n = Receber(cliente, buffer, sizeof buffer);
    if (n <= 0) {
      // The device closed its connection; wait for the next one.
      Fechar(cliente);
      cliente = kSemSoquete;
      continue;
    }
    const std::string resposta = Processar(buffer, static_cast<std::size_t>(n));
    // A device that went away gets no answer: a printer does not care.
    if (!resposta.empty()) EnviarTudo(cliente, resposta);
  }
  Fechar(cliente);
}

}  // namespace bilhetor::testing
