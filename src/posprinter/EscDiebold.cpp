#include "posprinter/EscDiebold.h"

#include "posprinter/PosBytes.h"
#include "posprinter/PosPrinter.h"

namespace bilhetor {

TEscDiebold::TEscDiebold(TPosPrinter& impressora) : TEscPosEpson(impressora) {
  NomeModelo = "EscDiebold";
  Comandos.FimExpandido = B({0x1B, 0x21, 0x00});
  Comandos.InicioItalico = B({0x1B, 0x34});
  Comandos.FimItalico = B({0x1B, 0x35});
  TagsSemSuporte.push_back("<code128c>");
}

std::string TEscDiebold::MontarCodigoBarras(const std::string& Tag, const std::string& Codigo) {
  const TConfigBarras& cfg = Impressora().ConfigBarras();
  return escpos::ComandoCodigoBarrasCode128Direto(Tag, Codigo, cfg.MostrarCodigo, cfg.LarguraLinha, cfg.Altura);
}

std::string TEscDiebold::MontarQRCode(const std::string& Codigo) {
  const TConfigQRCode& cfg = Impressora().ConfigQRCode();
  const std::string prefixo = B({0x1B, 0x28, 0x6B});
  std::string r;
  r += prefixo + B({0x03, 0x00, 0x31, 0x42}) + (Impressora().AlinhamentoAtual() == 0 ? '0' : '1');
  r += prefixo + B({0x03, 0x00, 0x31, 0x43}) + Byte(cfg.LarguraModulo());
  r += prefixo + B({0x03, 0x00, 0x31, 0x45}) + Byte('0' + cfg.ErrorLevel());
  r += prefixo + escpos::LE2(static_cast<int64_t>(Codigo.size()) + 3, "Tamanho do QRCode") + B({0x31, 0x50, 0x30});
  r += Codigo;
  r += prefixo + B({0x03, 0x00, 0x31, 0x51, 0x30});
  return r;
}

std::string TEscDiebold::MontarLogo() {
  const TConfigLogo& cfg = Impressora().ConfigLogo();
  const int n = escpos::NumeroLogoKeyCodes(cfg.KeyCode1, cfg.KeyCode2, 0);
  return B({0x1D, 0x30, 0x39}) + Byte(n > 9 ? 9 : n);
}

std::string TEscDiebold::ConsultarInfo() { return "Fabricante=Diebold\r\n"; }

}  // namespace bilhetor
