#include "posprinter/EscBematech.h"

#include <algorithm>
#include <exception>

#include "posprinter/EscPosEpson.h"
#include "posprinter/PosBytes.h"
#include "posprinter/PosPrinter.h"

namespace bilhetor {

namespace {

uint8_t ByteEm(const std::string& s, std::size_t i) { return i < s.size() ? static_cast<uint8_t>(s[i]) : 0; }

std::string Linha(const char* nome, const std::string& valor) { return std::string(nome) + "=" + valor + "\r\n"; }

}  // namespace

TEscBematech::TEscBematech(TPosPrinter& impressora) : TPosPrinterClass(impressora) {
  NomeModelo = "EscBematech";
  TPosComandos& c = Comandos;
  c.Bip = B({0x1B, 0x28, 0x41, 0x04, 0x00, 0x01, 0x02, 0x01, 0x00});
  c.AlinhaCentro = B({0x1B, 0x61, 0x01});
  c.AlinhaDireita = B({0x1B, 0x61, 0x02});
  c.AlinhaEsquerda = B({0x1B, 0x61, 0x00});
  c.CortaParcial = B({0x1B, 0x6D});
  c.FimAlturaDupla = B({0x1B, 0x64, 0x00});
  c.EspacamentoPadrao = B({0x1B, 0x32});
  c.InicioAlturaDupla = B({0x1B, 0x64, 0x01});
  c.InicioCondensado = B({0x1B, 0x0F});
  c.CortaTotal = B({0x1B, 0x77});
  c.PrefixoEspacamento = B({0x1B, 0x33});
  c.InicioExpandido = B({0x1B, 0x57, 0x01});
  c.FimCondensado = B({0x1B, 0x48});
  c.FimExpandido = B({0x1B, 0x57, 0x00});
  c.FimItalico = B({0x1B, 0x35});
  c.FimNegrito = B({0x1B, 0x46});
  c.FimSublinhado = B({0x1B, 0x2D, 0x00});
  c.InicioItalico = B({0x1B, 0x34});
  c.InicioNegrito = B({0x1B, 0x45});
  c.InicioSublinhado = B({0x1B, 0x2D, 0x01});
  c.AvancoLinha = B({0x0A});
  c.Reinicializa = B({0x1B, 0x40});
  // The normal font ends condensed and italic; font A and B are the normal
  // and the condensed pitch.
  c.RestauraFonte = B({0x1B, 0x21, 0x00}) + c.FimCondensado + c.FimItalico;
  c.SelecionaFonteA = c.FimCondensado;
  c.SelecionaFonteB = c.InicioCondensado;
  TagsSemSuporte = {"<msi>", "<code128c>", "<mp>"};
}

std::string TEscBematech::MontarCodigoBarras(const std::string& Tag, const std::string& Codigo) {
  const TConfigBarras& cfg = Impressora().ConfigBarras();
  return escpos::ComandoCodigoBarrasCode128Direto(Tag, Codigo, cfg.MostrarCodigo, cfg.LarguraLinha, cfg.Altura);
}

std::string TEscBematech::MontarQRCode(const std::string& Codigo) {
  const TConfigQRCode& cfg = Impressora().ConfigQRCode();
  return B({0x1D, 0x6B, 0x51}) + Byte(cfg.ErrorLevel()) + Byte(2 * cfg.LarguraModulo()) + B({0x00, 0x01}) +
         escpos::LE2(static_cast<int64_t>(Codigo.size()), "Tamanho do QRCode") + Codigo;
}

std::string TEscBematech::MontarPaginaCodigo(TPosPaginaCodigo Pagina) {
  int n;
  switch (Pagina) {
    case TPosPaginaCodigo::pc437: n = 0x03; break;
    case TPosPaginaCodigo::pc850: n = 0x02; break;
    case TPosPaginaCodigo::pc860: n = 0x04; break;
    case TPosPaginaCodigo::pcUTF8: n = 0x08; break;
    default: return {};  // pcNone, pc852, pc1252: the printer has no such table
  }
  return B({0x1B, 0x74}) + Byte(n);
}

uint8_t TEscBematech::TempoGaveta() const {
  const TConfigGaveta& cfg = Impressora().ConfigGaveta();
  return std::max(cfg.TempoON, cfg.TempoOFF);
}

std::string TEscBematech::MontarGaveta(int Gaveta) {
  return B({0x1B, static_cast<uint8_t>(Gaveta > 1 ? 0x80 : 0x76)}) + Byte(TempoGaveta());
}

std::string TEscBematech::MontarInicializacao() {
  return B({0x1D, 0xF9, 0x20, 0x00}) + TPosPrinterClass::MontarInicializacao();
}

void TEscBematech::DecodificarStatus(const std::string& Resposta, TPosStatus& Status) {
  if (Resposta.empty()) {
    Status.Incluir(TPosTipoStatus::stErroLeitura);
    return;
  }
  const uint8_t a = ByteEm(Resposta, 0);
  const uint8_t b = ByteEm(Resposta, 1);
  if (a & 0x04) Status.Incluir(TPosTipoStatus::stImprimindo);
  if (a & 0x08) Status.Incluir(TPosTipoStatus::stOffLine);
  if (a & 0x10) Status.Incluir(TPosTipoStatus::stImprimindo);
  if (b & 0x02) Status.Incluir(TPosTipoStatus::stPoucoPapel);
  if (b & 0x04) Status.Incluir(TPosTipoStatus::stSemPapel);
  if (!(b & 0x10)) Status.Incluir(TPosTipoStatus::stGavetaAberta);
  if (b & 0x20) Status.Incluir(TPosTipoStatus::stSemPapel);
  if (b & 0x40) Status.Incluir(TPosTipoStatus::stErro);
  if (!(b & 0x80)) Status.Incluir(TPosTipoStatus::stTampaAberta);
}

void TEscBematech::ConsultarStatus(TPosStatus& Status) {
  try {
    DecodificarStatus(Impressora().TransmitirReceber(B({0x1D, 0xF8, 0x31}), 5, 500, false), Status);
  } catch (const std::exception&) {
    Status.Incluir(TPosTipoStatus::stErroLeitura);
  }
}

std::string TEscBematech::ConsultarInfo() {
  TPosPrinter& p = Impressora();
  std::string r = Linha("Modelo", p.TransmitirReceber(B({0x1D, 0xF9, 0x27, 0x00}), 10, 500, false));
  // The serial number has no fixed length: whatever arrives in time.
  r += Linha("Serial", p.TransmitirReceber(B({0x1D, 0xF9, 0x27, 0x01}), 0, 500, false));
  r += Linha("Firmware", p.TransmitirReceber(B({0x1D, 0xF9, 0x27, 0x03}), 3, 500, false));
  const std::string status = p.TransmitirReceber(B({0x1D, 0xF8, 0x31}), 5, 500, false);
  r += Linha("Guilhotina", (ByteEm(status, 2) & 0x04) ? "0" : "1");
  return r;
}

std::string TEscBematech::MontarImagemRaster(const std::string& Raster, int Largura, int Altura) {
  return MontarEspacoLinhas(16) + escpos::BandasColunas24(Raster, Largura, Altura) +
         MontarEspacoLinhas(Impressora().EspacoEntreLinhas());
}

std::string TEscBematech::MontarLogo() {
  const TConfigLogo& cfg = Impressora().ConfigLogo();
  const int m = (cfg.FatorX > 1 ? 1 : 0) + (cfg.FatorY > 1 ? 2 : 0);
  const int n = cfg.KeyCode2 == 0 ? escpos::PosicaoLogoLegado(cfg.KeyCode1)
                                  : escpos::NumeroLogoKeyCodes(cfg.KeyCode1, cfg.KeyCode2, 1);
  return B({0x1C, 0x70}) + Byte(n) + Byte(m);
}

void TEscBematech::ValidarLogoLegado() const {
  const TConfigLogo& cfg = Impressora().ConfigLogo();
  if (cfg.KeyCode1 != 1 || cfg.KeyCode2 != 0)
    throw EPosPrinterException("Bematech apenas aceitas KeyCode1=1, KeyCode2=0");
}

std::string TEscBematech::MontarGravacaoLogo(const std::string& Raster, int Largura, int Altura) {
  ValidarLogoLegado();
  return escpos::ComandoGravacaoLogoLegado(1, Raster, Largura, Altura);
}

std::string TEscBematech::MontarApagaLogo() {
  ValidarLogoLegado();
  // Erasing stores a one-dot blank logo over it.
  return escpos::ComandoGravacaoLogoLegado(1, std::string(1, '\0'), 1, 1);
}

}  // namespace bilhetor
