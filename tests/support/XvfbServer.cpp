#include "support/XvfbServer.h"

#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace bilhetor::testing {

XvfbServer::XvfbServer() {
  const std::string xvfb = FindProgram("Xvfb");
  if (xvfb.empty()) throw std::runtime_error("Xvfb is not installed (Debian package xvfb)");
  for (int n = 100 + ::getpid() % 800, tentativas = 0; tentativas < 20; ++n, ++tentativas) {
    const std::string soquete = "/tmp/.X11-unix/X" + std::to_string(n);
    std::error_code ec;
    if (std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock", ec) || std::filesystem::exists(soquete, ec))
      continue;
    auto processo = std::make_unique<ChildProcess>(
        std::vector<std::string>{xvfb, ":" + std::to_string(n), "-nolisten", "tcp", "-noreset", "-screen", "0",
                                 "1024x768x24"},
        dir_ / "xvfb.log");
    // Ready once its socket is there; gone when another server took the
    // number first.
    if (WaitUntil([&] { return std::filesystem::exists(soquete) || !processo->Running(); },
                  std::chrono::milliseconds(10000)) &&
        processo->Running()) {
      processo_ = std::move(processo);
      display_ = ":" + std::to_string(n);
      return;
    }
  }
  throw std::runtime_error("no display could be started: " + ReadFile(dir_ / "xvfb.log"));
}

XvfbServer::~XvfbServer() = default;

}  // namespace bilhetor::testing
