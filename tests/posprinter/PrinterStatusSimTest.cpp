// The simulated ESC/POS printer that the status tests talk to: its replies,
// and over a real loopback connection (both platforms); over a socat pty
// pair in PrinterStatusSimTestPosix.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/EscPosBytes.h"
#include "support/EscPosPrinterSim.h"
#include "support/Soquetes.h"

namespace bilhetor {
namespace {

using testing::EscPosPrinterSim;
using testing::EstadoImpressoraSim;
using testing::SoqueteTeste;
using testing_bytes::H;
using testing_bytes::Hex;

// Reads up to n bytes within the time-out.
std::string Ler(SoqueteTeste s, std::size_t n, int timeoutMs = 1000) {
  std::string r;
  while (r.size() < n) {
    if (testing::Aguardar(s, false, timeoutMs) <= 0) break;
    char buf[256];
    const long k = testing::Receber(s, buf, std::min(sizeof buf, n - r.size()));
    if (k <= 0) break;
    r.append(buf, static_cast<std::size_t>(k));
  }
  return r;
}

void Escrever(SoqueteTeste s, const std::string& bytes) { ASSERT_TRUE(testing::EnviarTudo(s, bytes, 1000)); }

SoqueteTeste Conectar(int porta) { return testing::Conectar(testing::FamiliaTeste::IPv4, porta); }

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
  const SoqueteTeste fd = Conectar(porta);
  ASSERT_NE(fd, testing::kSemSoquete);
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
  testing::Fechar(fd);
  // A second connection after the first closed is served too.
  e.silenciosa = false;
  sim.SetEstado(e);
  const SoqueteTeste fd2 = Conectar(porta);
  ASSERT_NE(fd2, testing::kSemSoquete);
  Escrever(fd2, H("1D 49 43"));
  EXPECT_EQ(Ler(fd2, 8), std::string("_TM-T20") + '\0');
  testing::Fechar(fd2);
  EXPECT_TRUE(testing::WaitUntil([&] { return sim.Conexoes() == 2; }));
}

}  // namespace
}  // namespace bilhetor
