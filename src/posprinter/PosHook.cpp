#include "posprinter/PosHook.h"

#include <algorithm>

namespace bilhetor {

namespace {

std::vector<TPosPrinterHookClasse>& Registro() {
  static std::vector<TPosPrinterHookClasse> registro;
  return registro;
}

}  // namespace

void RegistrarClasseHook(TPosPrinterHookClasse classe) {
  auto& r = Registro();
  const bool existe = std::any_of(r.begin(), r.end(), [&](const TPosPrinterHookClasse& c) {
    return c.NomeMarca == classe.NomeMarca;
  });
  if (!existe) r.push_back(std::move(classe));
}

void RemoverClasseHook(const std::string& NomeMarca) {
  auto& r = Registro();
  r.erase(std::remove_if(r.begin(), r.end(), [&](const TPosPrinterHookClasse& c) { return c.NomeMarca == NomeMarca; }),
          r.end());
}

const std::vector<TPosPrinterHookClasse>& ClassesHook() { return Registro(); }

}  // namespace bilhetor
