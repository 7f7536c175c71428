// Port classification, the port name grammar, the serial settings, the
// time-outs and the parameter string.
#include <gtest/gtest.h>

#include <memory>

#include "device/Device.h"
#include "transport/TcpSocket.h"
#include "DeviceTestSupport.h"

namespace bilhetor {
namespace {

using testing::ListSpooler;
using testing::LogLines;
using testing::StillClock;
using testing::TempDir;

class DevicePortTest : public ::testing::Test {
 protected:
  DevicePortTest()
      : spooler(std::make_shared<ListSpooler>()), clock(std::make_shared<StillClock>()), dev(spooler, clock) {
    spooler->lista.Nomes = {"Epson_TM20", "\\\\SRV01\\EPSON", "Elgin"};
  }
  std::string ExpectRaise(const std::function<void()>& f) {
    try {
      f();
    } catch (const Exception& e) {
      return e.Message();
    }
    ADD_FAILURE() << "no raise";
    return "";
  }
  std::shared_ptr<ListSpooler> spooler;
  std::shared_ptr<StillClock> clock;
  TDevice dev;
  TempDir dir;
};

TEST_F(DevicePortTest, ClassificationRulesInOrder) {
  struct Case {
    const char* porta;
    TDeviceType tipo;
  } cases[] = {
      {"*", TDeviceType::dtRawPrinter},
      {"tcp:10.0.0.5", TDeviceType::dtTCP},
      {"TCP:host.txt", TDeviceType::dtTCP},          // rule 2 before rule 4
      {"RAW:Qualquer", TDeviceType::dtRawPrinter},   // no check before Ativar
      {"raw:*", TDeviceType::dtRawPrinter},
      {"RAW:out.txt", TDeviceType::dtRawPrinter},    // rule 3 before rule 4
      {"C:\\temp\\cupom.txt", TDeviceType::dtFile},  // rule 4
      {"cupom.TXT", TDeviceType::dtFile},
      {"LPT1.txt", TDeviceType::dtFile},             // rule 4 before rule 6
      {"file:/tmp/x.prn", TDeviceType::dtFile},
      {"LPT1", TDeviceType::dtParallel},
      {"lpt2", TDeviceType::dtParallel},
      {"COM1", TDeviceType::dtSerial},
      {"com12", TDeviceType::dtSerial},
      {"\\\\.\\ttyUSB0", TDeviceType::dtSerial},
      {"/dev/ttyUSB0", TDeviceType::dtSerial},
      {"/dev/rfcomm0", TDeviceType::dtSerial},
      {"/dev/usb/lp0", TDeviceType::dtParallel},
      {"/dev/lp0", TDeviceType::dtParallel},
      {"USB", TDeviceType::dtHook},
      {"DLL", TDeviceType::dtHook},
      {"usb:elgin", TDeviceType::dtHook},
      {"DLL:EPSON", TDeviceType::dtHook},
      {"SB", TDeviceType::dtHook},
      {"LL", TDeviceType::dtHook},
      {"B|D", TDeviceType::dtHook},
      {"D", TDeviceType::dtHook},
      {"d", TDeviceType::dtHook},
      {"Dxx", TDeviceType::dtNenhum},                // "DXX" is not inside "USB|DLL"
      {"epson_tm20", TDeviceType::dtRawPrinter},     // installed printer, any case
      {"EPSON", TDeviceType::dtNenhum},              // only a network queue's part
      {"C:\\temp\\out.prn", TDeviceType::dtFile},    // rule 11
      {"out.prn", TDeviceType::dtNenhum},
      {"", TDeviceType::dtNenhum},
      {"/dev/ttyS", TDeviceType::dtSerial},
      {"/tmp/printer", TDeviceType::dtNenhum},
  };
  for (const auto& c : cases) EXPECT_EQ(dev.DeduzirTipoPorta(c.porta), c.tipo) << "port " << c.porta;
}

TEST_F(DevicePortTest, TheSpoolerIsAskedOnlyWhenEarlierRulesFail) {
  dev.DeduzirTipoPorta("COM1");
  dev.DeduzirTipoPorta("");
  EXPECT_EQ(spooler->listings, 0);
  dev.DeduzirTipoPorta("out.prn");
  EXPECT_EQ(spooler->listings, 1);
}

TEST_F(DevicePortTest, ClassificationLogsTheResultName) {
  dev.SetArqLOG(dir / "d.log");
  dev.DeduzirTipoPorta("usb");
  EXPECT_EQ(LogLines(dir / "d.log"), (std::vector<std::string>{"DeduzirTipoPorta(usb)", "  dtHook"}));
}

TEST_F(DevicePortTest, SetPortaStoresSerialAndParallelNamesInUpperCase) {
  dev.SetPorta("com3");
  EXPECT_EQ(dev.Porta(), "COM3");
  EXPECT_EQ(dev.DeviceType(), TDeviceType::dtSerial);
  EXPECT_TRUE(dev.IsSerial());
  dev.SetPorta("lpt1");
  EXPECT_EQ(dev.Porta(), "LPT1");
  EXPECT_EQ(dev.DeviceType(), TDeviceType::dtParallel);
  dev.SetPorta("tcp:10.0.0.5");
  EXPECT_EQ(dev.Porta(), "tcp:10.0.0.5");
  EXPECT_TRUE(dev.IsTCP());
  dev.SetPorta("Usb");
  EXPECT_TRUE(dev.IsHook());
  dev.SetPorta("x.txt");
  EXPECT_TRUE(dev.IsFile());
  dev.SetPorta("");
  EXPECT_EQ(dev.DeviceType(), TDeviceType::dtNenhum);
}

TEST_F(DevicePortTest, SamePortIsIgnoredButAnotherRaisesWhileActive) {
  const std::string arquivo = dir / "cupom.txt";
  dev.SetPorta(arquivo);
  dev.Ativar();
  ASSERT_TRUE(dev.Ativo());
  dev.SetArqLOG(dir / "d.log");
  EXPECT_NO_THROW(dev.SetPorta(arquivo));
  EXPECT_FALSE(std::filesystem::exists(dir / "d.log"));  // nothing at all happened
  EXPECT_EQ(ExpectRaise([&] { dev.SetPorta(dir / "CUPOM.TXT"); }),
            "N\xE3o \xE9 poss\xEDvel mudar a Porta com o Dispositivo Ativo");
  EXPECT_EQ(dev.Porta(), arquivo);
  EXPECT_EQ(dev.DeviceType(), TDeviceType::dtFile);
  EXPECT_EQ(LogLines(dir / "d.log"),
            (std::vector<std::string>{"SetPorta(" + dir / "CUPOM.TXT" + ")",
                                      "Exception: N\xE3o \xE9 poss\xEDvel mudar a Porta com o Dispositivo Ativo"}));
  dev.Desativar();
  EXPECT_NO_THROW(dev.SetPorta(dir / "CUPOM.TXT"));
}

TEST_F(DevicePortTest, SameNameInOtherCaseWhileActiveRaises) {
  dev.SetPorta("usb");
  dev.Ativar();
  EXPECT_NO_THROW(dev.SetPorta("usb"));
  EXPECT_THROW(dev.SetPorta("USB"), Exception);
}

TEST_F(DevicePortTest, CreationDefaults) {
  EXPECT_EQ(dev.Porta(), "");
  EXPECT_EQ(dev.DeviceType(), TDeviceType::dtNenhum);
  EXPECT_FALSE(dev.Ativo());
  EXPECT_EQ(dev.TimeOut(), 3);
  EXPECT_EQ(dev.Baud(), 9600);
  EXPECT_EQ(dev.Data(), 8);
  EXPECT_EQ(dev.Parity(), TSerialParity::pNone);
  EXPECT_EQ(dev.Stop(), TSerialStop::s1);
  EXPECT_EQ(dev.HandShake(), THandShake::hsNenhum);
  EXPECT_FALSE(dev.HardFlow());
  EXPECT_FALSE(dev.SoftFlow());
  EXPECT_EQ(dev.MaxBandwidth(), 0);
  EXPECT_EQ(dev.SendBytesCount(), 0);
  EXPECT_EQ(dev.SendBytesInterval(), 0);
  EXPECT_EQ(dev.NomeDocumento(), "TDevice");
  EXPECT_TRUE(dev.ProcessMessages());
  EXPECT_TRUE(dev.Serial().RaiseExcept());
  EXPECT_TRUE(dev.Socket().RaiseExcept());
}

TEST_F(DevicePortTest, BaudAndDataRanges) {
  const std::string msgBaud =
      "Valor deve estar na faixa de 50 a 4000000.\nNormalmente os equipamentos Seriais utilizam: 9600";
  EXPECT_EQ(ExpectRaise([&] { dev.SetBaud(49); }), msgBaud);
  EXPECT_EQ(ExpectRaise([&] { dev.SetBaud(4000001); }), msgBaud);
  EXPECT_EQ(ExpectRaise([&] { dev.SetBaud(-9600); }), msgBaud);
  EXPECT_EQ(dev.Baud(), 9600);
  dev.SetBaud(50);
  EXPECT_EQ(dev.Baud(), 50);
  dev.SetBaud(4000000);
  EXPECT_EQ(dev.Baud(), 4000000);

  const std::string msgData = "Valor deve estar na faixa de 5 a 8.\nNormalmente os equipamentos Seriais utilizam: 7 ou 8";
  EXPECT_EQ(ExpectRaise([&] { dev.SetData(4); }), msgData);
  EXPECT_EQ(ExpectRaise([&] { dev.SetData(9); }), msgData);
  EXPECT_EQ(dev.Data(), 8);
  dev.SetData(5);
  EXPECT_EQ(dev.Data(), 5);
}

TEST_F(DevicePortTest, SetterLogLines) {
  dev.SetArqLOG(dir / "d.log");
  dev.SetBaud(9600);
  EXPECT_THROW(dev.SetBaud(10), Exception);
  dev.SetParity(TSerialParity::pEven);
  dev.SetParity(TSerialParity::pEven);
  dev.SetStop(TSerialStop::s1eMeio);
  dev.SetHardFlow(true);
  dev.SetSoftFlow(false);
  dev.SetMaxBandwidth(300);
  dev.SetNomeDocumento("  Cupom  ");
  dev.SetTimeOutMilissegundos(1500);
  EXPECT_EQ(LogLines(dir / "d.log"),
            (std::vector<std::string>{
                "SetBaud(10)",
                "Exception: Valor deve estar na faixa de 50 a 4000000.\nNormalmente os equipamentos Seriais utilizam: 9600",
                "SetParity(pEven)", "SetStop(s1eMeio)", "SetHardFlow(True)", "SetHandShake(hsRTS_CTS)",
                "SetSoftFlow(False)", "SetMaxBandwidth(300)", "SetNomeDocumento(  Cupom  )",
                "SetTimeOutMilissegundos(1500)"}));
  EXPECT_EQ(dev.NomeDocumento(), "Cupom");
}

TEST_F(DevicePortTest, HandShakeAndItsFlags) {
  dev.SetHandShake(THandShake::hsRTS_CTS);
  EXPECT_TRUE(dev.HardFlow());
  EXPECT_FALSE(dev.SoftFlow());
  dev.SetSoftFlow(true);
  EXPECT_EQ(dev.HandShake(), THandShake::hsXON_XOFF);
  EXPECT_FALSE(dev.HardFlow());
  EXPECT_TRUE(dev.SoftFlow());
  dev.SetHardFlow(false);  // not RTS/CTS: nothing changes
  EXPECT_EQ(dev.HandShake(), THandShake::hsXON_XOFF);
  dev.SetSoftFlow(false);
  EXPECT_EQ(dev.HandShake(), THandShake::hsNenhum);
  dev.SetHandShake(THandShake::hsDTR_DSR);
  EXPECT_FALSE(dev.HardFlow());
  EXPECT_FALSE(dev.SoftFlow());
}

TEST_F(DevicePortTest, ParityAndStopAreHeldAsLetterAndNumber) {
  const std::pair<TSerialParity, char> paridades[] = {{TSerialParity::pOdd, 'O'},
                                                      {TSerialParity::pEven, 'E'},
                                                      {TSerialParity::pMark, 'M'},
                                                      {TSerialParity::pSpace, 'S'},
                                                      {TSerialParity::pNone, 'N'}};
  for (auto [p, letra] : paridades) {
    dev.SetParity(p);
    EXPECT_EQ(dev.ParityLetter(), letra);
    EXPECT_EQ(dev.Parity(), p);
  }
  dev.SetStop(TSerialStop::s2);
  EXPECT_EQ(dev.StopValue(), 2);
  dev.SetStop(TSerialStop::s1eMeio);
  EXPECT_EQ(dev.StopValue(), 1);
  dev.SetStop(TSerialStop::s1);
  EXPECT_EQ(dev.StopValue(), 0);
}

TEST_F(DevicePortTest, MaxBandwidthLivesInTheSocketForTcpAndInTheSerialPortOtherwise) {
  dev.SetMaxBandwidth(1200);
  EXPECT_EQ(dev.Serial().MaxSendBandwidth(), 1200);
  EXPECT_EQ(dev.Serial().MaxRecvBandwidth(), 1200);
  EXPECT_EQ(dev.Socket().MaxSendBandwidth(), 0);
  dev.SetPorta("TCP:127.0.0.1");
  EXPECT_EQ(dev.MaxBandwidth(), 0);
  dev.SetMaxBandwidth(500);
  EXPECT_EQ(dev.Socket().MaxSendBandwidth(), 500);
  EXPECT_EQ(dev.Socket().MaxRecvBandwidth(), 500);
  EXPECT_EQ(dev.MaxBandwidth(), 500);
  EXPECT_EQ(dev.Serial().MaxSendBandwidth(), 1200);
}

TEST_F(DevicePortTest, TimeOutMillisecondsByPortKind) {
  dev.SetPorta("COM1");
  dev.SetTimeOutMilissegundos(500);
  EXPECT_EQ(dev.TimeOut(), 1);
  EXPECT_EQ(dev.Serial().DeadlockTimeout(), 500);
  EXPECT_EQ(dev.TimeOutMilissegundos(), 500);
  dev.SetTimeOutMilissegundos(2999);
  EXPECT_EQ(dev.TimeOut(), 2);

  dev.SetPorta("TCP:127.0.0.1:9100");
  dev.SetTimeOutMilissegundos(500);
  EXPECT_EQ(dev.TimeOut(), 0);
  EXPECT_EQ(dev.Socket().ConnectionTimeout(), 500);
  EXPECT_EQ(dev.TimeOutMilissegundos(), 500);
  dev.SetTimeOutMilissegundos(-5000);
  EXPECT_EQ(dev.TimeOut(), 0);

  dev.SetPorta(dir / "out.txt");
  dev.SetTimeOutMilissegundos(500);
  EXPECT_EQ(dev.TimeOut(), 500);
  EXPECT_EQ(dev.TimeOutMilissegundos(), 500);
}

TEST_F(DevicePortTest, DeviceToStringDefaultsAndChanges) {
  EXPECT_EQ(dev.DeviceToString(true), "");
  EXPECT_EQ(dev.DeviceToString(false),
            "BAUD=9600 DATA=8 PARITY=N STOP=1 HANDSHAKE= MAXBANDWIDTH=0 SENDBYTESCOUNT=0 SENDBYTESINTERVAL=0");
  dev.SetBaud(115200);
  dev.SetHandShake(THandShake::hsRTS_CTS);
  EXPECT_EQ(dev.DeviceToString(true), "BAUD=115200 HANDSHAKE=RTS/CTS HARDFLOW");
  EXPECT_EQ(dev.ParamsString(), "BAUD=115200 HANDSHAKE=RTS/CTS HARDFLOW");
  dev.SetStop(TSerialStop::s1eMeio);
  dev.SetParity(TSerialParity::pSpace);
  dev.SetData(7);
  dev.SetSoftFlow(true);
  dev.SetMaxBandwidth(100);
  dev.SetSendBytesCount(64);
  dev.SetSendBytesInterval(20);
  EXPECT_EQ(dev.DeviceToString(false),
            "BAUD=115200 DATA=7 PARITY=S STOP=1,5 HANDSHAKE=XON/XOFF SOFTFLOW MAXBANDWIDTH=100 SENDBYTESCOUNT=64 "
            "SENDBYTESINTERVAL=20");
  dev.SetArqLOG(dir / "d.log");
  dev.SetHandShake(THandShake::hsDTR_DSR);
  dev.SetStop(TSerialStop::s2);
  EXPECT_EQ(dev.DeviceToString(true),
            "BAUD=115200 DATA=7 PARITY=S STOP=2 HANDSHAKE=DTR/DSR MAXBANDWIDTH=100 SENDBYTESCOUNT=64 "
            "SENDBYTESINTERVAL=20");
  EXPECT_EQ(LogLines(dir / "d.log").back(),
            "DeviceToString: BAUD=115200 DATA=7 PARITY=S STOP=2 HANDSHAKE=DTR/DSR MAXBANDWIDTH=100 "
            "SENDBYTESCOUNT=64 SENDBYTESINTERVAL=20");
}

TEST_F(DevicePortTest, LerValorParam) {
  EXPECT_EQ(TDevice::LerValorParam("BAUD = 19200 DATA=7", "BAUD"), "19200");
  EXPECT_EQ(TDevice::LerValorParam("BAUD19200", "BAUD"), "19200");
  EXPECT_EQ(TDevice::LerValorParam("X BAUD=19200", "BAUD"), "19200");
  EXPECT_EQ(TDevice::LerValorParam("DATA=7", "BAUD"), "");
  EXPECT_EQ(TDevice::LerValorParam("BAUD=", "BAUD"), "");
  EXPECT_EQ(TDevice::LerValorParam("BAUD==5", "BAUD"), "=5");
  EXPECT_EQ(TDevice::LerValorParam("HANDSHAKE= MAXBANDWIDTH=0", "HANDSHAKE"), "MAXBANDWIDTH=0");
  EXPECT_EQ(TDevice::LerValorParam("BAUD=1", ""), "");
  // At most 200 characters after the key are looked at.
  EXPECT_EQ(TDevice::LerValorParam("BAUD=" + std::string(300, '9'), "BAUD"), std::string(199, '9'));
  EXPECT_EQ(TDevice::LerValorParam("BAUD" + std::string(250, ' ') + "=1", "BAUD"), "");
}

TEST_F(DevicePortTest, SetParamsStringReadsEveryKey) {
  dev.SetParamsString("baud=19200 parity=e stop=1,5 softflow");
  EXPECT_EQ(dev.Baud(), 19200);
  EXPECT_EQ(dev.ParityLetter(), 'E');
  EXPECT_EQ(dev.Stop(), TSerialStop::s1eMeio);
  EXPECT_EQ(dev.HandShake(), THandShake::hsXON_XOFF);
  EXPECT_TRUE(dev.SoftFlow());
  EXPECT_FALSE(dev.HardFlow());

  dev.SetParamsString("HARDFLOW HANDSHAKE=DTR/DSR");
  EXPECT_EQ(dev.HandShake(), THandShake::hsDTR_DSR);
  EXPECT_FALSE(dev.HardFlow());
  EXPECT_FALSE(dev.SoftFlow());
  EXPECT_EQ(dev.Baud(), 9600);  // defaults restored first

  dev.SetParamsString("PARITY=X");
  EXPECT_EQ(dev.ParityLetter(), 'N');
  dev.SetParamsString("STOP=3 DATA=7 BAUD=abc");
  EXPECT_EQ(dev.Stop(), TSerialStop::s1);
  EXPECT_EQ(dev.Data(), 7);
  EXPECT_EQ(dev.Baud(), 9600);
  dev.SetParamsString("HARDFLOW");
  EXPECT_EQ(dev.HandShake(), THandShake::hsRTS_CTS);
  dev.SetParamsString("HANDSHAKE=xon/xoff");
  EXPECT_EQ(dev.HandShake(), THandShake::hsXON_XOFF);
}

TEST_F(DevicePortTest, SetParamsStringEmptyRestoresDefaultsAndKeepsTheRest) {
  dev.SetParamsString("BAUD=115200 DATA=7 PARITY=O STOP=2 HANDSHAKE=RTS/CTS MAXBANDWIDTH=300 SENDBYTESCOUNT=8 "
                      "SENDBYTESINTERVAL=5");
  EXPECT_EQ(dev.MaxBandwidth(), 300);
  EXPECT_EQ(dev.SendBytesCount(), 8);
  EXPECT_EQ(dev.SendBytesInterval(), 5);
  dev.SetParamsString("");
  EXPECT_EQ(dev.Baud(), 9600);
  EXPECT_EQ(dev.Data(), 8);
  EXPECT_EQ(dev.ParityLetter(), 'N');
  EXPECT_EQ(dev.Stop(), TSerialStop::s1);
  EXPECT_EQ(dev.HandShake(), THandShake::hsNenhum);
  EXPECT_EQ(dev.MaxBandwidth(), 300);
  EXPECT_EQ(dev.SendBytesCount(), 8);
  EXPECT_EQ(dev.SendBytesInterval(), 5);
}

TEST_F(DevicePortTest, ParamsStringRoundTrips) {
  const THandShake controles[] = {THandShake::hsNenhum, THandShake::hsXON_XOFF, THandShake::hsRTS_CTS,
                                  THandShake::hsDTR_DSR};
  for (bool apenas : {false, true}) {
    for (THandShake h : controles) {
      TDevice a(spooler, clock);
      a.SetBaud(38400);
      a.SetData(7);
      a.SetParity(TSerialParity::pMark);
      a.SetStop(TSerialStop::s2);
      a.SetHandShake(h);
      a.SetMaxBandwidth(960);
      a.SetSendBytesCount(16);
      a.SetSendBytesInterval(3);
      TDevice b(spooler, clock);
      b.SetParamsString(a.DeviceToString(apenas));
      EXPECT_EQ(b.Baud(), 38400);
      EXPECT_EQ(b.Data(), 7);
      EXPECT_EQ(b.ParityLetter(), 'M');
      EXPECT_EQ(b.Stop(), TSerialStop::s2);
      EXPECT_EQ(b.HandShake(), h);
      EXPECT_EQ(b.HardFlow(), a.HardFlow());
      EXPECT_EQ(b.SoftFlow(), a.SoftFlow());
      EXPECT_EQ(b.MaxBandwidth(), 960);
      EXPECT_EQ(b.SendBytesCount(), 16);
      EXPECT_EQ(b.SendBytesInterval(), 3);
    }
  }
}

TEST_F(DevicePortTest, SetParamsStringRangeErrorKeepsEarlierStepsOnly) {
  dev.SetSendBytesCount(4);
  EXPECT_THROW(dev.SetParamsString("BAUD=1200 PARITY=E DATA=9 STOP=2 SENDBYTESCOUNT=99"), Exception);
  EXPECT_EQ(dev.Baud(), 1200);
  EXPECT_EQ(dev.ParityLetter(), 'E');
  EXPECT_EQ(dev.Data(), 8);
  EXPECT_EQ(dev.Stop(), TSerialStop::s1);  // later keys unread
  EXPECT_EQ(dev.SendBytesCount(), 4);
  EXPECT_THROW(dev.SetParamsString("BAUD=10"), Exception);
  EXPECT_EQ(dev.Baud(), 9600);
}

TEST_F(DevicePortTest, SetParamsStringDoesNotTouchPortTimeOutLogOrDocument) {
  dev.SetPorta("COM2");
  dev.SetTimeOut(7);
  dev.SetNomeDocumento("Doc");
  dev.SetArqLOG(dir / "d.log");
  dev.SetParamsString("BAUD=1200");
  EXPECT_EQ(dev.Porta(), "COM2");
  EXPECT_EQ(dev.TimeOut(), 7);
  EXPECT_EQ(dev.NomeDocumento(), "Doc");
  EXPECT_EQ(dev.ArqLOG(), dir / "d.log");
  EXPECT_EQ(LogLines(dir / "d.log").front(), "SetParamsString(BAUD=1200)");
}

TEST_F(DevicePortTest, NegativeParamsAreKeptButCutLoopsStillEnd) {
  dev.SetParamsString("SENDBYTESCOUNT=-5 SENDBYTESINTERVAL=-1 MAXBANDWIDTH=-3");
  EXPECT_EQ(dev.SendBytesCount(), -5);
  EXPECT_EQ(dev.SendBytesInterval(), -1);
  EXPECT_EQ(dev.DeviceToString(true), "");
  dev.SetPorta(dir / "neg.txt");
  dev.Ativar();
  dev.EnviaString("0123456789");
  EXPECT_EQ(testing::ReadFile(dir / "neg.txt"), "0123456789");
  EXPECT_TRUE(clock->sleeps.empty());
}

}  // namespace
}  // namespace bilhetor
