#pragma once
// USB printers reached only through a maker's library: the engine binds its
// device's four hook slots to one hook object, chosen by the brand in the port
// name ("USB:EPSON") or, without a brand, by the first registered class whose
// library is available. This is the engine's side of that binding: the
// interface a hook object offers and the process-wide registry of hook
// classes, in registration order.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "posprinter/PosTypes.h"

namespace bilhetor {

class TPosPrinterHookObjeto {
 public:
  virtual ~TPosPrinterHookObjeto() = default;
  // Brand of the class ("EPSON", "ELGIN").
  virtual std::string NomeMarca() const = 0;
  // The model whose command set prints through this hook.
  virtual TPosPrinterModelo Modelo() const = 0;
  // Loads the library.
  virtual void Inicializar() = 0;
  virtual void Abrir(const std::string& APort) = 0;
  virtual void Fechar() = 0;
  virtual void Enviar(const std::string& cmd) = 0;
  virtual void Ler(int NumBytes, int ATimeOut, std::string& Retorno) = 0;
};

struct TPosPrinterHookClasse {
  std::string NomeMarca;
  std::function<bool()> BibliotecaDisponivel;
  std::function<std::unique_ptr<TPosPrinterHookObjeto>()> Criar;
};

// Adds a class to the registry; a brand already registered is left as it is.
void RegistrarClasseHook(TPosPrinterHookClasse classe);
// Removes the class of a brand (used when a library goes away, and by tests).
void RemoverClasseHook(const std::string& NomeMarca);
const std::vector<TPosPrinterHookClasse>& ClassesHook();

}  // namespace bilhetor
