// bilhetor-print --preview and --desenhar with the receipt preview the
// program links.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "PreviewTeste.h"
#include "app/PrintTool.h"
#include "preview/Preview.h"
#include "support/TestSupport.h"

namespace bilhetor::preview {
namespace {

using bilhetor::testing::ReadFile;
using bilhetor::testing::TempDir;
using bilhetor::testing::WriteFile;

struct Resultado {
  int codigo;
  std::string saida, erro;
};

const TDesenharPreview kDesenhar = [](const std::string& bytes, const std::string& arquivo, int papel) {
  return GravarPngEscPos(bytes, arquivo, papel == 58 ? TOpcoesPreview::Papel58mm() : TOpcoesPreview::Papel80mm());
};

Resultado Executar(const std::vector<std::string>& args, const std::string& entrada = "",
                   const TDesenharPreview& desenhar = kDesenhar) {
  std::istringstream in(entrada);
  std::ostringstream out, err;
  const int codigo = ExecutarBilhetorPrint(args, in, out, err, "/nonexistent/bilhetor-print", desenhar);
  return {codigo, out.str(), err.str()};
}

QImage Ler(const std::string& arquivo) { return QImage(QString::fromStdString(arquivo), "PNG"); }

TEST(PrintToolPreview, PreviewAloneDrawsAndPrintsNothing) {
  TempDir dir;
  // The settings file names a port: --preview without --porta does not use it.
  WriteFile(dir / "bilhetor.ini", "[PosPrinter]\r\nModelo=1\r\nPorta=FILE:" + (dir / "impresso.bin") + "\r\n");
  const Resultado r = Executar({"--config", dir / "bilhetor.ini", "--ticket-exemplo", "--preview", dir / "t.png"});
  ASSERT_EQ(r.codigo, 0) << r.erro;
  EXPECT_EQ(r.erro, "");
  EXPECT_FALSE(std::filesystem::exists(dir / "impresso.bin"));
  const QImage imagem = Ler(dir / "t.png");
  ASSERT_FALSE(imagem.isNull());
  EXPECT_EQ(imagem.width(), 640);
  EXPECT_EQ(teste::LerCodigos(imagem), std::vector<std::string>{"CODE-39:57"});
  EXPECT_FALSE(std::filesystem::exists(dir / "t.png.tmp"));
}

TEST(PrintToolPreview, PreviewBesidesPrintingDrawsTheBytesSent) {
  TempDir dir;
  const Resultado r = Executar({"--porta", "FILE:" + (dir / "impresso.bin"), "--modelo", "ppEscPosEpson",
                                "--preview", dir / "t.png", "--papel", "58"},
                               "</ce><n>Teste</n>\n<code128>57</code128>\n</corte_total>\n");
  ASSERT_EQ(r.codigo, 0) << r.erro;
  const std::string impresso = ReadFile(dir / "impresso.bin");
  ASSERT_FALSE(impresso.empty());
  const QImage imagem = Ler(dir / "t.png");
  EXPECT_EQ(imagem.width(), 464);
  EXPECT_EQ(imagem, RenderizarEscPos(impresso, TOpcoesPreview::Papel58mm()).imagem.convertToFormat(imagem.format(),
                                                                                                   imagem.colorTable()));
  // --desenhar draws a file of printer bytes next to it, or where --preview says.
  ASSERT_EQ(Executar({"--desenhar", dir / "impresso.bin", "--papel", "58"}).codigo, 0);
  EXPECT_EQ(Ler(dir / "impresso.png"), imagem);
  ASSERT_EQ(Executar({"--desenhar", dir / "impresso.bin", "--preview", dir / "outra.png"}).codigo, 0);
  EXPECT_EQ(Ler(dir / "outra.png").width(), 640);
}

TEST(PrintToolPreview, WarningsAndFailuresAreReported) {
  TempDir dir;
  struct Caso {
    std::vector<std::string> args;
    std::string entrada;
    int codigo;
    std::string erro;  // a part of standard error (UTF-8)
  };
  const Caso casos[] = {
      {{"--preview", dir / "a.png"}, "<msi>123</msi>\n", 0,
       "bilhetor-print: aviso: GS k: simbologia 82 que a impressora n\xC3\xA3o conhece"},
      {{"--preview", dir / "b.png", "--modelo", "ppEscBematech"}, "x\n", 0,
       "aviso: o modelo ppEscBematech nao usa ESC/POS"},
      {{"--preview", dir / "sem/pasta/c.png"}, "x\n", 1,
       "bilhetor-print: N\xC3\xA3o foi poss\xC3\xADvel gravar a imagem " + (dir / "sem/pasta/c.png")},
      {{"--desenhar", dir / "nada.bin"}, "", 1, "nao foi possivel ler o arquivo"},
      {{"--papel", "70", "--preview", dir / "d.png"}, "", 2, "papel deve ser 80 ou 58"},
      {{"--preview", dir / "e.png", "--status"}, "", 2, "--preview nao combina"},
      {{"--desenhar", dir / "nada.bin", "--ticket-exemplo"}, "", 2, "--desenhar so combina"},
  };
  for (const Caso& c : casos) {
    const Resultado r = Executar(c.args, c.entrada);
    EXPECT_EQ(r.codigo, c.codigo) << c.args[0] << " " << r.erro;
    EXPECT_NE(r.erro.find(c.erro), std::string::npos) << r.erro;
  }
  // A program without the preview refuses the options.
  const Resultado sem = Executar({"--preview", dir / "f.png"}, "x\n", TDesenharPreview());
  EXPECT_EQ(sem.codigo, 1);
  EXPECT_EQ(sem.erro, "bilhetor-print: este programa nao desenha a pre-visualizacao\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "f.png"));
}

}  // namespace
}  // namespace bilhetor::preview
