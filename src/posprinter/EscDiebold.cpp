#include "posprinter/EscDiebold.h"

#include <algorithm>

#include "common/Strings.h"
#include "posprinter/PosBytes.h"
#include "posprinter/PosPrinter.h"

namespace bilhetor {

namespace {

bool EhCode128(std::string_view tag) {
  return SameText(tag, "<code128>") || SameText(tag, "<code128a>") || SameText(tag, "<code128b>") ||
         SameText(tag, "<code128c>");
}

}  // namespace

namespace escpos {

std::string ComandoCodigoBarrasCode128Direto(std::string_view tag, std::string_view codigo, bool mostrarCodigo,
                                             int larguraLinha, int altura) {
  if (!EhCode128(tag)) return ComandoCodigoBarras(tag, codigo, mostrarCodigo, larguraLinha, altura);
  if (codigo.size() > kMaxDadosBarras) {
    // The length travels in one byte, as for every GS k barcode.
    throw EPosPrinterException(Format("C\xF3" "digo de barras %.*s com %zu bytes excede o limite de %zu bytes",
                                      static_cast<int>(tag.size()), tag.data(), codigo.size(), kMaxDadosBarras));
  }
  return ParametrosBarras(mostrarCodigo, larguraLinha, altura) + B({0x1D, 0x6B, 0x49}) +
         Byte(static_cast<int>(codigo.size())) + std::string(codigo);
}

int NumeroLogoKeyCodes(uint8_t keyCode1, uint8_t keyCode2, int padrao) {
  const char texto[2] = {static_cast<char>(keyCode1), static_cast<char>(keyCode2)};
  // A negative number ("-5") has no position: it goes out as 0, as the
  // other settings are kept within their ranges, and the ticket prints.
  return std::max(0, StrToIntDef(std::string_view(texto, 2), padrao));
}

}  // namespace escpos

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
