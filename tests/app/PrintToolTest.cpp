#include "app/PrintTool.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/TestSupport.h"

namespace bilhetor {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

struct Resultado {
  int codigo;
  std::string saida, erro;
};

Resultado Executar(const std::vector<std::string>& args, const std::string& entrada = "",
                   const std::string& executavel = "/nonexistent/bilhetor-print") {
  std::istringstream in(entrada);
  std::ostringstream out, err;
  const int codigo = ExecutarBilhetorPrint(args, in, out, err, executavel);
  return {codigo, out.str(), err.str()};
}

TEST(PrintTool, UsageErrorsExitWithTwoAndSayWhy) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"--bogus"},
                                                               {"--porta"},
                                                               {"--modelo", "ppNada"},
                                                               {"--modelo", "11"},
                                                               {"--colunas", "0"},
                                                               {"--colunas", "abc"},
                                                               {"--pagina-codigo", "pc999"},
                                                               {"a.txt", "b.txt"}}) {
    const Resultado r = Executar(args);
    EXPECT_EQ(r.codigo, 2) << args[0];
    EXPECT_NE(r.erro.find("bilhetor-print: "), std::string::npos) << args[0];
    EXPECT_TRUE(r.saida.empty());
  }
  const Resultado ajuda = Executar({"--help"});
  EXPECT_EQ(ajuda.codigo, 0);
  EXPECT_NE(ajuda.saida.find("--pagina-codigo"), std::string::npos);
}

TEST(PrintTool, PrintsStandardInputToAFilePortWithThePlainTextModel) {
  TempDir dir;
  const std::string destino = dir / "saida.bin";
  const Resultado r = Executar({"--porta", "FILE:" + destino, "--modelo", "ppTexto", "--pagina-codigo", "pc1252"},
                               "<n>Ol\xE1</n>\nlinha 2\n");
  ASSERT_EQ(r.codigo, 0) << r.erro;
  EXPECT_EQ(ReadFile(destino), "Ol\xE1\r\nlinha 2\r\n");
}

TEST(PrintTool, SettingsFileGivesThePortAndOptionsWin) {
  TempDir dir;
  const std::string ini = dir / "bilhetor.ini";
  const std::string doIni = dir / "do-ini.bin";
  const std::string daOpcao = dir / "da-opcao.bin";
  WriteFile(ini, "[PosPrinter]\r\nModelo=0\r\nPorta=FILE:" + doIni + "\r\nColunas=20\r\n");
  ASSERT_EQ(Executar({"--config", ini}, "</linha_simples>\n").codigo, 0);
  EXPECT_EQ(ReadFile(doIni), std::string(20, '-') + "\r\n");
  // The settings file beside the program is read when no --config is given.
  ASSERT_EQ(Executar({"--porta", "FILE:" + daOpcao, "--colunas", "10"}, "</linha_simples>\n", dir / "bilhetor-print")
                .codigo,
            0);
  EXPECT_EQ(ReadFile(daOpcao), std::string(10, '-') + "\r\n");
  const Resultado semIni = Executar({"--config", dir / "nada.ini"});
  EXPECT_EQ(semIni.codigo, 1);
  EXPECT_NE(semIni.erro.find("nada.ini"), std::string::npos);
}

TEST(PrintTool, PrinterErrorsExitWithOneWithoutAStackTrace) {
  TempDir dir;
  const Resultado semPorta = Executar({"--modelo", "0"}, "x\n");
  EXPECT_EQ(semPorta.codigo, 1);
  EXPECT_NE(semPorta.erro.find("porta"), std::string::npos);
  const Resultado portaInvalida = Executar({"--porta", "nada-disso"}, "x\n");
  EXPECT_EQ(portaInvalida.codigo, 1);
  // The engine's Windows-1252 message reaches the terminal in UTF-8.
  EXPECT_EQ(portaInvalida.erro, "bilhetor-print: Porta n\xC3\xA3o definida\n");
  const Resultado semPasta = Executar({"--porta", "FILE:" + (dir / "no/such/dir/x.bin")}, "x\n");
  EXPECT_EQ(semPasta.codigo, 1);
  EXPECT_FALSE(semPasta.erro.empty());
}

TEST(PrintTool, StatusOfAPortThatCannotBeQueried) {
  TempDir dir;
  const Resultado r = Executar({"--porta", "FILE:" + (dir / "s.bin"), "--status"});
  EXPECT_EQ(r.codigo, 0) << r.erro;
  EXPECT_EQ(r.saida, "Status: stNaoSerial\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "s.bin")) << "a status query sends nothing";
}

TEST(PrintTool, SampleTicketAndReadableDump) {
  TempDir dir;
  const std::string destino = dir / "ticket.bin";
  const Resultado r = Executar({"--porta", "FILE:" + destino, "--modelo", "0", "--ticket-exemplo", "--mostrar"});
  ASSERT_EQ(r.codigo, 0) << r.erro;
  EXPECT_NE(r.saida.find("== Texto com tags\n</zera>\n</linha_simples>\n<n><e></ce>MAPA DE SEPARACAO\n"),
            std::string::npos);
  const std::string bytes = ReadFile(destino);
  EXPECT_NE(bytes.find("CLIENTE.: Jose Avila\r\n"), std::string::npos);
  EXPECT_NE(r.saida.find("== Bytes enviados (" + std::to_string(bytes.size()) + ")\n"), std::string::npos);
  EXPECT_NE(r.saida.find("CLIENTE.: Jose Avila[CR][LF]\n"), std::string::npos);
  EXPECT_EQ(TicketExemplo(48).size(), 32u);
  EXPECT_EQ(DescreverBytes(std::string("\x1B@A\n\x1D" "V\x01", 7)), "[ESC]@A[LF]\n[GS]V[SOH]\n");
  EXPECT_EQ(DescreverBytes(""), "");

  // --descrever shows a file the printer received.
  WriteFile(dir / "recebido.bin", std::string("\x1B@A\n\x1D" "V\x01", 7));
  const Resultado d = Executar({"--descrever", dir / "recebido.bin"});
  EXPECT_EQ(d.codigo, 0);
  EXPECT_EQ(d.saida, "[ESC]@A[LF]\n[GS]V[SOH]\n");
  EXPECT_EQ(Executar({"--descrever", dir / "nao-existe.bin"}).codigo, 1);
}

TEST(PrintTool, ShowWarnsOfTagsTheModelCannotPrint) {
  TempDir dir;
  const std::string texto = "<CODE128C>1234</code128c>\n";
  const Resultado diebold =
      Executar({"--porta", "FILE:" + (dir / "d.bin"), "--modelo", "ppEscDiebold", "--mostrar"}, texto);
  EXPECT_EQ(diebold.codigo, 0) << diebold.erro;
  EXPECT_EQ(diebold.erro, "bilhetor-print: aviso: o modelo ppEscDiebold nao imprime a tag <code128c>\n");
  const Resultado epson =
      Executar({"--porta", "FILE:" + (dir / "e.bin"), "--modelo", "ppEscPosEpson", "--mostrar"}, texto);
  EXPECT_EQ(epson.erro, "");
}

}  // namespace
}  // namespace bilhetor
