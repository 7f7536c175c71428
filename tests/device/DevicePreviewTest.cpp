// PREVIEW: ports: each send is one picture file in the folder, drawn by the
// drawing the program registered.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

#include "DeviceTestSupport.h"
#include "device/Device.h"

namespace bilhetor {
namespace {

using testing::ListSpooler;
using testing::ReadFile;
using testing::StillClock;
using testing::TempDir;
using testing::WriteFile;

namespace fs = std::filesystem;

class DevicePreviewTest : public ::testing::Test {
 protected:
  DevicePreviewTest() : dev(std::make_shared<ListSpooler>(), std::make_shared<StillClock>()) {
    // A drawing that writes the bytes it was given, so the test sees which
    // send went into which file.
    RegistrarDesenhoPreview([this](const std::string& dados, const std::string& arquivo) {
      if (dados == "falha") throw std::runtime_error("sem papel virtual");
      ASSERT_EQ(ReadFile(arquivo), "") << "the file is claimed empty before the drawing";
      WriteFile(arquivo, "desenho de " + dados);
      desenhados.push_back(fs::path(arquivo).filename().string());
    });
  }
  ~DevicePreviewTest() override { RegistrarDesenhoPreview(nullptr); }

  std::string Erro(const std::function<void()>& f) {
    try {
      f();
    } catch (const Exception& e) {
      return e.Message();
    }
    ADD_FAILURE() << "no raise";
    return "";
  }

  TDevice dev;
  TempDir dir;
  std::vector<std::string> desenhados;
};

TEST_F(DevicePreviewTest, EverySendIsOnePictureInTheFolder) {
  const std::string pasta = dir / "papel/novo";
  dev.SetPorta("preview:" + pasta);
  EXPECT_EQ(dev.DeviceType(), TDeviceType::dtPreview);
  EXPECT_EQ(NomeDeviceType(dev.DeviceType()), "dtPreview");
  dev.Ativar();
  EXPECT_TRUE(fs::is_directory(pasta)) << "made when missing";
  WriteFile(pasta + "/ticket-0002.png", "de outro programa");
  dev.EnviaString("um");
  dev.EnviaString("dois");
  dev.EnviaString("tres");
  dev.Desativar();
  EXPECT_EQ(desenhados, (std::vector<std::string>{"ticket-0001.png", "ticket-0003.png", "ticket-0004.png"}));
  EXPECT_EQ(ReadFile(pasta + "/ticket-0001.png"), "desenho de um");
  EXPECT_EQ(ReadFile(pasta + "/ticket-0002.png"), "de outro programa");
  EXPECT_EQ(ReadFile(pasta + "/ticket-0004.png"), "desenho de tres");
  // Another device (a restarted program) goes on after the pictures there.
  TDevice outro(std::make_shared<ListSpooler>(), std::make_shared<StillClock>());
  outro.SetPorta("PREVIEW:" + pasta);
  outro.Ativar();
  outro.EnviaString("quatro");
  EXPECT_EQ(desenhados.back(), "ticket-0005.png");
  // A name ending in .txt is still a PREVIEW: port.
  EXPECT_EQ(dev.DeduzirTipoPorta("PREVIEW:tickets.txt"), TDeviceType::dtPreview);
}

TEST_F(DevicePreviewTest, FailuresSayWhatAndLeaveNoEmptyPicture) {
  dev.SetPorta("PREVIEW:" + dir.Path().string());
  dev.Ativar();
  EXPECT_EQ(Erro([&] { dev.EnviaString("falha"); }),
            "Erro ao desenhar " + (dir / "ticket-0001.png") + ": sem papel virtual");
  EXPECT_FALSE(fs::exists(dir / "ticket-0001.png"));
  dev.Desativar();

  WriteFile(dir / "arquivo", "x");
  TDevice sobreArquivo(std::make_shared<ListSpooler>(), std::make_shared<StillClock>());
  sobreArquivo.SetPorta("PREVIEW:" + (dir / "arquivo"));
  EXPECT_NE(Erro([&] { sobreArquivo.Ativar(); }).find("N\xE3o foi poss\xEDvel usar a pasta " + (dir / "arquivo")),
            std::string::npos);
  EXPECT_FALSE(sobreArquivo.Ativo());

  TDevice semPasta(std::make_shared<ListSpooler>(), std::make_shared<StillClock>());
  semPasta.SetPorta("PREVIEW: ");
  EXPECT_EQ(Erro([&] { semPasta.Ativar(); }), "Porta n\xE3o definida");

  // A program that registered no drawing cannot open the port.
  RegistrarDesenhoPreview(nullptr);
  TDevice semDesenho(std::make_shared<ListSpooler>(), std::make_shared<StillClock>());
  semDesenho.SetPorta("PREVIEW:" + dir.Path().string());
  EXPECT_EQ(Erro([&] { semDesenho.Ativar(); }),
            "Este programa n\xE3o desenha a pr\xE9-visualiza\xE7\xE3o da porta PREVIEW:" + dir.Path().string());
}

}  // namespace
}  // namespace bilhetor
