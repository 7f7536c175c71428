#include "app/ConfiguracaoImpressora.h"

#include <algorithm>

#include "app/TabelaConfiguracao.h"

namespace bilhetor {

std::string ArquivoConfiguracao(const std::string& executavel) {
  const std::size_t barra = executavel.find_last_of('/');
  const std::size_t ponto = executavel.find_last_of('.');
  if (ponto != std::string::npos && (barra == std::string::npos || ponto > barra + 1))
    return executavel.substr(0, ponto) + ".ini";
  return executavel + ".ini";
}

void CarregarConfiguracao(const TIniFile& ini, TConfiguracaoImpressora& c) {
  for (const TConfiguracao& l : Configuracoes()) {
    switch (l.Tipo) {
      case TTipoConfiguracao::Texto: c.*l.Texto = ini.ReadString(l.Secao, l.Chave, c.*l.Texto); break;
      case TTipoConfiguracao::Booleano: l.DefinirValor(c, ini.ReadBool(l.Secao, l.Chave, l.Valor(c) != 0)); break;
      case TTipoConfiguracao::Numero:
        l.DefinirValor(c, std::clamp(ini.ReadInteger(l.Secao, l.Chave, l.Valor(c)), l.Minimo, l.Maximo));
        break;
      case TTipoConfiguracao::Escolha: {
        // An ordinal outside the list leaves the current choice.
        const int v = ini.ReadInteger(l.Secao, l.Chave, l.Valor(c));
        if (v >= l.Minimo && v <= l.Maximo) l.DefinirValor(c, v);
        break;
      }
    }
  }
}

void SalvarConfiguracao(TIniFile& ini, const TConfiguracaoImpressora& c) {
  for (const TConfiguracao& l : Configuracoes()) {
    if (l.Tipo == TTipoConfiguracao::Texto)
      ini.WriteString(l.Secao, l.Chave, c.*l.Texto);
    else if (l.Tipo == TTipoConfiguracao::Booleano)
      ini.WriteBool(l.Secao, l.Chave, l.Valor(c) != 0);
    else
      ini.WriteInteger(l.Secao, l.Chave, l.Valor(c));
  }
  ini.UpdateFile();
}

}  // namespace bilhetor

#include "device/Device.h"
#include "posprinter/PosPrinter.h"

namespace bilhetor {

void PrepararImpressora(TPosPrinter& impressora) {
  impressora.SetModelo(TPosPrinterModelo::ppEscPosEpson);
  impressora.SetVerificarImpressora(true);
  impressora.SetLinhasEntreCupons(0);
  impressora.ConfigBarras() = TConfigBarras{};
  impressora.ConfigQRCode().SetTipo(2);
  impressora.ConfigQRCode().SetLarguraModulo(4);
  impressora.ConfigQRCode().SetErrorLevel(0);
  impressora.Device().SetNomeDocumento("PosPrinterDemo");
}

void AplicarConfiguracao(TPosPrinter& p, const TConfiguracaoImpressora& c) {
  for (const TConfiguracao& l : Configuracoes())
    if (l.ParaMotor) l.ParaMotor(p, c);
}

}  // namespace bilhetor
