// The table of printer settings: each row's control reaches the engine on
// activation and comes back from it, and reaches the settings file.
#include <gtest/gtest.h>

#include <set>

#include "ServidorTeste.h"
#include "app/TabelaConfiguracao.h"

namespace bilhetor {
namespace {

using testing::PastasTeste;
using testing::ReadFile;
using testing::ServidorTeste;

TEST(TabelaConfiguracao, EveryControlReachesTheEngineAndTheFileAndComesBack) {
  PastasTeste pastas;
  pastas.EscreverIni("[PosPrinter]\nModelo=1\nPorta=FILE:" + pastas.Saida() + "\n");
  ServidorTeste s(pastas);
  TfrmBilhetor& f = s.form;
  f.CarregarConfiguracao();
  std::set<std::string> chaves;
  // A value other than the default in every spin box and check box (the
  // maximum, or the box turned over), as the operator would set it.
  TConfiguracaoImpressora esperado;
  for (const TConfiguracao& l : Configuracoes()) {
    EXPECT_TRUE(chaves.insert(std::string(l.Secao) + "/" + l.Chave).second) << l.Chave;
    const int controles = (l.Spin != nullptr) + (l.Caixa != nullptr) + (l.Lista != nullptr) + (l.Edicao != nullptr);
    EXPECT_EQ(controles, std::string(l.Chave) == "DeviceParams" ? 0 : 1) << l.Chave;
    if (l.Spin) (f.*l.Spin).SetValue(l.Maximo);
    if (l.Caixa) (f.*l.Caixa).Checked = !(f.*l.Caixa).Checked;
  }
  f.bAtivarClick();
  ASSERT_TRUE(f.Ativo());
  const std::string ini = ReadFile(pastas.Config("bilhetor.ini"));
  for (const TConfiguracao& l : Configuracoes()) {
    if (!l.Spin && !l.Caixa) continue;
    const int valor = l.Spin ? (f.*l.Spin).Value() : (f.*l.Caixa).Checked;
    EXPECT_NE(ini.find(std::string(l.Chave) + "=" + std::to_string(valor) + "\r\n"), std::string::npos) << l.Chave;
    if (!l.ParaMotor || !l.DoMotor) continue;
    TConfiguracaoImpressora motor;
    l.DoMotor(f.PosPrinter1, motor);
    EXPECT_EQ(l.Valor(motor), valor) << l.Chave;
  }
  EXPECT_EQ(chaves.size(), 27u);  // the keys the settings file has always held
}

}  // namespace
}  // namespace bilhetor
