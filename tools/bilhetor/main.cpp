// bilhetor: the print server (see --help).
#include <iostream>
#include <string>
#include <vector>

#include "app/DesenhoPreviewModulo.h"
#include "app/Plataforma.h"
#include "app/ServidorHeadless.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string executavel = bilhetor::ExecutavelAtual();
  if (executavel.empty()) executavel = argv[0];
  bilhetor::RegistrarDesenhoPreview(bilhetor::DesenhoPreviewModulo(executavel));
  return bilhetor::ExecutarBilhetor(args, std::cout, std::cerr, executavel);
}
