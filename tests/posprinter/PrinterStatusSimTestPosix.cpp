// The simulated ESC/POS printer over a socat pty pair (Linux: the simulator
// starts socat itself).
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "support/EscPosBytes.h"
#include "support/EscPosPrinterSim.h"

namespace bilhetor {
namespace {

using testing::EscPosPrinterSim;
using testing::EstadoImpressoraSim;
using testing_bytes::H;
using testing_bytes::Hex;

// Reads up to n bytes within the time-out.
std::string Ler(int fd, std::size_t n, int timeoutMs = 1000) {
  std::string r;
  while (r.size() < n) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) break;
    char buf[256];
    const ssize_t k = ::read(fd, buf, std::min(sizeof buf, n - r.size()));
    if (k <= 0) break;
    r.append(buf, static_cast<std::size_t>(k));
  }
  return r;
}

void Escrever(int fd, const std::string& s) { ASSERT_EQ(::write(fd, s.data(), s.size()), static_cast<ssize_t>(s.size())); }

TEST(EscPosPrinterSim, AnswersOverASocatPty) {
  EscPosPrinterSim sim;
  const std::string host = sim.IniciarPty();
  const int fd = ::open(host.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0) << host;
  termios t{};
  ASSERT_EQ(::tcgetattr(fd, &t), 0);
  ::cfmakeraw(&t);
  ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
  EstadoImpressoraSim e;
  e.poucoPapel = true;
  sim.SetEstado(e);
  Escrever(fd, "x" + H("10 04 04"));
  EXPECT_EQ(Hex(Ler(fd, 1)), "1E");
  ::close(fd);
  // The end can be opened again, as a device does at each activation.
  const int fd2 = ::open(host.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd2, 0);
  ::cfmakeraw(&t);
  ::tcsetattr(fd2, TCSANOW, &t);
  Escrever(fd2, H("10 04 01"));
  EXPECT_EQ(Hex(Ler(fd2, 1)), "16");
  ::close(fd2);
  EXPECT_EQ(sim.Impresso(), "x");
}

}  // namespace
}  // namespace bilhetor
