// bilhetor: the print server (see --help).
#include <filesystem>
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
  // bilhetorw.exe is bilhetor.exe without a console window (Windows): the
  // same program, with the same settings file, bilhetor.ini, beside it.
  if (const std::filesystem::path programa(executavel); programa.stem() == "bilhetorw")
    executavel = (programa.parent_path() / ("bilhetor" + programa.extension().string())).string();
  bilhetor::RegistrarDesenhoPreview(bilhetor::DesenhoPreviewModulo(executavel));
  return bilhetor::ExecutarBilhetor(args, std::cout, std::cerr, executavel);
}
