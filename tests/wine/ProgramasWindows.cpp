#include "ProgramasWindows.h"

#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>

namespace bilhetor::testing {

using namespace std::chrono_literals;

std::string PastaWindows() {
  const char* pasta = std::getenv("BILHETOR_WINDOWS_BINARY_DIR");
  return pasta ? pasta : "";
}

std::string ProgramaWindows(const std::string& nome) {
  return PastaWindows() + "/tools/" + nome + "/" + nome + ".exe";
}

Execucao Rodar(std::vector<std::string> argumentos, std::chrono::seconds limite) {
  TempDir dir;
  const std::string log = dir / "saida.txt";
  ChildProcess processo(std::move(argumentos), log);
  WaitUntil([&] { return !processo.Running(); }, limite);
  Execucao e;
  const int estado = processo.Stop(1000ms);
  e.status = WIFEXITED(estado) ? WEXITSTATUS(estado) : 128 + WTERMSIG(estado);
  e.saida = ReadFile(log);
  return e;
}

std::vector<std::string> SobWine(const std::string& programa, std::vector<std::string> argumentos) {
  argumentos.insert(argumentos.begin(), {SourceDir() + "/tests/wine/executar", programa});
  return argumentos;
}

void Interromper(ChildProcess& programa) {
  ::kill(-programa.Pid(), SIGINT);
  WaitUntil([&] { return !programa.Running(); }, 20000ms);
}

}  // namespace bilhetor::testing
