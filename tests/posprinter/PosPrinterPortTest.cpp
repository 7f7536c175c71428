// The engine against a loopback TCP printer stand-in and a serial cable made
// of a socat pty pair: what reaches the printer, when the port opens and
// closes, the initialization after closing, and the request/response primitive.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "device/Device.h"
#include "posprinter/PosPrinter.h"
#include "support/EngineTestCommandSet.h"
#include "support/LoopbackServer.h"
#include "support/SocatPty.h"
#include "support/TestSupport.h"
#include "SerialTeste.h"

namespace bilhetor {
namespace {

using testing::FabricaTeste;
using testing::LoopbackServer;
using testing::TempDir;

const std::string kInit = "{ESP}{PC2}";

struct MotorTcp {
  LoopbackServer servidor;
  TPosPrinter p{FabricaTeste};
  MotorTcp() {
    p.SetModelo(TPosPrinterModelo::ppEscPosEpson);
    p.SetPorta("TCP:" + servidor.Host() + ":" + servidor.PortText());
  }
};

TEST(PosPrinterTcp, PrintReachesTheListenerWithOneInitialization) {
  MotorTcp m;
  m.p.Ativar();
  m.p.Buffer().Add("<n>Pedido 57</n>");
  m.p.Imprimir("", false, true, true, 2);
  const std::string um = "{N+}Pedido 57{N-}\r\n";
  ASSERT_TRUE(m.servidor.WaitForReceived(kInit.size() + 2 * um.size()));
  m.p.Imprimir("fim");
  ASSERT_TRUE(m.servidor.WaitForText("fim"));
  EXPECT_EQ(m.servidor.Received(), kInit + um + um + "fim");
  EXPECT_EQ(m.servidor.Connections(), 1u);
}

TEST(PosPrinterTcp, ControlePortaConnectsPerCopyAndInitializesEachTime) {
  MotorTcp m;
  m.p.SetControlePorta(true);
  m.p.Imprimir("abc", false, true, true, 2);
  ASSERT_TRUE(m.servidor.WaitForClosedByClient(2));
  EXPECT_EQ(m.servidor.Connections(), 2u);
  EXPECT_EQ(m.servidor.ReceivedOn(0), kInit + "abc");
  EXPECT_EQ(m.servidor.ReceivedOn(1), kInit + "abc");
  EXPECT_TRUE(m.p.Ativo());
  EXPECT_FALSE(m.p.Device().Ativo());
}

TEST(PosPrinterTcp, ClosingANetworkPortMakesTheNextSendInitializeAgain) {
  MotorTcp m;
  m.p.Ativar();
  m.p.Imprimir("a");
  ASSERT_TRUE(m.servidor.WaitForText(kInit + "a"));
  m.p.DesativarPorta();
  EXPECT_TRUE(m.p.Ativo());
  EXPECT_FALSE(m.p.InicializacaoEnviada());
  m.p.Imprimir("b");
  ASSERT_TRUE(m.servidor.WaitForConnections(2));
  ASSERT_TRUE(m.servidor.WaitForText(kInit + "b"));
  EXPECT_EQ(m.servidor.ReceivedOn(1), kInit + "b");
}

TEST(PosPrinterTcp, ConnectionRefusedPassesOutAndLeavesTheEngineInactive) {
  TPosPrinter p;
  p.SetPorta("TCP:127.0.0.1:" + std::to_string(testing::FreeLoopbackPort()));
  p.Device().SetTimeOut(1);
  EXPECT_ANY_THROW(p.Ativar());
  EXPECT_FALSE(p.Ativo());
  EXPECT_FALSE(p.Device().Ativo());
}

TEST(PosPrinterTcp, TransmitirReceberSendsReadsAndRestoresTheTimeOut) {
  MotorTcp m;
  TempDir dir;
  m.p.SetArqLOG(dir / "engine.log");
  m.p.SetRelogio([] { return TMomentoLog{2026, 1, 2, 3, 4, 5, 6}; });
  m.servidor.AddAnswer(std::string("\x10\x04\x01", 3), "\x16");
  m.servidor.AddAnswer("\x1D\x49\x42", "_EPSON\r");
  m.p.Ativar();
  const int antes = m.p.Device().TimeOutMilissegundos();
  EXPECT_EQ(m.p.TransmitirReceber(std::string("\x10\x04\x01", 3), 1, 500, false), "\x16");
  EXPECT_EQ(m.p.TransmitirReceber("\x1D\x49\x42", 13, 500, true), "_EPSON");
  EXPECT_EQ(m.p.Device().TimeOutMilissegundos(), antes);
  // Requests go straight to the port: no initialization in front of them.
  EXPECT_EQ(m.servidor.Received(), std::string("\x10\x04\x01\x1D\x49\x42", 6));
  const std::string log = testing::ReadFile(dir / "engine.log");
  EXPECT_NE(log.find("-- 02/01 03:04:05:006 - TX -> [16][4][SOH]\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("-- 02/01 03:04:05:006 - RX <- [22]\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("-- 02/01 03:04:05:006 - RX <- _EPSON\r\n"), std::string::npos) << log;
}

TEST(PosPrinterTcp, TransmitirReceberTimeOutRaisesAndStillRestores) {
  MotorTcp m;
  TempDir dir;
  m.p.SetArqLOG(dir / "engine.log");
  m.p.Ativar();
  const int antes = m.p.Device().TimeOutMilissegundos();
  EXPECT_ANY_THROW(m.p.TransmitirReceber("?", 1, 200, false));
  EXPECT_EQ(m.p.Device().TimeOutMilissegundos(), antes);
  const std::string log = testing::ReadFile(dir / "engine.log");
  EXPECT_NE(log.find("TX -> ?"), std::string::npos);
  EXPECT_EQ(log.find("RX <-"), std::string::npos);
}

// --- serial ----------------------------------------------------------------

struct MotorSerial {
  testing::SocatPty pty;
  TempDir dev;
  TPosPrinter p{FabricaTeste};
  std::string porta;
  MotorSerial() {
    p.SetModelo(TPosPrinterModelo::ppEscPosEpson);
    porta = LigarAoPty(pty, p.Device(), dev);
    p.SetPorta(porta);
  }
};

TEST(PosPrinterSerial, ASerialPrinterKeepsItsInitializationWhileThePortIsClosed) {
  if (testing::SocatPath().empty()) FAIL() << testing::kSocatMissing;
  MotorSerial m;
  m.p.Ativar();
  m.p.Imprimir("abc", false, true, true, 2);
  EXPECT_EQ(m.pty.PeerRead(kInit.size() + 6), kInit + "abcabc");
  // Closing the serial port does not make the next send initialize again
  // (a network or file port would: see the TCP tests).
  m.p.DesativarPorta();
  EXPECT_FALSE(m.p.Device().Ativo());
  EXPECT_TRUE(m.p.InicializacaoEnviada());
  EXPECT_TRUE(m.p.Ativo());
}

TEST(PosPrinterSerial, ActivationLogNamesTheSerialSettings) {
  if (testing::SocatPath().empty()) FAIL() << testing::kSocatMissing;
  MotorSerial m;
  TempDir dir;
  m.p.SetArqLOG(dir / "engine.log");
  m.p.Device().SetBaud(19200);
  m.p.Ativar();
  const std::string log = testing::ReadFile(dir / "engine.log");
  EXPECT_NE(log.find("\r\n  - Modelo.: Teste\r\n  - TimeOut: 3\r\n  - Serial.: " + m.porta + " - BAUD=19200 DATA=8 PARITY=N "
                     "STOP=1 HANDSHAKE= MAXBANDWIDTH=0 SENDBYTESCOUNT=0 SENDBYTESINTERVAL=0\r\n"),
            std::string::npos)
      << log;
  m.p.Imprimir("x");
  EXPECT_EQ(m.pty.PeerRead(kInit.size() + 1), kInit + "x");
}

}  // namespace
}  // namespace bilhetor
