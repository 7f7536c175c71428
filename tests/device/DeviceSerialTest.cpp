// Serial ports on socat pseudo-terminal pairs, as the device reaches them by
// a COM name: what the device promises on every platform.
#include "DeviceSerialTest.h"

#include <thread>

namespace bilhetor {
namespace {

using testing::ListSpooler;
using testing::LogLines;
using testing::StillClock;
using testing::TempDir;

TEST_F(DeviceSerialTest, LogOfActivatingAComPortAndSendingTwelveBytes) {
  dev->SetPorta(porta);
  dev->SetArqLOG(dir / "d.log");
  dev->Ativar();
  ASSERT_TRUE(dev->Ativo());
  const std::string texto = "\x1B@Bilhetor\r\n";
  ASSERT_EQ(texto.size(), 12u);
  dev->EnviaString(texto);
  EXPECT_EQ(pty->PeerRead(12), texto);
  EXPECT_EQ(LogLines(dir / "d.log"),
            (std::vector<std::string>{"Ativar - Porta:" + porta, "TryCloseSocket - Serial", "  Serial.InstanceActive",
                                      "  Serial.Connect(" + porta + ")", "ConfiguraSerial",
                                      "EnviaString([ESC]@Bilhetor[CR][LF])",
                                      "EnviaStringSerial([ESC]@Bilhetor[CR][LF])", "  BytesToSend:12"}));
  for (const auto& linha : LogLines(dir / "d.log", false)) EXPECT_EQ(linha.substr(0, 22), "-- 08/12 14:03:27:915 ");
}

TEST_F(DeviceSerialTest, ConfiguraSerialLogsTheLinesItRaises) {
  dev->SetPorta(porta);
  dev->SetHandShake(THandShake::hsRTS_CTS);
  dev->SetArqLOG(dir / "d.log");
  dev->Ativar();
  auto linhas = LogLines(dir / "d.log");
  EXPECT_EQ(std::vector<std::string>(linhas.begin() + 4, linhas.end()),
            (std::vector<std::string>{"ConfiguraSerial", "  Serial.RTS"}));
}

TEST_F(DeviceSerialTest, MissingPortIsNotFound) {
  dev->SetPorta("COM250");
  dev->SetArqLOG(dir / "d.log");
  std::string classe;
  EXPECT_EQ(ExpectRaise([&] { dev->Ativar(); }, &classe), "Porta COM250 n\xE3o encontrada");
  EXPECT_EQ(classe, "ESocketError");
  EXPECT_FALSE(dev->Ativo());
  EXPECT_FALSE(dev->Serial().InstanceActive());
  EXPECT_EQ(LogLines(dir / "d.log").back(), "ESocketError: Porta COM250 n\xE3o encontrada");
}

TEST_F(DeviceSerialTest, ReadingExactCountTerminatorOrWhateverArrives) {
  dev->SetPorta(porta);
  dev->Ativar();
  pty->PeerWrite("\x10\x0F");
  EXPECT_EQ(dev->LeString(500, 2, ""), "\x10\x0F");
  pty->PeerWrite("abc\x03resto");
  EXPECT_EQ(dev->LeString(500, 0, "\x03"), "abc");
  EXPECT_EQ(dev->LeString(500, 0, ""), "resto");
  std::string classe;
  const std::string msg = ExpectRaise([&] { dev->LeString(200, 1, ""); }, &classe);
  EXPECT_EQ(classe, "ESerialError");
  EXPECT_EQ(msg, "Communication error 9997: Timeout during operation");
  EXPECT_TRUE(dev->Ativo());
}

TEST_F(DeviceSerialTest, ReadingWithoutATimeOutUsesTimeOutInSeconds) {
  dev->SetPorta(porta);
  dev->SetTimeOut(1);
  dev->Ativar();
  const auto inicio = std::chrono::steady_clock::now();
  EXPECT_THROW(dev->LeString(0, 1, ""), ESerialError);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - inicio).count();
  EXPECT_GE(ms, 900);
  EXPECT_LT(ms, 5000);
}

TEST_F(DeviceSerialTest, LimparDropsWhatIsPending) {
  dev->SetPorta(porta);
  dev->Ativar();
  pty->PeerWrite("lixo antigo");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  dev->Limpar();
  pty->PeerWrite("OK");
  EXPECT_EQ(dev->LeString(1000, 2, ""), "OK");
}

TEST_F(DeviceSerialTest, PiecesAndPausesOfASerialSend) {
  dev->SetPorta(porta);
  dev->SetArqLOG(dir / "d.log");
  dev->Ativar();
  dev->SetSendBytesCount(4);
  dev->SetSendBytesInterval(25);
  dev->EnviaString("0123456789");
  EXPECT_EQ(pty->PeerRead(10), "0123456789");
  EXPECT_EQ(clock->sleeps, (std::vector<int>{25, 25, 25}));
  auto linhas = LogLines(dir / "d.log");
  EXPECT_EQ(std::vector<std::string>(linhas.end() - 6, linhas.end()),
            (std::vector<std::string>{"  BytesToSend:4", "  Sleep(25)", "  BytesToSend:4", "  Sleep(25)",
                                      "  BytesToSend:4", "  Sleep(25)"}));
}

TEST_F(DeviceSerialTest, NegativeSendBytesCountSendsAtOnce) {
  dev->SetPorta(porta);
  dev->Ativar();
  dev->SetSendBytesCount(-3);
  dev->EnviaString("tudo de uma vez");
  EXPECT_EQ(pty->PeerRead(15), "tudo de uma vez");
}

TEST_F(DeviceSerialTest, ActivatingTwiceAndDeactivating) {
  dev->SetPorta(porta);
  dev->Ativar();
  dev->SetArqLOG(dir / "d.log");
  dev->Ativar();  // already active: nothing
  EXPECT_FALSE(std::filesystem::exists(dir / "d.log"));
  EXPECT_NO_THROW(dev->SetPorta(porta));
  EXPECT_THROW(dev->SetPorta(LowerCase(porta)), Exception);
  dev->Desativar();
  EXPECT_FALSE(dev->Ativo());
  EXPECT_FALSE(dev->Serial().InstanceActive());
  EXPECT_EQ(LogLines(dir / "d.log"),
            (std::vector<std::string>{"SetPorta(" + LowerCase(porta) + ")",
                                      "Exception: N\xE3o \xE9 poss\xEDvel mudar a Porta com o Dispositivo Ativo",
                                      "Desativar", "TryCloseSocket - Serial", "  Serial.InstanceActive",
                                      "  Serial.CloseSocket"}));
  EXPECT_TRUE(dev->Serial().RaiseExcept());
  dev->Desativar();  // inactive: nothing more
  EXPECT_EQ(LogLines(dir / "d.log").size(), 6u);
}

TEST_F(DeviceSerialTest, ACablePulledMidSendRaisesAndTheDeviceRecovers) {
  if (const char* why = testing::SocatPty::StopUnavailable()) GTEST_SKIP() << why;
  dev->SetPorta(porta);
  dev->SetTimeOut(1);
  dev->Ativar();
  pty->Stop();
  EXPECT_THROW(dev->EnviaString(std::string(100000, 'x')), Exception);
  EXPECT_TRUE(dev->Ativo());
  dev->Desativar();
  pty = std::make_unique<testing::SocatPty>();
  ASSERT_EQ(PortaDoPty(*pty, dir, 1), porta);
  dev->Ativar();
  dev->EnviaString("de novo");
  EXPECT_EQ(pty->PeerRead(7), "de novo");
}

// The printer holds the line with XOFF (software handshake): the ticket does
// not go out, and the send raises the serial port's time-out error after
// TimeOut instead of returning as if printed.
TEST_F(DeviceSerialTest, ATicketToALineHeldByXoffRaisesTheTimeOut) {
  dev->SetPorta(porta);
  dev->SetParamsString("HANDSHAKE=XON/XOFF");
  dev->SetTimeOut(1);
  dev->Ativar();
  pty->PeerWrite("\x13");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::string classe;
  const auto inicio = std::chrono::steady_clock::now();
  EXPECT_EQ(ExpectRaise([&] { dev->EnviaString(Ticket(3078)); }, &classe),
            "Communication error 9997: Timeout during operation");
  EXPECT_EQ(classe, "ESerialError");
  EXPECT_GE(std::chrono::steady_clock::now() - inicio, std::chrono::milliseconds(900));
  EXPECT_TRUE(dev->Ativo());
  EXPECT_EQ(pty->PeerDrain(), "");
  pty->PeerWrite("\x11");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  dev->EnviaString("ok");
  EXPECT_EQ(pty->PeerRead(2), "ok");
}

// A serial port whose writes the test decides, for the retry count.
class ScriptedSerialDevice : public TDevice {
 public:
  using TDevice::TDevice;
  std::vector<int> results;  // one per write; 0 = nothing written
  std::string written;

 protected:
  int EscreverSerial(const char* dados, int tamanho) override {
    int r = 0;
    if (!results.empty()) {
      r = std::min(results.front(), tamanho);
      results.erase(results.begin());
    }
    if (r > 0) written.append(dados, static_cast<size_t>(r));
    return r;
  }
};

TEST(DeviceSerialRetry, TenEmptyWritesInARowRaise) {
  auto clock = std::make_shared<StillClock>();
  TempDir dir;
  ScriptedSerialDevice dev(std::make_shared<ListSpooler>(), clock);
  dev.SetPorta("COM1");
  dev.SetArqLOG(dir / "d.log");
  try {
    dev.EnviaStringSerial("abc");
    FAIL() << "no raise";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Erro ao enviar dados para a porta: COM1");
  }
  const auto linhas = LogLines(dir / "d.log");
  EXPECT_EQ(std::count(linhas.begin(), linhas.end(), "  BytesToSend:3"), 10);
  EXPECT_EQ(linhas[linhas.size() - 2], "  FailCount:10");
}

TEST(DeviceSerialRetry, AWriteInBetweenResetsTheCountAndShortWritesResendTheRest) {
  auto clock = std::make_shared<StillClock>();
  ScriptedSerialDevice dev(std::make_shared<ListSpooler>(), clock);
  dev.SetPorta("COM1");
  dev.results = {0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 100};
  dev.EnviaStringSerial("abcdef");
  EXPECT_EQ(dev.written, "abcdef");
  EXPECT_TRUE(dev.results.empty());
}

}  // namespace
}  // namespace bilhetor
