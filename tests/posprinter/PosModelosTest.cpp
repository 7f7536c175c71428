// The table of printer models covers the whole enumeration, in its order.
#include "posprinter/PosModelos.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace bilhetor {
namespace {

TEST(PosModelos, EveryModelHasOneRowInTheOrderOfItsOrdinalWithAUniqueName) {
  const auto modelos = ModelosImpressora();
  ASSERT_EQ(modelos.size(), 11u);  // ppTexto (0) to ppEscGPrinter (10)
  EXPECT_EQ(modelos.back().Modelo, TPosPrinterModelo::ppEscGPrinter);
  std::set<std::string> nomes;
  for (std::size_t i = 0; i < modelos.size(); ++i) {
    EXPECT_EQ(static_cast<std::size_t>(modelos[i].Modelo), i);
    EXPECT_EQ(AcharModelo(static_cast<TPosPrinterModelo>(i)), &modelos[i]);
    EXPECT_TRUE(nomes.insert(modelos[i].Nome).second) << modelos[i].Nome;
    EXPECT_NE(modelos[i].Criar, nullptr) << modelos[i].Nome;
  }
  EXPECT_EQ(AcharModelo(static_cast<TPosPrinterModelo>(11)), nullptr);
}

}  // namespace
}  // namespace bilhetor
