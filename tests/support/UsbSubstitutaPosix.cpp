#include <cstdlib>

#include "support/UsbSubstituta.h"

namespace bilhetor::testing {

void DefinirVariavelAmbiente(const char* Nome, const std::string& Valor) { setenv(Nome, Valor.c_str(), 1); }
void ApagarVariavelAmbiente(const char* Nome) { unsetenv(Nome); }

}  // namespace bilhetor::testing
