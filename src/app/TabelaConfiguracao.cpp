#include "app/TabelaConfiguracao.h"

#include "app/Bilhetor.h"
#include "device/Device.h"
#include "posprinter/PosModelos.h"
#include "posprinter/PosPrinter.h"

namespace bilhetor {

namespace {

using C = TConfiguracaoImpressora;
using F = TfrmBilhetor;
using TDoMotor = void (*)(TPosPrinter&, C&);
using TParaMotor = void (*)(TPosPrinter&, const C&);

template <int C::*Campo>
int Inteiro(const C& c) {
  return c.*Campo;
}
template <int C::*Campo>
void DefinirInteiro(C& c, int v) {
  c.*Campo = v;
}
template <bool C::*Campo>
int Booleano(const C& c) {
  return c.*Campo ? 1 : 0;
}
template <bool C::*Campo>
void DefinirBooleano(C& c, int v) {
  c.*Campo = v != 0;
}

template <int C::*Campo>
TConfiguracao Numero(const char* secao, const char* chave, int minimo, int maximo, TSpinEdit F::*spin,
                     const char* rotulo, const char* nome, TDoMotor doMotor, TParaMotor paraMotor) {
  return {secao,    chave,     TTipoConfiguracao::Numero, minimo,  maximo,  &Inteiro<Campo>, &DefinirInteiro<Campo>,
          nullptr,  doMotor,   paraMotor,                 spin,    nullptr, nullptr,         nullptr,
          nullptr,  rotulo,    nome};
}

template <bool C::*Campo>
TConfiguracao Caixa(const char* secao, const char* chave, TCheckBox F::*caixa, void (F::*aoMudar)(), const char* rotulo,
                    const char* nome, TDoMotor doMotor, TParaMotor paraMotor) {
  return {secao,   chave,   TTipoConfiguracao::Booleano, 0,       1,       &Booleano<Campo>, &DefinirBooleano<Campo>,
          nullptr, doMotor, paraMotor,                   nullptr, caixa,   nullptr,          nullptr,
          aoMudar, rotulo,  nome};
}

TConfiguracao Texto(const char* chave, std::string C::*campo, TComboBox F::*lista, std::string F::*edicao,
                    void (F::*aoMudar)(), const char* rotulo, const char* nome, TDoMotor doMotor, TParaMotor paraMotor) {
  return {"PosPrinter", chave,   TTipoConfiguracao::Texto, 0,       0,      nullptr, nullptr, campo, doMotor,
          paraMotor,    nullptr, nullptr,                  lista,   edicao, aoMudar, rotulo,  nome};
}

std::vector<TConfiguracao> Montar() {
  const char* pp = "PosPrinter";
  std::vector<TConfiguracao> t;
  // [PosPrinter]
  t.push_back({pp, "Modelo", TTipoConfiguracao::Escolha, 0, static_cast<int>(ModelosImpressora().back().Modelo),
               [](const C& c) { return static_cast<int>(c.Modelo); },
               [](C& c, int v) { c.Modelo = static_cast<TPosPrinterModelo>(v); }, nullptr,
               [](TPosPrinter& p, C& c) { c.Modelo = p.Modelo(); },
               [](TPosPrinter& p, const C& c) { p.SetModelo(c.Modelo); }, nullptr, nullptr, &F::cbxModelo, nullptr,
               &F::cbxModeloChange, "Modelo", "cbxModelo"});
  t.push_back(Texto(
      "Porta", &C::Porta, &F::cbxPorta, nullptr, &F::cbxPortaChange, "Porta", "cbxPorta",
      [](TPosPrinter& p, C& c) { c.Porta = p.Porta(); }, [](TPosPrinter& p, const C& c) { p.SetPorta(c.Porta); }));
  // The serial parameters live in the device; the serial dialog edits them.
  t.push_back(Texto(
      "DeviceParams", &C::DeviceParams, nullptr, nullptr, nullptr, "Par\xE2metros da porta", "",
      [](TPosPrinter& p, C& c) { c.DeviceParams = p.Device().ParamsString(); },
      [](TPosPrinter& p, const C& c) {
        if (!c.DeviceParams.empty()) p.Device().SetParamsString(c.DeviceParams);
      }));
  t.push_back(Numero<&C::Colunas>(
      pp, "Colunas", 1, 999, &F::seColunas, "Colunas", "seColunas",
      [](TPosPrinter& p, C& c) { c.Colunas = p.ColunasFonteNormal(); },
      [](TPosPrinter& p, const C& c) { p.SetColunasFonteNormal(c.Colunas); }));
  t.push_back(Numero<&C::EspacoEntreLinhas>(
      pp, "EspacoEntreLinhas", 0, 255, &F::seEspLinhas, "Espa\xE7o entre linhas", "seEspLinhas",
      [](TPosPrinter& p, C& c) { c.EspacoEntreLinhas = p.EspacoEntreLinhas(); },
      [](TPosPrinter& p, const C& c) { p.SetEspacoEntreLinhas(static_cast<uint8_t>(c.EspacoEntreLinhas & 0xFF)); }));
  t.push_back(Numero<&C::LinhasBuffer>(
      pp, "LinhasBuffer", 0, 255, &F::seLinhasBuffer, "Linhas no buffer", "seLinhasBuffer",
      [](TPosPrinter& p, C& c) { c.LinhasBuffer = p.LinhasBuffer(); },
      [](TPosPrinter& p, const C& c) { p.SetLinhasBuffer(c.LinhasBuffer); }));
  t.push_back(Numero<&C::LinhasPular>(
      pp, "LinhasPular", 0, 255, &F::seLinhasPular, "Linhas antes do corte", "seLinhasPular",
      [](TPosPrinter& p, C& c) { c.LinhasPular = p.LinhasEntreCupons(); },
      [](TPosPrinter& p, const C& c) { p.SetLinhasEntreCupons(c.LinhasPular); }));
  t.push_back(Caixa<&C::CortarPapel>(
      pp, "CortarPapel", &F::cbCortarPapel, &F::cbCortarPapelClick, "Cortar Papel", "cbCortarPapel",
      [](TPosPrinter& p, C& c) { c.CortarPapel = p.CortaPapel(); },
      [](TPosPrinter& p, const C& c) { p.SetCortaPapel(c.CortarPapel); }));
  t.push_back(Caixa<&C::ControlePorta>(
      pp, "ControlePorta", &F::cbControlePorta, &F::cbControlePortaClick, "Controle Porta", "cbControlePorta",
      [](TPosPrinter& p, C& c) { c.ControlePorta = p.ControlePorta(); },
      [](TPosPrinter& p, const C& c) { p.SetControlePorta(c.ControlePorta); }));
  t.push_back(Caixa<&C::TraduzirTags>(
      pp, "TraduzirTags", &F::cbTraduzirTags, &F::cbTraduzirTagsClick, "Traduzir Tags", "cbTraduzirTags",
      [](TPosPrinter& p, C& c) { c.TraduzirTags = p.TraduzirTags(); },
      [](TPosPrinter& p, const C& c) { p.SetTraduzirTags(c.TraduzirTags); }));
  t.push_back(Caixa<&C::IgnorarTags>(
      pp, "IgnorarTags", &F::cbIgnorarTags, &F::cbIgnorarTagsClick, "Ignorar Tags", "cbIgnorarTags",
      [](TPosPrinter& p, C& c) { c.IgnorarTags = p.IgnorarTags(); },
      [](TPosPrinter& p, const C& c) { p.SetIgnorarTags(c.IgnorarTags); }));
  t.push_back(Texto(
      "ArqLog", &C::ArqLog, nullptr, &F::edLog, nullptr, "Arquivo de log", "edLog",
      [](TPosPrinter& p, C& c) { c.ArqLog = p.ArqLOG(); }, [](TPosPrinter& p, const C& c) { p.SetArqLOG(c.ArqLog); }));
  t.push_back({pp, "PaginaDeCodigo", TTipoConfiguracao::Escolha, 0, static_cast<int>(TPosPaginaCodigo::pc1252),
               [](const C& c) { return static_cast<int>(c.PaginaDeCodigo); },
               [](C& c, int v) { c.PaginaDeCodigo = static_cast<TPosPaginaCodigo>(v); }, nullptr,
               [](TPosPrinter& p, C& c) { c.PaginaDeCodigo = p.PaginaDeCodigo(); },
               [](TPosPrinter& p, const C& c) { p.SetPaginaDeCodigo(c.PaginaDeCodigo); }, nullptr, nullptr,
               &F::cbxPagCodigo, nullptr, &F::cbxPagCodigoChange, "P\xE1gina de c\xF3" "digo", "cbxPagCodigo"});
  // [Barras]
  t.push_back(Numero<&C::BarrasLargura>(
      "Barras", "Largura", 0, 5, &F::seBarrasLargura, "Largura", "seBarrasLargura",
      [](TPosPrinter& p, C& c) { c.BarrasLargura = p.ConfigBarras().LarguraLinha; },
      [](TPosPrinter& p, const C& c) { p.ConfigBarras().LarguraLinha = c.BarrasLargura; }));
  t.push_back(Numero<&C::BarrasAltura>(
      "Barras", "Altura", 0, 255, &F::seBarrasAltura, "Altura", "seBarrasAltura",
      [](TPosPrinter& p, C& c) { c.BarrasAltura = p.ConfigBarras().Altura; },
      [](TPosPrinter& p, const C& c) { p.ConfigBarras().Altura = c.BarrasAltura; }));
  t.push_back(Caixa<&C::HRI>(
      "Barras", "HRI", &F::cbHRI, &F::cbHRIClick, "HRI", "cbHRI",
      [](TPosPrinter& p, C& c) { c.HRI = p.ConfigBarras().MostrarCodigo; },
      [](TPosPrinter& p, const C& c) { p.ConfigBarras().MostrarCodigo = c.HRI; }));
  // [QRCode], through the engine's clamping setters
  t.push_back(Numero<&C::QRCodeTipo>(
      "QRCode", "Tipo", 1, 2, &F::seQRCodeTipo, "Tipo", "seQRCodeTipo",
      [](TPosPrinter& p, C& c) { c.QRCodeTipo = p.ConfigQRCode().Tipo(); },
      [](TPosPrinter& p, const C& c) { p.ConfigQRCode().SetTipo(c.QRCodeTipo); }));
  t.push_back(Numero<&C::QRCodeLarguraModulo>(
      "QRCode", "LarguraModulo", 1, 16, &F::seQRCodeLarguraModulo, "M\xF3" "dulo", "seQRCodeLarguraModulo",
      [](TPosPrinter& p, C& c) { c.QRCodeLarguraModulo = p.ConfigQRCode().LarguraModulo(); },
      [](TPosPrinter& p, const C& c) { p.ConfigQRCode().SetLarguraModulo(c.QRCodeLarguraModulo); }));
  t.push_back(Numero<&C::QRCodeErrorLevel>(
      "QRCode", "ErrorLevel", 0, 3, &F::seQRCodeErrorLevel, "Corre\xE7\xE3o", "seQRCodeErrorLevel",
      [](TPosPrinter& p, C& c) { c.QRCodeErrorLevel = p.ConfigQRCode().ErrorLevel(); },
      [](TPosPrinter& p, const C& c) { p.ConfigQRCode().SetErrorLevel(c.QRCodeErrorLevel); }));
  // [Logo], low bytes
  t.push_back(Numero<&C::LogoKC1>(
      "Logo", "KC1", 0, 126, &F::seLogoKC1, "KC1", "seLogoKC1",
      [](TPosPrinter& p, C& c) { c.LogoKC1 = p.ConfigLogo().KeyCode1; },
      [](TPosPrinter& p, const C& c) { p.ConfigLogo().KeyCode1 = static_cast<uint8_t>(c.LogoKC1 & 0xFF); }));
  t.push_back(Numero<&C::LogoKC2>(
      "Logo", "KC2", 0, 126, &F::seLogoKC2, "KC2", "seLogoKC2",
      [](TPosPrinter& p, C& c) { c.LogoKC2 = p.ConfigLogo().KeyCode2; },
      [](TPosPrinter& p, const C& c) { p.ConfigLogo().KeyCode2 = static_cast<uint8_t>(c.LogoKC2 & 0xFF); }));
  t.push_back(Numero<&C::LogoFatorX>(
      "Logo", "FatorX", 1, 4, &F::seLogoFatorX, "Fator X", "seLogoFatorX",
      [](TPosPrinter& p, C& c) { c.LogoFatorX = p.ConfigLogo().FatorX; },
      [](TPosPrinter& p, const C& c) { p.ConfigLogo().FatorX = static_cast<uint8_t>(c.LogoFatorX & 0xFF); }));
  t.push_back(Numero<&C::LogoFatorY>(
      "Logo", "FatorY", 1, 4, &F::seLogoFatorY, "Fator Y", "seLogoFatorY",
      [](TPosPrinter& p, C& c) { c.LogoFatorY = p.ConfigLogo().FatorY; },
      [](TPosPrinter& p, const C& c) { p.ConfigLogo().FatorY = static_cast<uint8_t>(c.LogoFatorY & 0xFF); }));
  // [Gaveta]: the number and the times are stored and shown; they never
  // reach the engine (the drawer tags carry their own).
  t.push_back(Numero<&C::GavetaNumero>("Gaveta", "Numero", 1, 2, &F::seGavetaNum, "N\xFAmero", "seGavetaNum",
                                       nullptr, nullptr));
  t.push_back(Numero<&C::GavetaTempoOn>(
      "Gaveta", "TempoOn", 50, 250, &F::seGavetaTempoON, "Tempo ligada", "seGavetaTempoON",
      [](TPosPrinter& p, C& c) { c.GavetaTempoOn = p.ConfigGaveta().TempoON; }, nullptr));
  t.push_back(Numero<&C::GavetaTempoOff>(
      "Gaveta", "TempoOff", 50, 250, &F::seGavetaTempoOFF, "Tempo desligada", "seGavetaTempoOFF",
      [](TPosPrinter& p, C& c) { c.GavetaTempoOff = p.ConfigGaveta().TempoOFF; }, nullptr));
  t.push_back(Caixa<&C::GavetaSinalInvertido>(
      "Gaveta", "SinalInvertido", &F::cbGavetaSinalInvertido, &F::cbGavetaSinalInvertidoClick, "Sinal Invertido",
      "cbGavetaSinalInvertido", [](TPosPrinter& p, C& c) { c.GavetaSinalInvertido = p.ConfigGaveta().SinalInvertido; },
      [](TPosPrinter& p, const C& c) { p.ConfigGaveta().SinalInvertido = c.GavetaSinalInvertido; }));
  return t;
}

}  // namespace

std::span<const TConfiguracao> Configuracoes() {
  static const std::vector<TConfiguracao> tabela = Montar();
  return tabela;
}

const TConfiguracao& Configuracao(std::string_view secao, std::string_view chave) {
  for (const TConfiguracao& c : Configuracoes())
    if (secao == c.Secao && chave == c.Chave) return c;
  throw Exception("Configura\xE7\xE3o desconhecida: [" + std::string(secao) + "] " + std::string(chave));
}

TSpinEdit SpinDe(std::string_view secao, std::string_view chave) {
  const TConfiguracao& c = Configuracao(secao, chave);
  return TSpinEdit(c.Minimo, c.Maximo);
}

TCheckBox CaixaDe(std::string_view secao, std::string_view chave) { return TCheckBox{Configuracao(secao, chave).Rotulo}; }

}  // namespace bilhetor
