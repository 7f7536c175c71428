// Hook ports: the device does no input or output of its own and calls the
// four hooks a maker's library adapter binds.
#include <gtest/gtest.h>

#include <memory>

#include "device/Device.h"
#include "DeviceTestSupport.h"

namespace bilhetor {
namespace {

using testing::ListSpooler;
using testing::LogLines;
using testing::StillClock;
using testing::TempDir;

class DeviceHookTest : public ::testing::Test {
 protected:
  DeviceHookTest() : clock(std::make_shared<StillClock>()), dev(std::make_shared<ListSpooler>(), clock) {
    dev.SetPorta("USB:ELGIN");
  }
  void BindAll() {
    dev.SetHookAtivar([this](const std::string& porta, const std::string& params) {
      calls.push_back("Ativar(" + porta + "|" + params + ")");
    });
    dev.SetHookDesativar([this](const std::string& porta) { calls.push_back("Desativar(" + porta + ")"); });
    dev.SetHookEnviaString([this](const std::string& cmd) { calls.push_back("Envia(" + cmd + ")"); });
  }
  TempDir dir;
  std::shared_ptr<StillClock> clock;
  TDevice dev;
  std::vector<std::string> calls;
};

TEST_F(DeviceHookTest, ActivationSendAndDeactivationGoToTheHooks) {
  BindAll();
  dev.SetBaud(115200);
  dev.Ativar();
  dev.EnviaString("\x1B@abc");
  dev.Desativar();
  EXPECT_EQ(calls, (std::vector<std::string>{
                       "Ativar(USB:ELGIN|BAUD=115200 DATA=8 PARITY=N STOP=1 HANDSHAKE= MAXBANDWIDTH=0 "
                       "SENDBYTESCOUNT=0 SENDBYTESINTERVAL=0)",
                       "Envia(\x1B@abc)", "Desativar(USB:ELGIN)"}));
  EXPECT_FALSE(dev.Ativo());
}

TEST_F(DeviceHookTest, WithoutHooksNothingIsCalledAndNothingLogged) {
  dev.Ativar();
  EXPECT_TRUE(dev.Ativo());
  dev.SetArqLOG(dir / "d.log");
  dev.EnviaStringHook("abc");
  EXPECT_FALSE(std::filesystem::exists(dir / "d.log"));
  EXPECT_EQ(dev.LeString(100, 1, ""), "");
  dev.Desativar();
  EXPECT_FALSE(dev.Ativo());
}

TEST_F(DeviceHookTest, DeactivatingAnInactiveDeviceDoesNothing) {
  BindAll();
  dev.SetArqLOG(dir / "d.log");
  dev.Desativar();
  EXPECT_TRUE(calls.empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "d.log"));
}

TEST_F(DeviceHookTest, AFailingDeactivationStillEndsInactive) {
  dev.SetHookDesativar([](const std::string&) { throw Exception("Erro ao Fechar a porta USB da impressora ELGIN"); });
  dev.Ativar();
  EXPECT_THROW(dev.Desativar(), Exception);
  EXPECT_FALSE(dev.Ativo());
}

TEST_F(DeviceHookTest, AFailingActivationLeavesTheDeviceInactive) {
  dev.SetHookAtivar([](const std::string&, const std::string&) { throw Exception("Erro ao Abrir porta"); });
  EXPECT_THROW(dev.Ativar(), Exception);
  EXPECT_FALSE(dev.Ativo());
}

TEST_F(DeviceHookTest, ReadReturnsAsSoonAsEnoughHasArrived) {
  int chamadas = 0;
  dev.SetHookLeString([&](int numBytes, int timeOut, std::string& retorno) {
    ++chamadas;
    EXPECT_EQ(numBytes, 1);
    EXPECT_EQ(timeOut, 500);
    retorno = "AB";
  });
  EXPECT_EQ(dev.LeString(500, 0, ""), "AB");
  EXPECT_EQ(chamadas, 1);
}

TEST_F(DeviceHookTest, ReadCollectsPiecesUntilTheCount) {
  std::vector<std::string> pedacos{"1", "", "23", "4567"};
  dev.SetHookLeString([&](int, int, std::string& retorno) {
    retorno = pedacos.front();
    pedacos.erase(pedacos.begin());
  });
  EXPECT_EQ(dev.LeString(500, 3, ""), "123");
  EXPECT_EQ(pedacos.size(), 1u);
}

TEST_F(DeviceHookTest, ReadGivesUpAfterTheTimeOutWithWhatItHas) {
  int chamadas = 0;
  dev.SetHookLeString([&](int, int, std::string& retorno) {
    ++chamadas;
    retorno = chamadas == 1 ? "x" : "";
    clock->Dormir(100);  // each call takes a while
  });
  EXPECT_EQ(dev.LeString(500, 4, ""), "x");
  EXPECT_EQ(chamadas, 6);
}

TEST_F(DeviceHookTest, ALibraryThatAnswersAtOnceIsAskedWithAPauseBetweenCalls) {
  int chamadas = 0;
  dev.SetHookLeString([&](int, int, std::string&) { ++chamadas; });
  EXPECT_EQ(dev.LeString(500, 1, ""), "");
  // One call every kPausaLeituraHookMs, from the start to the time-out.
  EXPECT_EQ(chamadas, 1 + 500 / TDevice::kPausaLeituraHookMs);
}

TEST_F(DeviceHookTest, ATerminatorEndsTheReadAndIsCutOff) {
  int chamadas = 0;
  dev.SetHookLeString([&](int, int, std::string& retorno) {
    ++chamadas;
    retorno = chamadas == 1 ? "ab" : "cd\x03";
  });
  EXPECT_EQ(dev.LeString(500, 10, "\x03"), "abcd");
  EXPECT_EQ(chamadas, 2);
}

TEST_F(DeviceHookTest, ReadWithoutTimeOutUsesTimeOutInSeconds) {
  int chamadas = 0;
  dev.SetTimeOut(2);
  dev.SetHookLeString([&](int, int timeOut, std::string&) {
    ++chamadas;
    EXPECT_EQ(timeOut, 2000);
    clock->Dormir(1000);
  });
  EXPECT_EQ(dev.LeString(0, 1, ""), "");
  EXPECT_EQ(chamadas, 3);
}

TEST_F(DeviceHookTest, LogLinesOfAHookRead) {
  dev.SetArqLOG(dir / "d.log");
  dev.SetHookLeString([&](int, int, std::string& retorno) { retorno = "\x16"; });
  dev.LeString(500, 1, "\x03");
  EXPECT_EQ(LogLines(dir / "d.log"), (std::vector<std::string>{"LeString(500, 1, [ETX])", "  [22]"}));
}

TEST_F(DeviceHookTest, OtherPortKindsReadNothing) {
  dev.SetPorta(dir / "x.txt");
  EXPECT_EQ(dev.LeString(100, 5, ""), "");
  dev.SetPorta("RAW:A");
  EXPECT_EQ(dev.LeString(100, 5, ""), "");
}

}  // namespace
}  // namespace bilhetor
