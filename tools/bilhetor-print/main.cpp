// bilhetor-print: prints a tagged text through the printer engine (see --help).
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/PrintTool.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::error_code ec;
  std::string executavel = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  if (ec) executavel = argv[0];
  return bilhetor::ExecutarBilhetorPrint(args, std::cin, std::cout, std::cerr, executavel);
}
