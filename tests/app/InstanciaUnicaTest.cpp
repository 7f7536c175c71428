// The single-instance lock: in a private folder when there is no runtime
// folder, and nothing there that another user planted is followed or used.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "app/Plataforma.h"
#include "support/TestSupport.h"

namespace bilhetor {
namespace {

namespace fs = std::filesystem;

struct Caso {
  const char* nome;
  bool runtime;  // the lock goes to $base/run as the runtime folder
  // The folder made first with this mode and owner (-1: the test's); mode
  // -1: none, -2: a link to the empty folder $base/alvo, -3: a file.
  int pasta;
  uid_t donoPasta;
  // The lock file made first: 'f' a file of uid 65534, 'l' a link to the
  // missing $base/alvo, 'p' a FIFO, 'i' the lock of another instance.
  char arquivo;
  const char* erro;  // a part of Erro(); "" when the lock is taken or in use
};

constexpr uid_t kEu = static_cast<uid_t>(-1);
const Caso kCasos[] = {
    {"TheFirstTakesItInANewPrivateFolder", false, -1, kEu, 0, ""},
    {"ASecondIsInUse", false, -1, kEu, 'i', ""},
    {"ALinkAsTheLockFileIsNotFollowed", false, 0700, kEu, 'l',
     "lock: \xE9 um link simb\xF3lico, que n\xE3o \xE9 seguido"},
    {"ALinkInTheRuntimeFolderIsNotFollowed", true, 0700, kEu, 'l', "lock: \xE9 um link simb\xF3lico"},
    {"ALockFileOfAnotherUser", false, 0700, kEu, 'f', "lock: pertence a outro usu\xE1rio (uid 65534)"},
    {"AFifoAsTheLockFile", true, 0700, kEu, 'p', "lock: n\xE3o \xE9 um arquivo comum"},
    {"AFolderOthersMayWrite", false, 0777, kEu, 0, "pode ser gravada por outros usu\xE1rios (modo 0777); remova-a"},
    {"AFolderOfAnotherUser", false, 0700, 65534, 0, "pertence a outro usu\xE1rio (uid 65534); remova-a"},
    {"ALinkAsTheFolder", false, -2, kEu, 0, "\xE9 um link simb\xF3lico; remova-a ou defina XDG_RUNTIME_DIR"},
    {"AFileAsTheFolder", false, -3, kEu, 0, "n\xE3o \xE9 uma pasta; remova-a"},
};

class InstanciaUnica : public ::testing::TestWithParam<Caso> {};

TEST_P(InstanciaUnica, TakesRefusesOrSaysWhy) {
  const Caso& c = GetParam();
  testing::TempDir base;
  const std::string runtime = c.runtime ? base / "run" : "";
  const std::string pasta = c.runtime ? runtime : base / ("bilhetor-" + std::to_string(::geteuid()));
  const std::string arquivo = pasta + "/TfrmBilhetor.lock", alvo = base / "alvo";
  if (c.pasta >= 0) {
    ASSERT_TRUE(::mkdir(pasta.c_str(), 0) == 0 && ::chmod(pasta.c_str(), c.pasta) == 0 &&
                ::chown(pasta.c_str(), c.donoPasta, c.donoPasta) == 0);
  }
  if (c.pasta == -3) testing::WriteFile(pasta, "");
  if (c.pasta == -2) {
    ASSERT_EQ(::mkdir(alvo.c_str(), 0700), 0);
  }
  if (c.pasta == -2 || c.arquivo == 'l') {
    ASSERT_EQ(::symlink(alvo.c_str(), (c.pasta == -2 ? pasta : arquivo).c_str()), 0);
  } else if (c.arquivo == 'f') {
    testing::WriteFile(arquivo, "");
    ASSERT_EQ(::chown(arquivo.c_str(), 65534, 65534), 0);
  } else if (c.arquivo == 'p') {
    ASSERT_EQ(::mkfifo(arquivo.c_str(), 0644), 0);
  }
  std::optional<TInstanciaUnica> primeira;
  if (c.arquivo == 'i') {
    ASSERT_TRUE(primeira.emplace("TfrmBilhetor", runtime, base.Path().string()).Obtida());
  }

  const TInstanciaUnica instancia("TfrmBilhetor", runtime, base.Path().string());
  EXPECT_EQ(instancia.Arquivo(), arquivo);
  EXPECT_EQ(instancia.Obtida(), !*c.erro && c.arquivo != 'i');
  EXPECT_EQ(instancia.EmUso(), c.arquivo == 'i');
  if (*c.erro) {
    EXPECT_EQ(instancia.Erro().rfind(arquivo + ": ", 0), 0u) << instancia.Erro();
    EXPECT_NE(instancia.Erro().find(c.erro), std::string::npos) << instancia.Erro();
  } else {
    EXPECT_EQ(instancia.Erro(), "");
  }
  EXPECT_TRUE(!fs::exists(alvo) || (fs::is_empty(alvo) && fs::is_directory(alvo)));  // no link was followed
  if (instancia.Obtida()) {
    EXPECT_EQ(fs::status(pasta).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(arquivo).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  }
}

INSTANTIATE_TEST_SUITE_P(Casos, InstanciaUnica, ::testing::ValuesIn(kCasos),
                         [](const auto& info) { return std::string(info.param.nome); });

}  // namespace
}  // namespace bilhetor
