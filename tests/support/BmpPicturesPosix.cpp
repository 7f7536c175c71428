// ImageMagick's convert on Linux, started with posix_spawn.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/BmpPictures.h"
#include "support/TestSupport.h"

namespace bilhetor::testing {

namespace {

// Debian's ImageMagick, when installed, before any other "convert" that may
// come earlier on PATH.
std::string ConvertProgram() {
  return access("/usr/bin/convert", X_OK) == 0 ? std::string("/usr/bin/convert") : FindProgram("convert");
}

}  // namespace

bool ConvertAvailable() { return !ConvertProgram().empty(); }

bool RunConvert(const std::vector<std::string>& args) {
  const std::string program = ConvertProgram();
  if (program.empty()) return false;
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, cargv.data(), environ) != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace bilhetor::testing
