// The single-instance sign on Windows: a named mutex of the session, held
// while the object lives.
#include <gtest/gtest.h>

#include <optional>

#include "app/Plataforma.h"
#include "support/TestSupport.h"

namespace bilhetor {
namespace {

TEST(InstanciaUnicaWin32, TheFirstTakesItASecondIsInUseUntilTheFirstEnds) {
  const std::string nome = "TfrmBilhetorTeste" + std::to_string(testing::ProcessId());
  std::optional<TInstanciaUnica> primeira(std::in_place, nome);
  EXPECT_TRUE(primeira->Obtida());
  EXPECT_EQ(primeira->Arquivo(), "Local\\" + nome);
  const TInstanciaUnica segunda(nome);
  EXPECT_FALSE(segunda.Obtida());
  EXPECT_TRUE(segunda.EmUso());
  EXPECT_EQ(segunda.Erro(), "");
  primeira.reset();
  EXPECT_TRUE(TInstanciaUnica(nome).Obtida());
}

}  // namespace
}  // namespace bilhetor
