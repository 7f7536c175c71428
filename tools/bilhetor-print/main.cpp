// bilhetor-print: prints a tagged text through the printer engine (see --help).
// It links the receipt preview, which draws --preview, --desenhar and the
// pictures of PREVIEW: ports.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/PrintTool.h"
#include "device/Device.h"
#include "preview/Preview.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::error_code ec;
  std::string executavel = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  if (ec) executavel = argv[0];
  const bilhetor::TDesenharPreview desenhar = [](const std::string& bytes, const std::string& arquivo, int papel) {
    using bilhetor::preview::TOpcoesPreview;
    return bilhetor::preview::GravarPngEscPos(
        bytes, arquivo, papel == 58 ? TOpcoesPreview::Papel58mm() : TOpcoesPreview::Papel80mm());
  };
  bilhetor::RegistrarDesenhoPreview([](const std::string& bytes, const std::string& arquivo) {
    bilhetor::preview::GravarPngEscPos(bytes, arquivo);
  });
  return bilhetor::ExecutarBilhetorPrint(args, std::cin, std::cout, std::cerr, executavel, desenhar);
}
