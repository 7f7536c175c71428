#include "app/ConfiguracaoImpressora.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace bilhetor {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(IniFile, ReadsCaseInsensitivelyAndKeepsOtherLinesOnWrite) {
  TempDir dir;
  const std::string path = dir / "bilhetor.ini";
  WriteFile(path, "; comentario\r\n[posprinter]\r\n  porta = COM2 \r\nOutra=x\r\n\r\n[Extra]\r\nk=v\r\n");
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("PosPrinter", "Porta", "?"), "COM2");
  EXPECT_TRUE(ini.ValueExists("POSPRINTER", "OUTRA"));
  EXPECT_FALSE(ini.ValueExists("PosPrinter", "k"));
  EXPECT_EQ(ini.ReadString("Nada", "Porta", "def"), "def");

  ini.WriteString("PosPrinter", "Porta", "TCP:127.0.0.1:9100");
  ini.WriteInteger("PosPrinter", "Colunas", 42);
  ini.WriteBool("Gaveta", "SinalInvertido", true);
  ini.UpdateFile();
  EXPECT_EQ(ReadFile(path),
            "; comentario\r\n[posprinter]\r\nPorta=TCP:127.0.0.1:9100\r\nOutra=x\r\nColunas=42\r\n\r\n"
            "[Extra]\r\nk=v\r\n\r\n[Gaveta]\r\nSinalInvertido=1\r\n");
}

TEST(IniFile, NumbersAndBooleans) {
  TempDir dir;
  const std::string path = dir / "b.ini";
  WriteFile(path, "[S]\nA=12\nB=abc\nC=0\nD=-3\nE=\n");
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("S", "A", 7), 12);
  EXPECT_EQ(ini.ReadInteger("S", "B", 7), 7);
  EXPECT_EQ(ini.ReadInteger("S", "E", 7), 7);
  EXPECT_FALSE(ini.ReadBool("S", "C", true));
  EXPECT_TRUE(ini.ReadBool("S", "D", false));
  EXPECT_TRUE(ini.ReadBool("S", "B", true)) << "text that is no number keeps the default";
}

TEST(IniFile, ValuesCannotInjectKeysAndUnwritableFileRaises) {
  TempDir dir;
  TIniFile ini(dir / "c.ini");
  ini.WriteString("S", "ArqLog", "a.log\r\n[Outra]\r\nX=1");
  ini.UpdateFile();
  TIniFile lido(dir / "c.ini");
  EXPECT_FALSE(lido.ValueExists("Outra", "X"));
  TIniFile semPasta(dir / "no/such/folder/x.ini");
  semPasta.WriteString("S", "K", "V");
  EXPECT_THROW(semPasta.UpdateFile(), EIniFile);
}

TEST(ConfiguracaoImpressora, FileNameBesideTheExecutable) {
  EXPECT_EQ(ArquivoConfiguracao("/opt/bilhetor/bilhetor"), "/opt/bilhetor/bilhetor.ini");
  EXPECT_EQ(ArquivoConfiguracao("/opt/b.v2/bilhetor.exe"), "/opt/b.v2/bilhetor.ini");
  EXPECT_EQ(ArquivoConfiguracao("/opt/b.v2/bilhetor"), "/opt/b.v2/bilhetor.ini");
  EXPECT_EQ(ArquivoConfiguracao("/opt/.hidden"), "/opt/.hidden.ini");
}

TEST(ConfiguracaoImpressora, MissingFileKeepsDefaultsAndSaveWritesEveryKey) {
  TempDir dir;
  const std::string path = dir / "bilhetor.ini";
  TConfiguracaoImpressora c;
  CarregarConfiguracao(TIniFile(path), c);
  EXPECT_EQ(c.Modelo, TPosPrinterModelo::ppEscPosEpson);
  EXPECT_EQ(c.Colunas, 48);
  EXPECT_TRUE(c.CortarPapel);
  EXPECT_EQ(c.QRCodeTipo, 2);

  TIniFile ini(path);
  SalvarConfiguracao(ini, c);
  const std::string texto = ReadFile(path);
  EXPECT_EQ(texto.rfind("[PosPrinter]\r\nModelo=1\r\nPorta=\r\nDeviceParams=\r\nColunas=48\r\n", 0), 0u) << texto;
  EXPECT_NE(texto.find("ArqLog=\r\nPaginaDeCodigo=2\r\n\r\n[Barras]\r\nLargura=0\r\nAltura=0\r\nHRI=0\r\n"),
            std::string::npos)
      << texto;
  EXPECT_NE(texto.find("[Gaveta]\r\nNumero=1\r\nTempoOn=50\r\nTempoOff=200\r\nSinalInvertido=0\r\n"), std::string::npos);
}

TEST(ConfiguracaoImpressora, OutOfRangeValuesAreClamped) {
  TempDir dir;
  const std::string path = dir / "bilhetor.ini";
  WriteFile(path,
            "[PosPrinter]\nModelo=4\nColunas=2000\nLinhasPular=-5\nCortarPapel=0\nPaginaDeCodigo=99\n"
            "[QRCode]\nLarguraModulo=40\nTipo=0\n[Logo]\nFatorX=9\n[Gaveta]\nNumero=2\nTempoOn=10\n");
  TConfiguracaoImpressora c;
  CarregarConfiguracao(TIniFile(path), c);
  EXPECT_EQ(c.Modelo, TPosPrinterModelo::ppEscVox);
  EXPECT_EQ(c.Colunas, 999);
  EXPECT_EQ(c.LinhasPular, 0);
  EXPECT_FALSE(c.CortarPapel);
  EXPECT_EQ(c.PaginaDeCodigo, TPosPaginaCodigo::pc850) << "an unknown code page keeps the current one";
  EXPECT_EQ(c.QRCodeLarguraModulo, 16);
  EXPECT_EQ(c.QRCodeTipo, 1);
  EXPECT_EQ(c.LogoFatorX, 4);
  EXPECT_EQ(c.GavetaNumero, 2);
  EXPECT_EQ(c.GavetaTempoOn, 50);
}

}  // namespace
}  // namespace bilhetor
