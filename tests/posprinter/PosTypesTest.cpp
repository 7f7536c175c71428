#include "posprinter/PosTypes.h"

#include <gtest/gtest.h>

namespace bilhetor {
namespace {

TEST(PosTypes, FontAndStatusSetsUseTheOrdinalAsBit) {
  TPosFonte f;
  EXPECT_TRUE(f.Vazio());
  f.Incluir(TPosAtributoFonte::afNegrito);
  f.Incluir(TPosAtributoFonte::afAlturaDupla);
  EXPECT_EQ(f.Bits(), (1u << 3) | (1u << 8));
  EXPECT_TRUE(f.Contem(TPosAtributoFonte::afNegrito));
  f.Excluir(TPosAtributoFonte::afNegrito);
  EXPECT_FALSE(f.Contem(TPosAtributoFonte::afNegrito));
  EXPECT_EQ(f.Bits(), 1u << 8);

  TPosStatus s;
  s.Incluir(TPosTipoStatus::stErroLeitura);
  s.Incluir(TPosTipoStatus::stErro);
  EXPECT_EQ(s.Bits(), (1u << 8) | 1u);
  s.Excluir(TPosTipoStatus::stErroLeitura);
  EXPECT_EQ(s.Bits(), 1u);
}

}  // namespace
}  // namespace bilhetor
