// The display on Windows: a session with a desktop the operator sees (not a
// service's), in which the window module shows the program in the
// notification area.
#include <windows.h>

#include "app/Plataforma.h"

namespace bilhetor {

const char* const kModuloJanela = "bilhetor-janela.dll";

bool ServidorXResponde() { return false; }

TTela VerTela() {
  USEROBJECTFLAGS flags{};
  const HWINSTA estacao = GetProcessWindowStation();
  if (estacao && GetUserObjectInformationW(estacao, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
      (flags.dwFlags & WSF_VISIBLE))
    return TTela::Plataforma;
  return TTela::Nenhuma;
}

}  // namespace bilhetor
