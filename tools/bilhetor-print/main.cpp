// bilhetor-print: prints a tagged text through the printer engine (see --help).
// Where the receipt preview is built, it draws --preview, --desenhar and the
// pictures of PREVIEW: ports (Desenho.h).
#include <iostream>
#include <string>
#include <vector>

#include "Desenho.h"
#include "app/Plataforma.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string executavel = bilhetor::ExecutavelAtual();
  if (executavel.empty()) executavel = argv[0];
  const bilhetor::TDesenharPreview desenhar = bilhetor::DesenhoDoPrograma();
  return bilhetor::ExecutarBilhetorPrint(args, std::cin, std::cout, std::cerr, executavel, desenhar);
}
