// The engine printing to a PREVIEW: port with the receipt preview registered
// as its drawing: one picture per print job.
#include <gtest/gtest.h>

#include <filesystem>

#include "PreviewTeste.h"
#include "app/ConfiguracaoImpressora.h"
#include "app/PrintTool.h"
#include "device/Device.h"
#include "preview/Preview.h"
#include "support/TestSupport.h"

namespace bilhetor::preview {
namespace {

using bilhetor::testing::TempDir;

TEST(PortaPreview, EveryPrintJobIsAPictureInTheFolder) {
  TempDir dir;
  RegistrarDesenhoPreview([](const std::string& dados, const std::string& arquivo) {
    GravarPngEscPos(dados, arquivo);
  });
  TPosPrinter impressora;
  PrepararImpressora(impressora);
  TConfiguracaoImpressora config;
  config.Porta = "PREVIEW:" + (dir / "papel");
  config.ControlePorta = true;
  AplicarConfiguracao(impressora, config);
  for (const std::string& l : TicketExemplo(48)) impressora.Buffer().Add(l);
  impressora.Imprimir("", false, true, true, 2);  // two copies: two jobs
  impressora.Buffer().Add("<qrcode>segundo</qrcode>");
  impressora.Imprimir("", false, true, true, 1);
  RegistrarDesenhoPreview(nullptr);

  std::vector<std::string> arquivos;
  for (const auto& e : std::filesystem::directory_iterator(dir / "papel")) arquivos.push_back(e.path().filename());
  std::sort(arquivos.begin(), arquivos.end());
  ASSERT_EQ(arquivos, (std::vector<std::string>{"ticket-0001.png", "ticket-0002.png", "ticket-0003.png"}));
  const std::vector<std::vector<std::string>> codigos = {{"CODE-39:57"}, {"CODE-39:57"}, {"QR-Code:segundo"}};
  for (std::size_t i = 0; i < arquivos.size(); ++i) {
    const QImage imagem(QString::fromStdString((dir.Path() / "papel" / arquivos[i]).string()), "PNG");
    ASSERT_FALSE(imagem.isNull()) << arquivos[i];
    EXPECT_EQ(imagem.width(), 640);
    EXPECT_EQ(teste::LerCodigos(imagem), codigos[i]) << arquivos[i];
  }
}

}  // namespace
}  // namespace bilhetor::preview
