// Where the Windows program keeps its settings: beside itself, unless it is
// installed under Program Files, which a shop's user may not write.
#include <gtest/gtest.h>

#include "app/Plataforma.h"
#include "support/TestSupport.h"

namespace bilhetor {
namespace {

TEST(PastasWin32, UnderProgramFilesTheSettingsAreInTheFixedFolder) {
  testing::SetEnv("ProgramW6432", "C:\\Program Files");
  const std::pair<const char*, bool> casos[] = {
      {"C:\\Program Files\\Bilhetor\\bilhetor.exe", true},
      {"c:\\PROGRAM FILES\\Bilhetor\\bilhetor.exe", true},
      {"C:\\Program Files (x86)\\Bilhetor\\bilhetor.exe", false},
      {"C:\\Bilhetor\\bilhetor.exe", false},
      {"Z:\\work\\build\\bilhetor.exe", false},
  };
  for (const auto& [executavel, instalado] : casos) EXPECT_EQ(ExecutavelInstalado(executavel), instalado) << executavel;
  EXPECT_EQ(PastaFixaPadrao(), "C:\\bkp");
}

}  // namespace
}  // namespace bilhetor
