#pragma once
// Small helpers shared by the tests: temporary folders, child processes, free
// loopback ports, waiting for a condition, whole-file reads and writes.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace bilhetor::testing {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it when
// the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A child process started with execvp; stopped with SIGTERM (then SIGKILL)
// when the object goes away. stdout/stderr go to the given log file, or are
// inherited when it is empty. On Windows it is started in a process group of
// its own: SIGTERM and SIGINT become a Ctrl-Break to that group, any other
// signal ends it at once, and Stop returns its exit code.
class ChildProcess {
 public:
  ChildProcess(std::vector<std::string> argv, const std::string& logFile = "");
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  bool Running();
  // Sends a signal; returns false when the process is gone.
  bool Signal(int sig);
  // Stops the process: SIGTERM, then SIGKILL after the grace period. Returns
  // its wait status.
  int Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(5000));

 private:
  pid_t pid_ = -1;
  void* processo_ = nullptr;  // the process handle on Windows
  bool reaped_ = false;
  int status_ = 0;
};

// A TCP port on 127.0.0.1 that nothing listened on when asked.
int FreeLoopbackPort();

// Polls cond every few milliseconds until it is true or the time-out passes.
bool WaitUntil(const std::function<bool()>& cond,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// Finds an executable on PATH (or in the sbin folders); empty when missing.
std::string FindProgram(const std::string& name);

// The exit code of a ChildProcess's Stop status (-1: ended by a signal).
int ExitCode(int status);
// A program of the build (BILHETOR_BINARY_DIR), by its path in the build
// without the system's suffix: "tools/bilhetor-print/bilhetor-print".
std::string BuildProgram(const std::string& path);

// Sets a variable of this process's environment (seen by the children it
// starts), and this process's id.
void SetEnv(const std::string& name, const std::string& value);
int ProcessId();

// The repository's source folder (for sample files), from the environment
// that ctest sets, or the compiled-in fallback.
std::string SourceDir();

// A path of the Linux machine, as the program under test sees it: under Wine
// "/work/x" is "Z:/work/x"; on Linux, and for other paths, the path itself.
std::string CaminhoDoAnfitriao(const std::string& caminho);

}  // namespace bilhetor::testing
