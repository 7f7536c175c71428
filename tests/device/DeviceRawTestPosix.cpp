// Raw print queues on Linux: a private cupsd whose queues write each job to a
// file.
#include <gtest/gtest.h>

#include <memory>

#include "device/Device.h"
#include "support/CupsServer.h"
#include "DeviceTestSupport.h"

namespace bilhetor {
namespace {

using testing::CupsServer;
using testing::LogLines;
using testing::ReadFile;
using testing::ScopedQueue;
using testing::StillClock;
using testing::TempDir;

std::string Ticket() {
  std::string t = "\x1B@\x1B" "a\x01" "MAPA DE SEPARACAO\n";
  for (int c = 0; c < 256; ++c) t += static_cast<char>(c);
  t += "\r\n\x1D" "V\x00" "fim";
  t += std::string("\0\0", 2);
  return t;
}

bool WaitForBytes(const std::string& file, const std::string& bytes) {
  return testing::WaitUntil(
      [&] { return std::filesystem::exists(file) && ReadFile(file).size() >= bytes.size(); },
      std::chrono::milliseconds(15000));
}

class DeviceRawTest : public ::testing::Test {
 protected:
  DeviceRawTest() : server(CupsServer::Shared()) {}
  std::string ExpectRaise(const std::function<void()>& f) {
    try {
      f();
    } catch (const Exception& e) {
      return e.Message();
    }
    ADD_FAILURE() << "no raise";
    return "";
  }
  CupsServer& server;
  TempDir dir;
};

TEST_F(DeviceRawTest, RawQueueByNameGetsEveryByteWithTheDocumentNameAsTitle) {
  ScopedQueue fila(server, "BilhetorRaw1", dir / "raw1.out");
  TDevice dev;  // the default spooler: the configured CUPS server
  dev.SetPorta("RAW:bilhetorraw1");
  EXPECT_EQ(dev.DeviceType(), TDeviceType::dtRawPrinter);
  dev.SetNomeDocumento("PosPrinterDemo");
  dev.SetArqLOG(dir / "d.log");
  dev.Ativar();
  EXPECT_TRUE(dev.Ativo());
  const std::string ticket = Ticket();
  dev.EnviaString(ticket);
  ASSERT_TRUE(WaitForBytes(fila.Output(), ticket)) << server.ErrorLog();
  EXPECT_EQ(ReadFile(fila.Output()), ticket);
  const auto jobs = server.Jobs("BilhetorRaw1");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].title, "PosPrinterDemo");
  const auto linhas = LogLines(dir / "d.log");
  ASSERT_GE(linhas.size(), 6u);
  EXPECT_EQ(linhas[0], "Ativar - Porta:RAW:bilhetorraw1");
  EXPECT_EQ(linhas[1], "GetPrinterRawIndex");
  EXPECT_EQ(linhas[2], "  0");
  EXPECT_EQ(linhas[4].substr(0, 27), "EnviaStringRaw([ESC]@[ESC]a");
  EXPECT_EQ(linhas[5], "GetPrinterRawIndex");
}

TEST_F(DeviceRawTest, WithoutADocumentNameTheJobIsCalledTDevice) {
  ScopedQueue fila(server, "BilhetorRaw2", dir / "raw2.out");
  TDevice dev;
  dev.SetPorta("RAW:BilhetorRaw2");
  dev.Ativar();
  dev.EnviaString("abc");
  ASSERT_TRUE(WaitForBytes(fila.Output(), "abc"));
  EXPECT_EQ(ReadFile(fila.Output()), "abc");
  const auto jobs = server.Jobs("BilhetorRaw2");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].title, "TDevice");
}

TEST_F(DeviceRawTest, StarAndRawStarPrintToTheDefaultQueue) {
  ScopedQueue a(server, "BilhetorA", dir / "a.out");
  ScopedQueue b(server, "BilhetorB", dir / "b.out");
  server.SetDefault("BilhetorB");
  size_t enviados = 0;
  for (const char* porta : {"*", "RAW:*"}) {
    TDevice dev;
    dev.SetPorta(porta);
    EXPECT_EQ(dev.DeviceType(), TDeviceType::dtRawPrinter);
    EXPECT_EQ(dev.GetPrinterRawIndex(), 1);  // CUPS lists the queues by name
    dev.Ativar();
    const std::string texto = std::string("via ") + porta + "\n";
    dev.EnviaString(texto);
    ++enviados;
    ASSERT_TRUE(testing::WaitUntil(
        [&] {
          const auto jobs = server.Jobs("BilhetorB");
          return jobs.size() == enviados && jobs.back().completed;
        },
        std::chrono::milliseconds(15000)))
        << server.ErrorLog();
    const std::string conteudo = ReadFile(b.Output());
    ASSERT_GE(conteudo.size(), texto.size());
    EXPECT_EQ(conteudo.substr(conteudo.size() - texto.size()), texto);
  }
  EXPECT_FALSE(std::filesystem::exists(a.Output()));
  EXPECT_EQ(server.Jobs("BilhetorA").size(), 0u);
}

TEST_F(DeviceRawTest, InstalledQueuesAreRawPortsByBareNameAndInTheList) {
  {
    ScopedQueue fila(server, "BilhetorNua", dir / "nua.out");
    TDevice dev;
    EXPECT_EQ(dev.ImpressorasInstaladas(), std::vector<std::string>{"BilhetorNua"});
    EXPECT_EQ(dev.DeduzirTipoPorta("bilhetornua"), TDeviceType::dtRawPrinter);
    dev.SetPorta("BilhetorNua");
    EXPECT_EQ(dev.DeviceType(), TDeviceType::dtRawPrinter);
    dev.Ativar();
    dev.EnviaString("nua");
    ASSERT_TRUE(WaitForBytes(fila.Output(), "nua"));
    EXPECT_EQ(ReadFile(fila.Output()), "nua");
  }
  TDevice dev;
  EXPECT_EQ(dev.DeduzirTipoPorta("BilhetorNua"), TDeviceType::dtNenhum);
}

TEST_F(DeviceRawTest, MissingPrinterAndNoPrinterAtAll) {
  ASSERT_TRUE(server.Queues().empty());
  TDevice dev;
  dev.SetPorta("RAW:Qualquer");
  EXPECT_EQ(dev.DeviceType(), TDeviceType::dtRawPrinter);
  EXPECT_EQ(ExpectRaise([&] { dev.Ativar(); }), "Impressora n\xE3o encontrada [Qualquer]");
  EXPECT_FALSE(dev.Ativo());
  dev.SetPorta("*");
  EXPECT_EQ(ExpectRaise([&] { dev.Ativar(); }), "Erro Nenhuma impressora Padr\xE3o foi detectada");
  EXPECT_FALSE(dev.Ativo());
}

TEST_F(DeviceRawTest, APrinterRemovedAfterActivationFailsTheSendAndTheDeviceStaysUsable) {
  auto fila = std::make_unique<ScopedQueue>(server, "BilhetorSome", dir / "some.out");
  TDevice dev;
  dev.SetPorta("RAW:BilhetorSome");
  dev.Ativar();
  server.DeleteQueue("BilhetorSome");
  EXPECT_EQ(ExpectRaise([&] { dev.EnviaString("perdido"); }), "Impressora n\xE3o encontrada [BilhetorSome]");
  EXPECT_TRUE(dev.Ativo());
  server.AddQueue("BilhetorSome", dir / "some.out");
  dev.EnviaString("de volta");
  ASSERT_TRUE(WaitForBytes(dir / "some.out", "de volta"));
  EXPECT_EQ(ReadFile(dir / "some.out"), "de volta");
}

TEST_F(DeviceRawTest, AnUnreachableSpoolerHasNoPrinters) {
  TDevice dev(std::make_shared<TCupsSpooler>(dir / "no-such.sock"), std::make_shared<StillClock>());
  EXPECT_TRUE(dev.ImpressorasInstaladas().empty());
  dev.SetPorta("RAW:Qualquer");
  EXPECT_EQ(ExpectRaise([&] { dev.Ativar(); }), "Impressora n\xE3o encontrada [Qualquer]");
  std::string erro;
  EXPECT_EQ(dev.Spooler().ImprimirRaw("Qualquer", "t", "x", erro), TResultadoRaw::Falhou);
  EXPECT_FALSE(erro.empty());
}

}  // namespace
}  // namespace bilhetor
