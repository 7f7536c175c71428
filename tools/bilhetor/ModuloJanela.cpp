// The window module of bilhetor: its one entry point (see CarregarJanela).
#include <iostream>
#include <type_traits>

#include "app/DesenhoPreviewModulo.h"
#include "app/Plataforma.h"
#include "gui/ProgramaJanela.h"

extern "C" __attribute__((visibility("default"))) int bilhetor_executar_janela(const char* executavel,
                                                                                const char* pasta, const char* estado,
                                                                                int tela) {
  // The module carries its own copy of the print server's libraries: the
  // drawing of PREVIEW: ports is registered in that copy too.
  bilhetor::RegistrarDesenhoPreview(bilhetor::DesenhoPreviewModulo(executavel));
  return bilhetor::ExecutarJanela(executavel, pasta, estado, static_cast<bilhetor::TTela>(tela), std::cerr);
}

static_assert(std::is_same_v<decltype(&bilhetor_executar_janela), bilhetor::TExecutarJanela>);
