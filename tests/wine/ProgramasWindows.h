#pragma once
// What the tests that drive the Windows programs under Wine share: where the
// Windows build is, how a Linux path looks to them, running a program to its
// end, and the launcher (tests/wine/executar) in front of a Windows program.
#include <chrono>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace bilhetor::testing {

// The Windows build (BILHETOR_WINDOWS_BINARY_DIR); empty when not set.
std::string PastaWindows();
// tools/<nome>/<nome>.exe of the Windows build.
std::string ProgramaWindows(const std::string& nome);
// "Z:/tmp/x": a Linux path as the Windows programs see it.
inline std::string Z(const std::string& caminho) { return "Z:" + caminho; }

struct Execucao {
  int status = -1;
  std::string saida;
};

// Runs a program and waits for its end (killed after the time-out).
Execucao Rodar(std::vector<std::string> argumentos, std::chrono::seconds limite = std::chrono::seconds(120));

// The command line that runs a Windows program under Wine.
std::vector<std::string> SobWine(const std::string& programa, std::vector<std::string> argumentos);

// Ctrl-C, as a terminal gives it: SIGINT to the whole process group (the
// launcher scripts and Wine), which Wine hands to the program as a Ctrl-C.
void Interromper(ChildProcess& programa);

}  // namespace bilhetor::testing
