#include "support/TestSupport.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "support/Soquetes.h"

namespace bilhetor::testing {

namespace fs = std::filesystem;

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

int FreeLoopbackPort() { return PortaLivre(); }

bool WaitUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (cond()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace bilhetor::testing
