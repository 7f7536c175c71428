// The simulated ESC/POS printer that the status tests talk to: its replies
// over a real loopback connection and a real socat pty pair.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
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

int Conectar(int porta) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(porta));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

TEST(EscPosPrinterSim, RepliesFollowTheConfiguredState) {
  EscPosPrinterSim sim;
  // Idle printer: fixed bits, drawer closed (pin 3 high), paper present.
  EXPECT_EQ(Hex(sim.Responder(0x10, 1)), "16");
  EXPECT_EQ(Hex(sim.Responder(0x10, 2)), "12");
  EXPECT_EQ(Hex(sim.Responder(0x10, 4)), "12");

  EstadoImpressoraSim e;
  e.tampaAberta = true;
  e.gavetaAberta = true;
  sim.SetEstado(e);
  EXPECT_EQ(Hex(sim.Responder(0x10, 1)), "1A");  // off line, drawer open
  EXPECT_EQ(Hex(sim.Responder(0x10, 2)), "16");  // cover open

  e = EstadoImpressoraSim();
  e.semPapel = true;
  sim.SetEstado(e);
  EXPECT_EQ(Hex(sim.Responder(0x10, 2)), "32");
  EXPECT_EQ(Hex(sim.Responder(0x10, 4)), "7E");

  e = EstadoImpressoraSim();
  e.consultasSemResposta = 2;
  sim.SetEstado(e);
  EXPECT_EQ(sim.Responder(0x10, 1), "");
  EXPECT_EQ(sim.Responder(0x10, 1), "");
  EXPECT_EQ(Hex(sim.Responder(0x10, 1)), "16");

  EXPECT_EQ(sim.Responder(0x1D, 0x42), std::string("_EPSON") + '\0');
  EXPECT_EQ(Hex(sim.Responder(0x1D, 0x32)), "02");
  EXPECT_EQ(sim.ConsultasStatus(), 10);
  EXPECT_EQ(sim.ConsultasInfo(), 2);
}

TEST(EscPosPrinterSim, AnswersOverLoopbackTcpAndRecordsPrintedBytes) {
  EscPosPrinterSim sim;
  const int porta = sim.IniciarTcp();
  ASSERT_GT(porta, 0);
  EXPECT_EQ(sim.NomePortaTcp(), "TCP:127.0.0.1:" + std::to_string(porta));
  const int fd = Conectar(porta);
  ASSERT_GE(fd, 0);
  Escrever(fd, "AB" + H("10 04 01") + "C");
  EXPECT_EQ(Hex(Ler(fd, 1)), "16");
  // A query split across two writes is still recognised.
  Escrever(fd, H("10"));
  ASSERT_TRUE(sim.AguardarRecebido(7));
  Escrever(fd, H("04 02"));
  EXPECT_EQ(Hex(Ler(fd, 1)), "12");
  ASSERT_TRUE(sim.AguardarRecebido(9));
  EXPECT_EQ(sim.Impresso(), "ABC");
  EXPECT_EQ(sim.Recebido(), "AB" + H("10 04 01") + "C" + H("10 04 02"));

  EstadoImpressoraSim e;
  e.silenciosa = true;
  sim.SetEstado(e);
  Escrever(fd, H("10 04 01"));
  EXPECT_EQ(Ler(fd, 1, 300), "");
  ::close(fd);
  // A second connection after the first closed is served too.
  e.silenciosa = false;
  sim.SetEstado(e);
  const int fd2 = Conectar(porta);
  ASSERT_GE(fd2, 0);
  Escrever(fd2, H("1D 49 43"));
  EXPECT_EQ(Ler(fd2, 8), std::string("_TM-T20") + '\0');
  ::close(fd2);
  EXPECT_TRUE(testing::WaitUntil([&] { return sim.Conexoes() == 2; }));
}

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
