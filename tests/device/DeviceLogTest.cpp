// The device log on both platforms; the log file's locking and the logs that
// are not disk files (a FIFO, a terminal) have a file per platform
// (DeviceLogTestPosix.cpp, DeviceLogTestWin32.cpp).
#include <gtest/gtest.h>

#include <memory>

#include "device/Device.h"
#include "device/DeviceLog.h"
#include "transport/TcpSocket.h"
#include "DeviceTestSupport.h"

namespace bilhetor {
namespace {

using testing::LogLines;
using testing::ReadFile;
using testing::StillClock;
using testing::TempDir;
using testing::WriteFile;

TEST(TraduzirControles, NamesControlBytesAndKeepsPrintableOnes) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  const std::string r = TraduzirControles(all);
  EXPECT_EQ(r.substr(0, 28), "[NUL][SOH][STX][ETX][4][ENQ]");
  EXPECT_NE(r.find("[ACK][7][BS][TAB][LF][11][FF][CR][14]"), std::string::npos);
  EXPECT_NE(r.find("[16][WAK][18][19][20][NAK][22]"), std::string::npos);
  EXPECT_NE(r.find("[26][ESC][FS][GS][30][31] !\"#"), std::string::npos);
  EXPECT_NE(r.find("xyz{|}~[127][128]"), std::string::npos);
  EXPECT_EQ(r.substr(r.size() - 15), "[253][254][255]");
  EXPECT_EQ(TraduzirControles(""), "");
  EXPECT_EQ(TraduzirControles("A\x1B@\xC8"), "A[ESC]@[200]");
}

TEST(EscreverArquivoLog, AppendsLinesWithCrLf) {
  TempDir dir;
  const std::string log = dir / "x.log";
  EscreverArquivoLog(log, "um");
  EscreverArquivoLog(log, "dois");
  EXPECT_EQ(ReadFile(log), "um\r\ndois\r\n");
}

TEST(EscreverArquivoLog, EmptyTextWritesNothingToAnExistingFileButCreatesAMissingOne) {
  TempDir dir;
  const std::string log = dir / "x.log";
  EscreverArquivoLog(log, "");
  EXPECT_EQ(ReadFile(log), "\r\n");
  EscreverArquivoLog(log, "");
  EXPECT_EQ(ReadFile(log), "\r\n");
}

TEST(EscreverArquivoLog, FailuresAreSwallowed) {
  TempDir dir;
  EXPECT_NO_THROW(EscreverArquivoLog("", "x"));
  // Folders are not created.
  EXPECT_NO_THROW(EscreverArquivoLog(dir / "missing/x.log", "x"));
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
  // A folder where the file should be.
  std::filesystem::create_directory(dir / "d");
  EXPECT_NO_THROW(EscreverArquivoLog(dir / "d", "x"));
}

TEST(FormatarMomentoLog, TwoDigitFieldsAndThreeDigitMilliseconds) {
  TMomentoLog m;
  m.Dia = 8;
  m.Mes = 12;
  m.Hora = 4;
  m.Minuto = 3;
  m.Segundo = 7;
  m.Milissegundo = 15;
  EXPECT_EQ(FormatarMomentoLog(m), "08/12 04:03:07:015");
}

TEST(NomeClasseErro, GivesTheBareClassName) {
  EXPECT_EQ(NomeClasseErro(Exception("x")), "Exception");
  EXPECT_EQ(NomeClasseErro(EStreamError("x")), "EStreamError");
  EXPECT_EQ(NomeClasseErro(ESocketError(10060, "Connection timed out")), "ESocketError");
  EXPECT_EQ(NomeClasseErro(std::runtime_error("x")), "runtime_error");
}

class DeviceLogTest : public ::testing::Test {
 protected:
  DeviceLogTest() : clock(std::make_shared<StillClock>()), dev(std::make_shared<testing::ListSpooler>(), clock) {
    log = dir / "device.log";
  }
  TempDir dir;
  std::shared_ptr<StillClock> clock;
  TDevice dev;
  std::string log;
};

TEST_F(DeviceLogTest, TimedLinesHaveThePrefixAndOneBlank) {
  dev.SetArqLOG(log);
  dev.SetPorta("COM1");
  const std::string text = ReadFile(log);
  const std::string inicio =
      "-- 08/12 14:03:27:915 SetPorta(COM1)\r\n-- 08/12 14:03:27:915 DeduzirTipoPorta(COM1)\r\n-- ";
  EXPECT_EQ(text.substr(0, inicio.size()), inicio);
  EXPECT_EQ(LogLines(log), (std::vector<std::string>{"SetPorta(COM1)", "DeduzirTipoPorta(COM1)", "  dtSerial"}));
}

TEST_F(DeviceLogTest, NothingIsWrittenWithoutALogFile) {
  dev.SetPorta("COM1");
  dev.SetBaud(19200);
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST_F(DeviceLogTest, TranslatedLinesShowControlBytes) {
  dev.SetArqLOG(log);
  dev.EscreveLog("a\x1B" "b\n", true);
  dev.EscreveLog("a\x1B" "b", false);
  const auto lines = LogLines(log);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "a[ESC]b[LF]");
  EXPECT_EQ(lines[1], "a\x1B" "b");
}

TEST_F(DeviceLogTest, AnUnwritableLogNeverStopsTheDevice) {
  dev.SetArqLOG(dir / "no/such/folder/device.log");
  dev.SetPorta(dir / "out.txt");
  EXPECT_NO_THROW(dev.Ativar());
  EXPECT_NO_THROW(dev.EnviaString("abc"));
  EXPECT_EQ(ReadFile(dir / "out.txt"), "abc");
}

TEST_F(DeviceLogTest, DisparaErroLogsClassAndMessageThenRaises) {
  dev.SetArqLOG(log);
  try {
    dev.DisparaErro(EStreamError("falhou"));
    FAIL() << "no raise";
  } catch (const EStreamError& e) {
    EXPECT_EQ(e.Message(), "falhou");
  }
  EXPECT_EQ(LogLines(log), (std::vector<std::string>{"EStreamError: falhou"}));
}

TEST_F(DeviceLogTest, DestroyIsLogged) {
  {
    TDevice outro(std::make_shared<testing::ListSpooler>(), clock);
    outro.SetArqLOG(log);
  }
  EXPECT_EQ(LogLines(log), (std::vector<std::string>{"Destroy"}));
}

}  // namespace
}  // namespace bilhetor
