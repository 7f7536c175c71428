// File ports and parallel ports, on both platforms.
#include <filesystem>

#include "DeviceFileTest.h"

namespace bilhetor {
namespace {

using testing::LogLines;
using testing::ReadFile;
using testing::WriteFile;

TEST_F(DeviceFileTest, ActivationDeletesTheFileAndSendsAppendAllBytesUnchanged) {
  const std::string arquivo = dir / "cupom.txt";
  WriteFile(arquivo, "old ticket");
  dev.SetPorta(arquivo);
  dev.Ativar();
  EXPECT_TRUE(dev.Ativo());
  EXPECT_EQ(ReadFile(arquivo), "");
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  all += "\r\n\n\r";
  dev.EnviaString(all);
  dev.EnviaString("fim");
  EXPECT_EQ(ReadFile(arquivo), all + "fim");
  dev.Desativar();
  dev.Ativar();
  EXPECT_EQ(ReadFile(arquivo), "");
}

TEST_F(DeviceFileTest, FilePrefixGivesThePathAndTheLogShowsTheSteps) {
  const std::string arquivo = dir / "out.prn";
  WriteFile(arquivo, "x");
  dev.SetPorta("FILE:" + arquivo);
  EXPECT_TRUE(dev.IsFile());
  dev.SetArqLOG(dir / "d.log");
  dev.Ativar();
  dev.EnviaString("A\x1B" "B");
  EXPECT_EQ(ReadFile(arquivo), "A\x1B" "B");
  EXPECT_EQ(LogLines(dir / "d.log"),
            (std::vector<std::string>{"Ativar - Porta:FILE:" + arquivo, "GetPrinterFileName: " + arquivo,
                                      "  NomeArq: " + arquivo, "  DeleteFile(" + arquivo + ")",
                                      "EnviaStringArquivo()", "GetPrinterFileName: " + arquivo,
                                      "EnviaString(A[ESC]B)", "EnviaStringArquivo(A[ESC]B)",
                                      "GetPrinterFileName: " + arquivo}));
}

TEST_F(DeviceFileTest, PiecesAndPausesOfAFileSend) {
  const std::string arquivo = dir / "cupom.txt";
  dev.SetPorta(arquivo);
  dev.Ativar();
  dev.SetSendBytesCount(4);
  dev.SetSendBytesInterval(30);
  dev.EnviaString("0123456789");
  EXPECT_EQ(ReadFile(arquivo), "0123456789");
  EXPECT_EQ(clock->sleeps, (std::vector<int>{30, 30, 30}));
}

TEST_F(DeviceFileTest, EmptySendOnlyCreatesOrEmptiesTheFile) {
  const std::string arquivo = dir / "novo.txt";
  dev.SetPorta(arquivo);
  dev.EnviaStringArquivo("");
  EXPECT_TRUE(std::filesystem::exists(arquivo));
  EXPECT_EQ(ReadFile(arquivo), "");
}

TEST_F(DeviceFileTest, MissingFolderFailsActivationWithTheOpenError) {
  const std::string arquivo = dir / "nao/existe/cupom.txt";
  dev.SetPorta(arquivo);
  dev.SetArqLOG(dir / "d.log");
  std::string classe;
  const std::string msg = ExpectRaise([&] { dev.Ativar(); }, &classe);
  EXPECT_EQ(classe, "EStreamError");
  EXPECT_EQ(msg, "Cannot open file \"" + arquivo + "\". No such file or directory");
  EXPECT_FALSE(dev.Ativo());
  EXPECT_EQ(LogLines(dir / "d.log").back(), "EStreamError: " + msg);
}

TEST_F(DeviceFileTest, NoPortIsRefused) {
  EXPECT_EQ(ExpectRaise([&] { dev.Ativar(); }), "Porta n\xE3o definida");
  dev.SetPorta("out.prn");
  EXPECT_EQ(ExpectRaise([&] { dev.Ativar(); }), "Porta n\xE3o definida");
  EXPECT_FALSE(dev.Ativo());
}

TEST_F(DeviceFileTest, ParallelPortIsWrittenLikeAFileButNeverCreated) {
  dev.SetPastaDispositivos(dir.Path().string());
  dev.SetPorta("lpt1");
  const std::string arquivo = dev.GetPrinterFileName();
  EXPECT_EQ(std::filesystem::path(arquivo).parent_path(), dir.Path());
  std::string classe;
  EXPECT_EQ(ExpectRaise([&] { dev.Ativar(); }, &classe), "Porta LPT1 n\xE3o acess\xEDvel");
  EXPECT_EQ(classe, "EStreamError");
  EXPECT_FALSE(std::filesystem::exists(arquivo));
  EXPECT_FALSE(dev.Ativo());
}

}  // namespace
}  // namespace bilhetor
