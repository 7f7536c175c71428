// The test helpers that talk to Linux itself: folders, processes, ports.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "support/TestSupport.h"

namespace bilhetor::testing {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/bilhetor-test-XXXXXX";
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

ChildProcess::ChildProcess(std::vector<std::string> argv, const std::string& logFile) {
  if (argv.empty()) throw std::invalid_argument("ChildProcess: empty argv");
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    setpgid(0, 0);
    // A signal the test process blocks (SIGTERM while it waits for it on a
    // signalfd) must not stay blocked in the program it starts.
    sigset_t nenhum;
    sigemptyset(&nenhum);
    sigprocmask(SIG_SETMASK, &nenhum, nullptr);
    if (!logFile.empty()) {
      const int fd = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (fd >= 0) {
        dup2(fd, 1);
        dup2(fd, 2);
        close(fd);
      }
    }
    const int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) {
      dup2(devnull, 0);
      close(devnull);
    }
    // Servers outlive a test run that is killed: they must not keep the
    // test's other files open (sockets, the lock a build tool holds).
    close_range(3, ~0U, 0);
    execvp(args[0], args.data());
    _exit(127);
  }
}

ChildProcess::~ChildProcess() { Stop(); }

bool ChildProcess::Running() {
  if (reaped_ || pid_ <= 0) return false;
  const pid_t r = waitpid(pid_, &status_, WNOHANG);
  if (r == pid_) {
    reaped_ = true;
    return false;
  }
  return true;
}

bool ChildProcess::Signal(int sig) {
  if (!Running()) return false;
  return kill(pid_, sig) == 0;
}

int ChildProcess::Stop(std::chrono::milliseconds grace) {
  if (pid_ <= 0 || reaped_) return status_;
  kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid_, &status_, WNOHANG) == pid_) {
      reaped_ = true;
      return status_;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &status_, 0);
  reaped_ = true;
  return status_;
}

std::string FindProgram(const std::string& name) {
  std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  path += ":/usr/sbin:/sbin:/usr/local/sbin";
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    const std::string dir = path.substr(start, end - start);
    if (!dir.empty()) {
      const std::string candidate = dir + "/" + name;
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    start = end + 1;
  }
  return "";
}

int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

std::string BuildProgram(const std::string& path) {
  const char* binario = std::getenv("BILHETOR_BINARY_DIR");
  return std::string(binario ? binario : ".") + "/" + path;
}

void SetEnv(const std::string& name, const std::string& value) { ::setenv(name.c_str(), value.c_str(), 1); }

int ProcessId() { return static_cast<int>(::getpid()); }

std::string CaminhoDoAnfitriao(const std::string& caminho) { return caminho; }

std::string SourceDir() {
  const char* env = std::getenv("BILHETOR_SOURCE_DIR");
  if (env && *env) return env;
  return BILHETOR_SOURCE_DIR_FALLBACK;
}

}  // namespace bilhetor::testing
