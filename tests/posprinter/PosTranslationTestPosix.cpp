// Linux names that are not regular files: an endless device and a FIFO
// without a writer; and a link to the picture. Should a read never end, the
// test program dies (SIGALRM) instead of filling the memory.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "PosTranslationTest.h"

namespace bilhetor {

CaminhosEspeciais CriarCaminhosEspeciais(const testing::TempDir& dir, const std::string& figura) {
  const std::string fifo = dir / "fila";
  EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string link = dir / "atalho.bmp";
  std::filesystem::create_symlink(figura, link);
  ::alarm(10);
  return {{"/dev/zero", fifo}, {link}, std::shared_ptr<void>(nullptr, [](void*) { ::alarm(0); })};
}

}  // namespace bilhetor
