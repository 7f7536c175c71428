#pragma once
// Names for the picture tag's file checks that each platform makes its own
// way (PosTranslationTestPosix.cpp, PosTranslationTestWin32.cpp).
#include <memory>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace bilhetor {

struct CaminhosEspeciais {
  std::vector<std::string> naoArquivos;  // lead to something other than a regular file
  std::vector<std::string> links;        // symbolic links to the picture
  // What keeps a read that never ends from hanging the test program, for as
  // long as the names are used.
  std::shared_ptr<void> guarda;
};

// Made in dir where they need to be made; the links lead to figura.
CaminhosEspeciais CriarCaminhosEspeciais(const testing::TempDir& dir, const std::string& figura);

}  // namespace bilhetor
