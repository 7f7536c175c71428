// The window module of bilhetor on Windows (bilhetor-janela.dll): its one
// entry point (see CarregarJanela), the only name the library exports.
#include <iostream>
#include <type_traits>

#include "app/Plataforma.h"
#include "gui/ProgramaJanela.h"

extern "C" __declspec(dllexport) int bilhetor_executar_janela(const char* executavel, const char* pasta,
                                                              const char* estado, int tela) {
  return bilhetor::ExecutarJanela(executavel, pasta, estado, static_cast<bilhetor::TTela>(tela), std::cerr);
}

static_assert(std::is_same_v<decltype(&bilhetor_executar_janela), bilhetor::TExecutarJanela>);
