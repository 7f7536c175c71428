#include <cstdlib>

#include "support/UsbSubstituta.h"

namespace bilhetor::testing {

// The C library's environment, which the stand-ins' getenv reads (they share
// the system's C library with the test program).
void DefinirVariavelAmbiente(const char* Nome, const std::string& Valor) { _putenv_s(Nome, Valor.c_str()); }
void ApagarVariavelAmbiente(const char* Nome) { _putenv_s(Nome, ""); }

}  // namespace bilhetor::testing
