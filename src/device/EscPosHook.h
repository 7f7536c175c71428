#pragma once
// USB printers reached only through a library of their maker. A device whose
// port is "USB", "DLL", "USB:brand" or "DLL:brand" does no input or output of
// its own: the engine binds the device's four hooks to one hook object,
// chosen by brand from the registry of hook classes below, and the object
// calls the maker's library.
//
// Life of a hook object:
//   created            not loaded, not open
//   Inicializar        the maker's library loaded and its functions looked up
//   Abrir(port)        the printer port open (the device's Ativar)
//   Enviar, Ler        any number of times
//   Fechar             the port closed (the device's Desativar); Abrir again
//   Finalizar          closed and the library released
// Abrir on an open hook, Fechar on a closed one and Inicializar on a loaded
// one do nothing. Destroying a hook runs Finalizar.
//
// Errors: EPosPrinterHook for a hook used out of order and for a library or
// function that cannot be loaded. The makers' open, close and send failures
// are plain Exceptions ("Erro ao Abrir porta USB da impressora EPSON").
// Every message is Windows-1252 text.
//
// Where the libraries are found: BibliotecaDisponivel looks for the file in
// the program's folder (PastaBibliotecas), and loading takes it from there
// when it lies there, else through the system's library search.
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "common/Exception.h"
#include "common/PosPrinterModelo.h"
#include "device/BibliotecaDinamica.h"

namespace bilhetor {

// Errors of the hook objects.
BILHETOR_DECLARE_ERROR(EPosPrinterHook);

// The messages of the hooks, printf patterns.
inline constexpr const char* cMsgHookNaoInicializada = "%s n\xE3o foi inicializada";           // class name
inline constexpr const char* cMsgHookNaoConectado = "N\xE3o conectado a impressora %s";        // brand
inline constexpr const char* cMsgHookErroFuncao = "Erro ao carregar a fun\xE7\xE3o: %s na Biblioteca: %s";
inline constexpr const char* cMsgHookErroInstanciaElgin =
    "Erro ao criar inst\xE2ncia do Objeto da impressora ELGIN: %d";  // library result
// Open, close and send failures (PortaHook, NomeMarca).
inline constexpr const char* cMsgHookErroAbrir = "Erro ao Abrir porta %s da impressora %s";
inline constexpr const char* cMsgHookErroFechar = "Erro ao Fechar a porta %s da impressora %s";
inline constexpr const char* cMsgHookErroEnviar = "Erro ao Enviar Dados para porta %s da impressora %s";

// The base of the hook classes. By itself it loads nothing and talks to no
// printer; each maker's class looks up its library's functions and calls them.
class TPosPrinterHook {
 public:
  // NomeMarca "NONE", no library, model ppEscPosEpson, no port; not loaded,
  // not open.
  TPosPrinterHook();
  virtual ~TPosPrinterHook();
  TPosPrinterHook(const TPosPrinterHook&) = delete;
  TPosPrinterHook& operator=(const TPosPrinterHook&) = delete;

  // --- state -----------------------------------------------------------------
  // Brand of the class ("EPSON", "ELGIN").
  const std::string& NomeMarca() const { return nomeMarca_; }
  // File name of the maker's library ("InterfaceEpsonNF.dll", "libInterfaceEpsonNF.so").
  const std::string& NomeDLL() const { return nomeDLL_; }
  // The model whose command set the engine prints with through this hook.
  TPosPrinterModelo Modelo() const { return modelo_; }
  // The port name handed to the library while open ("USB"); empty when closed.
  const std::string& PortaHook() const { return portaHook_; }
  // The class name the messages show ("TEpsonUSBPrinter").
  virtual std::string NomeClasse() const;

  // --- operations --------------------------------------------------------------
  // Loaded: Inicializar done (the library's functions looked up).
  virtual bool EstaCarregada() const;
  // Open: Abrir done.
  virtual bool EstaConectada() const;
  // Raise EPosPrinterHook "<class> não foi inicializada" unless loaded.
  virtual void VerificarCarregada() const;
  // Raise EPosPrinterHook "Não conectado a impressora <brand>" unless open.
  virtual void VerificarConectada() const;
  // Looks up the library's functions (CarregarFuncao for each); the base has
  // none.
  virtual void CarregarFuncoes();
  // Releases the library (each class also forgets its functions).
  virtual void DescarregarFuncoes();
  // Unless loaded: CarregarFuncoes, then loaded and closed. When a function
  // cannot be loaded the library is released and the hook stays unloaded.
  virtual void Inicializar();
  // When loaded: Fechar, DescarregarFuncoes, not loaded. A close that fails
  // stops here with its error (the hook stays loaded and open).
  virtual void Finalizar();
  // Unless open: the library is given the port "USB" for every hook port
  // name (those whose first three characters, in upper case, occur in
  // "USB|DLL"), any other name as it stands. Raises "não foi inicializada"
  // before Inicializar, leaving the hook closed.
  virtual void Abrir(const std::string& APort);
  // When open: closed, PortaHook empty.
  virtual void Fechar();
  // Sends cmd to the printer; raises "Não conectado" unless open.
  virtual void Enviar(const std::string& cmd);
  // Reads what the printer has to say (empty when nothing); raises "Não
  // conectado" unless open.
  virtual void Ler(int NumBytes, int ATimeOut, std::string& Retorno);

  // Asked of the class itself, without an object (every class declares its
  // own): whether its library can be used here, and its brand.
  static bool BibliotecaDisponivel() { return true; }
  static std::string NomeMarcaClasse() { return "NONE"; }

  // The folder the libraries are looked for in: the program's own folder
  // unless one is set (tests point it at a folder of their own; empty goes
  // back to the program's folder). Ends in "/".
  static std::string PastaBibliotecas();
  static void SetPastaBibliotecas(const std::string& Pasta);

 protected:
  // Whether the file Nome lies in PastaBibliotecas.
  static bool ArquivoNaPasta(const std::string& Nome);

  // Looks up the function Nome of the library NomeDLL, loading the library
  // first when this hook has not. Destino is the function, or nullptr with
  // EPosPrinterHook "Erro ao carregar a função: <Nome> na Biblioteca:
  // <NomeDLL>" raised when the library or the function cannot be loaded.
  template <typename F>
  void CarregarFuncao(const std::string& Nome, F& Destino) {
    Destino = nullptr;
    Destino = Biblioteca(Nome).Funcao<F>(Nome);
    if (!Destino) ErroFuncao(Nome);
  }

  // For the destructors of the classes: Finalizar with its errors dropped (a
  // destructor cannot raise). The library is released in any case.
  void FinalizarAoDestruir() noexcept;

  bool carregada_ = false;
  bool conectada_ = false;
  std::string nomeMarca_ = "NONE";
  std::string nomeDLL_;
  TPosPrinterModelo modelo_ = TPosPrinterModelo::ppEscPosEpson;
  std::string portaHook_;

 private:
  // The library, loaded now if needed; raises the load error for Nome.
  TBibliotecaDinamica& Biblioteca(const std::string& Nome);
  [[noreturn]] void ErroFuncao(const std::string& Nome) const;

  std::unique_ptr<TBibliotecaDinamica> biblioteca_;
};

// --- registry of hook classes ---------------------------------------------------

// A registered hook class: what the engine asks of the class itself, and how
// to make one of its objects.
struct TClasseHook {
  const std::type_info* Tipo;  // the class; one entry per class
  std::string (*NomeMarcaClasse)();
  bool (*BibliotecaDisponivel)();
  std::unique_ptr<TPosPrinterHook> (*Criar)();
};

template <typename T>
TClasseHook ClasseHook() {
  return {&typeid(T), &T::NomeMarcaClasse, &T::BibliotecaDisponivel,
          []() -> std::unique_ptr<TPosPrinterHook> { return std::make_unique<T>(); }};
}

// The process-wide list of hook classes, in registration order. It starts
// with TEpsonUSBPrinter, then TElginUSBPrinter.
const std::vector<TClasseHook>& ClassesHook();
// Adds a class at the end; a class already in the list is left where it is.
void RegistrarClasseHook(const TClasseHook& Classe);
template <typename T>
void RegistrarClasseHook() {
  RegistrarClasseHook(ClasseHook<T>());
}
// Takes a class out of the list (tests put their own classes in and out).
void RemoverClasseHook(const std::type_info& Tipo);
// The first registered class of the brand (exact text, as NomeMarcaClasse
// gives it), or nullptr.
const TClasseHook* ClasseHookDaMarca(const std::string& NomeMarca);
// The first registered class whose library is available, or nullptr.
const TClasseHook* PrimeiraClasseHookDisponivel();

}  // namespace bilhetor
