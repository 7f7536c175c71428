#include "app/ConfiguracaoImpressora.h"

#include <algorithm>

#include "posprinter/PosModelos.h"

namespace bilhetor {

std::string ArquivoConfiguracao(const std::string& executavel) {
  const std::size_t barra = executavel.find_last_of('/');
  const std::size_t ponto = executavel.find_last_of('.');
  if (ponto != std::string::npos && (barra == std::string::npos || ponto > barra + 1))
    return executavel.substr(0, ponto) + ".ini";
  return executavel + ".ini";
}

namespace {

int LerFaixa(const TIniFile& ini, const char* secao, const char* chave, int atual, int minimo, int maximo) {
  return std::clamp(ini.ReadInteger(secao, chave, atual), minimo, maximo);
}

template <typename Enum>
Enum LerEnum(const TIniFile& ini, const char* secao, const char* chave, Enum atual, Enum ultimo) {
  const int valor = ini.ReadInteger(secao, chave, static_cast<int>(atual));
  // An ordinal outside the list leaves the current choice.
  if (valor < 0 || valor > static_cast<int>(ultimo)) return atual;
  return static_cast<Enum>(valor);
}

}  // namespace

void CarregarConfiguracao(const TIniFile& ini, TConfiguracaoImpressora& c) {
  const char* pp = "PosPrinter";
  c.Modelo = LerEnum(ini, pp, "Modelo", c.Modelo, ModelosImpressora().back().Modelo);
  c.Porta = ini.ReadString(pp, "Porta", c.Porta);
  c.DeviceParams = ini.ReadString(pp, "DeviceParams", c.DeviceParams);
  c.Colunas = LerFaixa(ini, pp, "Colunas", c.Colunas, 1, 999);
  c.EspacoEntreLinhas = LerFaixa(ini, pp, "EspacoEntreLinhas", c.EspacoEntreLinhas, 0, 255);
  c.LinhasBuffer = LerFaixa(ini, pp, "LinhasBuffer", c.LinhasBuffer, 0, 255);
  c.LinhasPular = LerFaixa(ini, pp, "LinhasPular", c.LinhasPular, 0, 255);
  c.CortarPapel = ini.ReadBool(pp, "CortarPapel", c.CortarPapel);
  c.ControlePorta = ini.ReadBool(pp, "ControlePorta", c.ControlePorta);
  c.TraduzirTags = ini.ReadBool(pp, "TraduzirTags", c.TraduzirTags);
  c.IgnorarTags = ini.ReadBool(pp, "IgnorarTags", c.IgnorarTags);
  c.ArqLog = ini.ReadString(pp, "ArqLog", c.ArqLog);
  c.PaginaDeCodigo = LerEnum(ini, pp, "PaginaDeCodigo", c.PaginaDeCodigo, TPosPaginaCodigo::pc1252);
  c.BarrasLargura = LerFaixa(ini, "Barras", "Largura", c.BarrasLargura, 0, 5);
  c.BarrasAltura = LerFaixa(ini, "Barras", "Altura", c.BarrasAltura, 0, 255);
  c.HRI = ini.ReadBool("Barras", "HRI", c.HRI);
  c.QRCodeTipo = LerFaixa(ini, "QRCode", "Tipo", c.QRCodeTipo, 1, 2);
  c.QRCodeLarguraModulo = LerFaixa(ini, "QRCode", "LarguraModulo", c.QRCodeLarguraModulo, 1, 16);
  c.QRCodeErrorLevel = LerFaixa(ini, "QRCode", "ErrorLevel", c.QRCodeErrorLevel, 0, 3);
  c.LogoKC1 = LerFaixa(ini, "Logo", "KC1", c.LogoKC1, 0, 126);
  c.LogoKC2 = LerFaixa(ini, "Logo", "KC2", c.LogoKC2, 0, 126);
  c.LogoFatorX = LerFaixa(ini, "Logo", "FatorX", c.LogoFatorX, 1, 4);
  c.LogoFatorY = LerFaixa(ini, "Logo", "FatorY", c.LogoFatorY, 1, 4);
  c.GavetaNumero = LerFaixa(ini, "Gaveta", "Numero", 1, 1, 2);
  c.GavetaTempoOn = LerFaixa(ini, "Gaveta", "TempoOn", c.GavetaTempoOn, 50, 250);
  c.GavetaTempoOff = LerFaixa(ini, "Gaveta", "TempoOff", c.GavetaTempoOff, 50, 250);
  c.GavetaSinalInvertido = ini.ReadBool("Gaveta", "SinalInvertido", c.GavetaSinalInvertido);
}

void SalvarConfiguracao(TIniFile& ini, const TConfiguracaoImpressora& c) {
  const char* pp = "PosPrinter";
  ini.WriteInteger(pp, "Modelo", static_cast<int>(c.Modelo));
  ini.WriteString(pp, "Porta", c.Porta);
  ini.WriteString(pp, "DeviceParams", c.DeviceParams);
  ini.WriteInteger(pp, "Colunas", c.Colunas);
  ini.WriteInteger(pp, "EspacoEntreLinhas", c.EspacoEntreLinhas);
  ini.WriteInteger(pp, "LinhasBuffer", c.LinhasBuffer);
  ini.WriteInteger(pp, "LinhasPular", c.LinhasPular);
  ini.WriteBool(pp, "CortarPapel", c.CortarPapel);
  ini.WriteBool(pp, "ControlePorta", c.ControlePorta);
  ini.WriteBool(pp, "TraduzirTags", c.TraduzirTags);
  ini.WriteBool(pp, "IgnorarTags", c.IgnorarTags);
  ini.WriteString(pp, "ArqLog", c.ArqLog);
  ini.WriteInteger(pp, "PaginaDeCodigo", static_cast<int>(c.PaginaDeCodigo));
  ini.WriteInteger("Barras", "Largura", c.BarrasLargura);
  ini.WriteInteger("Barras", "Altura", c.BarrasAltura);
  ini.WriteBool("Barras", "HRI", c.HRI);
  ini.WriteInteger("QRCode", "Tipo", c.QRCodeTipo);
  ini.WriteInteger("QRCode", "LarguraModulo", c.QRCodeLarguraModulo);
  ini.WriteInteger("QRCode", "ErrorLevel", c.QRCodeErrorLevel);
  ini.WriteInteger("Logo", "KC1", c.LogoKC1);
  ini.WriteInteger("Logo", "KC2", c.LogoKC2);
  ini.WriteInteger("Logo", "FatorX", c.LogoFatorX);
  ini.WriteInteger("Logo", "FatorY", c.LogoFatorY);
  ini.WriteInteger("Gaveta", "Numero", c.GavetaNumero);
  ini.WriteInteger("Gaveta", "TempoOn", c.GavetaTempoOn);
  ini.WriteInteger("Gaveta", "TempoOff", c.GavetaTempoOff);
  ini.WriteBool("Gaveta", "SinalInvertido", c.GavetaSinalInvertido);
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
  p.SetModelo(c.Modelo);
  p.SetPorta(c.Porta);
  if (!c.DeviceParams.empty()) p.Device().SetParamsString(c.DeviceParams);
  p.SetArqLOG(c.ArqLog);
  p.SetLinhasBuffer(c.LinhasBuffer);
  p.SetLinhasEntreCupons(c.LinhasPular);
  p.SetEspacoEntreLinhas(static_cast<uint8_t>(c.EspacoEntreLinhas & 0xFF));
  p.SetColunasFonteNormal(c.Colunas);
  p.SetControlePorta(c.ControlePorta);
  p.SetCortaPapel(c.CortarPapel);
  p.SetTraduzirTags(c.TraduzirTags);
  p.SetIgnorarTags(c.IgnorarTags);
  p.SetPaginaDeCodigo(c.PaginaDeCodigo);
  p.ConfigBarras().MostrarCodigo = c.HRI;
  p.ConfigBarras().LarguraLinha = c.BarrasLargura;
  p.ConfigBarras().Altura = c.BarrasAltura;
  p.ConfigQRCode().SetTipo(c.QRCodeTipo);
  p.ConfigQRCode().SetLarguraModulo(c.QRCodeLarguraModulo);
  p.ConfigQRCode().SetErrorLevel(c.QRCodeErrorLevel);
  p.ConfigLogo().KeyCode1 = static_cast<uint8_t>(c.LogoKC1 & 0xFF);
  p.ConfigLogo().KeyCode2 = static_cast<uint8_t>(c.LogoKC2 & 0xFF);
  p.ConfigLogo().FatorX = static_cast<uint8_t>(c.LogoFatorX & 0xFF);
  p.ConfigLogo().FatorY = static_cast<uint8_t>(c.LogoFatorY & 0xFF);
  p.ConfigGaveta().SinalInvertido = c.GavetaSinalInvertido;
}

}  // namespace bilhetor
