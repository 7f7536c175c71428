// The test helpers on Windows (the tests run under Wine): folders, processes,
// ports and the paths of the Linux side.
#include <windows.h>

#include <csignal>
#include <cstdlib>
#include <random>
#include <stdexcept>

#include "support/TestSupport.h"

namespace bilhetor::testing {

namespace {

// A command line that CommandLineToArgvW and the C runtime split back into
// the same arguments.
std::string Citar(const std::string& argumento) {
  if (!argumento.empty() && argumento.find_first_of(" \t\"") == std::string::npos) return argumento;
  std::string citado = "\"";
  std::size_t barras = 0;
  for (const char c : argumento) {
    if (c == '\\') {
      ++barras;
      continue;
    }
    citado.append(c == '"' ? barras * 2 + 1 : barras, '\\');
    barras = 0;
    citado += c;
  }
  citado.append(barras * 2, '\\');
  return citado + "\"";
}

}  // namespace

std::string CaminhoDoAnfitriao(const std::string& caminho) {
  // Wine shows the Linux root as drive Z:.
  return !caminho.empty() && caminho[0] == '/' ? "Z:" + caminho : caminho;
}

TempDir::TempDir() {
  char base[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof base, base);
  if (n == 0 || n > MAX_PATH) throw std::runtime_error("GetTempPath failed");
  std::random_device aleatorio;
  for (int tentativa = 0; tentativa < 100; ++tentativa) {
    const std::string pasta = std::string(base) + "bilhetor-test-" + std::to_string(aleatorio());
    if (CreateDirectoryA(pasta.c_str(), nullptr)) {
      path_ = pasta;
      return;
    }
  }
  throw std::runtime_error("CreateDirectory failed");
}

ChildProcess::ChildProcess(std::vector<std::string> argv, const std::string& logFile) {
  if (argv.empty()) throw std::invalid_argument("ChildProcess: empty argv");
  std::string linha;
  for (const std::string& a : argv) linha += (linha.empty() ? "" : " ") + Citar(a);
  STARTUPINFOA inicio{};
  inicio.cb = sizeof inicio;
  HANDLE log = INVALID_HANDLE_VALUE;
  if (!logFile.empty()) {
    SECURITY_ATTRIBUTES herdavel{sizeof herdavel, nullptr, TRUE};
    log = CreateFileA(logFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, &herdavel, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log != INVALID_HANDLE_VALUE) {
      inicio.dwFlags = STARTF_USESTDHANDLES;
      inicio.hStdInput = nullptr;
      inicio.hStdOutput = log;
      inicio.hStdError = log;
    }
  }
  PROCESS_INFORMATION info{};
  const BOOL criado = CreateProcessA(nullptr, linha.data(), nullptr, nullptr, log != INVALID_HANDLE_VALUE,
                                     CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &inicio, &info);
  if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
  if (!criado) throw std::runtime_error("CreateProcess failed: " + linha);
  CloseHandle(info.hThread);
  processo_ = info.hProcess;
  pid_ = static_cast<pid_t>(info.dwProcessId);
}

ChildProcess::~ChildProcess() {
  Stop();
  if (processo_) CloseHandle(static_cast<HANDLE>(processo_));
}

bool ChildProcess::Running() {
  if (reaped_ || !processo_) return false;
  if (WaitForSingleObject(static_cast<HANDLE>(processo_), 0) != WAIT_OBJECT_0) return true;
  DWORD codigo = 0;
  GetExitCodeProcess(static_cast<HANDLE>(processo_), &codigo);
  status_ = static_cast<int>(codigo);
  reaped_ = true;
  return false;
}

bool ChildProcess::Signal(int sig) {
  if (!Running()) return false;
  if (sig == SIGTERM || sig == SIGINT) return GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, static_cast<DWORD>(pid_));
  return TerminateProcess(static_cast<HANDLE>(processo_), 128 + static_cast<UINT>(sig));
}

int ChildProcess::Stop(std::chrono::milliseconds grace) {
  if (!Running()) return status_;
  GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, static_cast<DWORD>(pid_));
  if (WaitForSingleObject(static_cast<HANDLE>(processo_), static_cast<DWORD>(grace.count())) != WAIT_OBJECT_0)
    TerminateProcess(static_cast<HANDLE>(processo_), 137);
  WaitForSingleObject(static_cast<HANDLE>(processo_), INFINITE);
  Running();
  return status_;
}

std::string FindProgram(const std::string& name) {
  const char* caminho = std::getenv("PATH");
  std::string path = caminho ? caminho : "";
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(';', start);
    if (end == std::string::npos) end = path.size();
    const std::string dir = path.substr(start, end - start);
    for (const std::string& nome : {name, name + ".exe"}) {
      const std::string candidate = dir + "\\" + nome;
      if (!dir.empty() && GetFileAttributesA(candidate.c_str()) != INVALID_FILE_ATTRIBUTES) return candidate;
    }
    start = end + 1;
  }
  return "";
}

int ExitCode(int status) { return status; }

std::string BuildProgram(const std::string& path) {
  const char* binario = std::getenv("BILHETOR_BINARY_DIR");
  return CaminhoDoAnfitriao(binario ? binario : ".") + "/" + path + ".exe";
}

void SetEnv(const std::string& name, const std::string& value) { _putenv_s(name.c_str(), value.c_str()); }

int ProcessId() { return static_cast<int>(GetCurrentProcessId()); }

std::string SourceDir() {
  const char* env = std::getenv("BILHETOR_SOURCE_DIR");
  return CaminhoDoAnfitriao(env && *env ? env : BILHETOR_SOURCE_DIR_FALLBACK);
}

}  // namespace bilhetor::testing
