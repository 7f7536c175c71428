#include "device/EscPosHookElginDLL.h"

#include <climits>

#include "common/Strings.h"

namespace bilhetor {

TElginUSBPrinter::TElginUSBPrinter() {
  nomeMarca_ = NomeMarcaClasse();
  nomeDLL_ = NomeArquivo();
}

TElginUSBPrinter::~TElginUSBPrinter() { FinalizarAoDestruir(); }

bool TElginUSBPrinter::EstaCarregada() const { return instancia_ != nullptr; }

void TElginUSBPrinter::CarregarFuncoes() {
  if (EstaCarregada()) return;
  CarregarFuncao("PrtPrinterCreatorW", prtPrinterCreatorW_);
  CarregarFuncao("PrtPortOpenW", prtPortOpenW_);
  CarregarFuncao("PrtPortClose", prtPortClose_);
  CarregarFuncao("PrtDirectIO", prtDirectIO_);
}

void TElginUSBPrinter::DescarregarFuncoes() {
  TPosPrinterHook::DescarregarFuncoes();
  prtPrinterCreatorW_ = nullptr;
  prtPortOpenW_ = nullptr;
  prtPortClose_ = nullptr;
  prtDirectIO_ = nullptr;
}

void TElginUSBPrinter::Inicializar() {
  if (EstaCarregada()) return;
  TPosPrinterHook::Inicializar();
  instancia_ = nullptr;
  const int r = prtPrinterCreatorW_(&instancia_, cModeloImpressora);
  if (r != 0) {
    // No object, nothing loaded: the library goes too.
    instancia_ = nullptr;
    carregada_ = false;
    DescarregarFuncoes();
    throw EPosPrinterHook(Format(cMsgHookErroInstanciaElgin, r));
  }
}

void TElginUSBPrinter::Finalizar() {
  TPosPrinterHook::Finalizar();
  instancia_ = nullptr;
}

void TElginUSBPrinter::Abrir(const std::string& APort) {
  if (EstaConectada()) return;
  TPosPrinterHook::Abrir(APort);
  try {
    // Port names are ASCII ("USB"): each byte is one UTF-16 unit.
    std::u16string porta;
    for (const char c : portaHook_) porta += static_cast<char16_t>(static_cast<unsigned char>(c));
    if (prtPortOpenW_(instancia_, porta.c_str()) != 0)
      throw Exception(Format(cMsgHookErroAbrir, portaHook_.c_str(), nomeMarca_.c_str()));
  } catch (...) {
    conectada_ = false;
    portaHook_.clear();
    throw;
  }
}

void TElginUSBPrinter::Fechar() {
  if (!EstaConectada()) return;
  if (prtPortClose_(instancia_) != 0)
    throw Exception(Format(cMsgHookErroFechar, portaHook_.c_str(), nomeMarca_.c_str()));
  TPosPrinterHook::Fechar();
}

void TElginUSBPrinter::Enviar(const std::string& cmd) {
  VerificarConectada();
  const unsigned tamanho = cmd.size() > UINT_MAX ? UINT_MAX : static_cast<unsigned>(cmd.size());
  prtDirectIO_(instancia_, reinterpret_cast<const unsigned char*>(cmd.data()), tamanho, nullptr, 0, nullptr);
}

void TElginUSBPrinter::Ler(int, int, std::string& Retorno) {
  Retorno.clear();
  VerificarConectada();
  std::string buffer(cTamanhoLeitura, ' ');
  unsigned lidos = 0;
  prtDirectIO_(instancia_, nullptr, 0, reinterpret_cast<unsigned char*>(buffer.data()), cTamanhoLeitura, &lidos);
  // A count past the buffer (a library fault) keeps what the buffer holds.
  buffer.resize(lidos < cTamanhoLeitura ? lidos : cTamanhoLeitura);
  Retorno = std::move(buffer);
}

}  // namespace bilhetor
