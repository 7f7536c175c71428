// The choice of a raw printer and the jobs sent to it, on a spooler whose
// list the test sets (both platforms). The jobs through a real spooler are
// in DeviceRawTestPosix.cpp (a private cupsd) and tests/wine/FilaWindowsTest.cpp
// (Wine's spooler in front of that cupsd).
#include <gtest/gtest.h>

#include <memory>

#include "device/Device.h"
#include "DeviceTestSupport.h"

namespace bilhetor {
namespace {

using testing::ListSpooler;
using testing::StillClock;

class RawIndexTest : public ::testing::Test {
 protected:
  RawIndexTest() : spooler(std::make_shared<ListSpooler>()), dev(spooler, std::make_shared<StillClock>()) {}
  std::shared_ptr<ListSpooler> spooler;
  TDevice dev;
};

TEST_F(RawIndexTest, NetworkQueuesAreFoundByTheirQueueName) {
  spooler->lista.Nomes = {"Local", "\\\\SRV01\\EPSON", "\\\\SRV02\\Elgin\\x", "\\\\semfila"};
  EXPECT_EQ(dev.LocalizarImpressora("local"), 0);
  EXPECT_EQ(dev.LocalizarImpressora("epson"), 1);
  EXPECT_EQ(dev.LocalizarImpressora("\\\\srv01\\epson"), 1);
  EXPECT_EQ(dev.LocalizarImpressora("Elgin\\x"), 2);
  EXPECT_EQ(dev.LocalizarImpressora("Elgin"), -1);
  EXPECT_EQ(dev.LocalizarImpressora("semfila"), -1);
  EXPECT_EQ(dev.LocalizarImpressora(""), -1);
  dev.SetPorta("RAW:EPSON");
  EXPECT_EQ(dev.GetPrinterRawIndex(), 1);
  dev.Ativar();
  dev.EnviaString("x");
  ASSERT_EQ(spooler->jobs.size(), 1u);
  EXPECT_EQ(spooler->jobs[0].nome, "\\\\SRV01\\EPSON");
}

TEST_F(RawIndexTest, DefaultPrinterOrTheFirstOne) {
  spooler->lista.Nomes = {"A", "B", "C"};
  spooler->lista.Padrao = 2;
  dev.SetPorta("*");
  EXPECT_EQ(dev.GetPrinterRawIndex(), 2);
  spooler->lista.Padrao = -1;
  EXPECT_EQ(dev.GetPrinterRawIndex(), 0);
  spooler->lista.Nomes.clear();
  EXPECT_THROW(dev.GetPrinterRawIndex(), Exception);
}

TEST_F(RawIndexTest, ASpoolerThatRefusesTheJobIsAnError) {
  spooler->lista.Nomes = {"A"};
  spooler->resultado = TResultadoRaw::Falhou;
  spooler->motivo = "client-error-not-accepting-jobs";
  dev.SetPorta("RAW:A");
  dev.Ativar();
  try {
    dev.EnviaString("x");
    FAIL() << "no raise";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Erro ao imprimir na impressora [A]: client-error-not-accepting-jobs");
  }
  EXPECT_TRUE(dev.Ativo());
}

TEST_F(RawIndexTest, SendBytesCountDoesNotCutARawJob) {
  spooler->lista.Nomes = {"A"};
  dev.SetPorta("RAW:A");
  dev.SetSendBytesCount(2);
  dev.SetSendBytesInterval(10);
  dev.EnviaString("abcdef");
  ASSERT_EQ(spooler->jobs.size(), 1u);
  EXPECT_EQ(spooler->jobs[0].dados, "abcdef");
  EXPECT_EQ(spooler->jobs[0].titulo, "TDevice");
}

}  // namespace
}  // namespace bilhetor
