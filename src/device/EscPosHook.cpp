#include "device/EscPosHook.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "common/Strings.h"
#include "device/EscPosHookElginDLL.h"
#include "device/EscPosHookEpsonDLL.h"

namespace bilhetor {

namespace {

std::string& PastaDefinida() {
  static std::string pasta;
  return pasta;
}

}  // namespace

TPosPrinterHook::TPosPrinterHook() = default;

TPosPrinterHook::~TPosPrinterHook() {
  // The classes run their own Finalizar in their destructors; by now only
  // the base's part is left to undo.
  FinalizarAoDestruir();
}

std::string TPosPrinterHook::NomeClasse() const { return "TPosPrinterHook"; }

bool TPosPrinterHook::EstaCarregada() const { return carregada_; }

bool TPosPrinterHook::EstaConectada() const { return conectada_; }

void TPosPrinterHook::VerificarCarregada() const {
  if (!EstaCarregada()) throw EPosPrinterHook(Format(cMsgHookNaoInicializada, NomeClasse().c_str()));
}

void TPosPrinterHook::VerificarConectada() const {
  if (!EstaConectada()) throw EPosPrinterHook(Format(cMsgHookNaoConectado, nomeMarca_.c_str()));
}

void TPosPrinterHook::CarregarFuncoes() {}

void TPosPrinterHook::DescarregarFuncoes() { biblioteca_.reset(); }

void TPosPrinterHook::Inicializar() {
  if (EstaCarregada()) return;
  try {
    CarregarFuncoes();
  } catch (...) {
    // A library that lacks a function is not kept half loaded.
    DescarregarFuncoes();
    throw;
  }
  carregada_ = true;
  conectada_ = false;
  portaHook_.clear();
}

void TPosPrinterHook::Finalizar() {
  if (!EstaCarregada()) return;
  Fechar();
  DescarregarFuncoes();
  carregada_ = false;
}

void TPosPrinterHook::Abrir(const std::string& APort) {
  if (EstaConectada()) return;
  // The same containment test that makes the device call the hooks, so every
  // hook port reaches the library as "USB".
  const std::string prefixo = UpperCase(APort.substr(0, 3));
  const bool portaHook = !prefixo.empty() && std::string_view("USB|DLL").find(prefixo) != std::string_view::npos;
  VerificarCarregada();
  portaHook_ = portaHook ? "USB" : APort;
  conectada_ = true;
}

void TPosPrinterHook::Fechar() {
  if (!EstaConectada()) return;
  portaHook_.clear();
  conectada_ = false;
}

void TPosPrinterHook::Enviar(const std::string&) { VerificarConectada(); }

void TPosPrinterHook::Ler(int, int, std::string& Retorno) {
  Retorno.clear();
  VerificarConectada();
}

std::string TPosPrinterHook::PastaBibliotecas() {
  std::string pasta = PastaDefinida();
  if (pasta.empty()) return PastaDoExecutavel();
  if (pasta.back() != '/') pasta += '/';
  return pasta;
}

void TPosPrinterHook::SetPastaBibliotecas(const std::string& Pasta) { PastaDefinida() = Pasta; }

bool TPosPrinterHook::ArquivoNaPasta(const std::string& Nome) {
  const std::string pasta = PastaBibliotecas();
  if (pasta.empty()) return false;
  std::error_code ec;
  return std::filesystem::is_regular_file(pasta + Nome, ec);
}

TBibliotecaDinamica& TPosPrinterHook::Biblioteca(const std::string& Nome) {
  if (!biblioteca_) {
    // As the makers' own platform does: the program's folder first, then the
    // system's search.
    const std::string nome = ArquivoNaPasta(nomeDLL_) ? PastaBibliotecas() + nomeDLL_ : nomeDLL_;
    if (!nomeDLL_.empty()) biblioteca_ = TBibliotecaDinamica::Carregar(nome);
    if (!biblioteca_) ErroFuncao(Nome);
  }
  return *biblioteca_;
}

void TPosPrinterHook::ErroFuncao(const std::string& Nome) const {
  throw EPosPrinterHook(Format(cMsgHookErroFuncao, Nome.c_str(), nomeDLL_.c_str()));
}

void TPosPrinterHook::FinalizarAoDestruir() noexcept {
  try {
    Finalizar();
  } catch (...) {
    // A printer that refuses to close is left to itself; the object goes.
  }
  biblioteca_.reset();
}

// ---------------------------------------------------------------------------
// Registry

namespace {

std::vector<TClasseHook>& Registro() {
  // Filled before its first use, in the order the engine walks it when the
  // port names no brand.
  static std::vector<TClasseHook> registro{ClasseHook<TEpsonUSBPrinter>(), ClasseHook<TElginUSBPrinter>()};
  return registro;
}

}  // namespace

const std::vector<TClasseHook>& ClassesHook() { return Registro(); }

void RegistrarClasseHook(const TClasseHook& Classe) {
  auto& r = Registro();
  const bool existe =
      std::any_of(r.begin(), r.end(), [&](const TClasseHook& c) { return *c.Tipo == *Classe.Tipo; });
  if (!existe) r.push_back(Classe);
}

void RemoverClasseHook(const std::type_info& Tipo) {
  auto& r = Registro();
  r.erase(std::remove_if(r.begin(), r.end(), [&](const TClasseHook& c) { return *c.Tipo == Tipo; }), r.end());
}

const TClasseHook* ClasseHookDaMarca(const std::string& NomeMarca) {
  for (const auto& c : Registro())
    if (c.NomeMarcaClasse() == NomeMarca) return &c;
  return nullptr;
}

const TClasseHook* PrimeiraClasseHookDisponivel() {
  for (const auto& c : Registro())
    if (c.BibliotecaDisponivel()) return &c;
  return nullptr;
}

}  // namespace bilhetor
