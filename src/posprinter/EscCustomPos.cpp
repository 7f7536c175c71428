#include "posprinter/EscCustomPos.h"

#include "device/DeviceLog.h"
#include "posprinter/PosBytes.h"
#include "posprinter/PosPrinter.h"

namespace bilhetor {

namespace {

// The 8-bit messages carry "ã" as the two bytes C3 A3.
const char* const kMsgGravarLogo = "Comando GravarLogoRasterStr ainda n\xC3\xA3o suportado na CustomPos";
const char* const kMsgApagarLogo = "Comando ApagarLogo ainda n\xC3\xA3o suportado na CustomPos";

}  // namespace

TEscCustomPos::TEscCustomPos(TPosPrinter& impressora) : TEscPosEpson(impressora) {
  NomeModelo = "EscCustomPos";
  TPosComandos& c = Comandos;
  c.CortaTotal = B({0x1B, 0x69});
  c.CortaParcial = B({0x1B, 0x6D});
  c.Bip.clear();
  c.DescarregaPagina.clear();
  c.InicioModoPagina.clear();
  c.FimModoPagina.clear();
  c.InicioItalico.clear();
  c.FimItalico.clear();
  c.InicioCondensado.clear();
  c.FimCondensado.clear();
  for (const char* tag : {"</beep>", "<mp>", "</mp>", "</mp_imprimir>", "<mp_direcao>", "<mp_esquerda>", "<mp_topo>",
                          "<mp_largura>", "<mp_altura>", "<mp_espaco>", "</mp_configurar>"})
    TagsSemSuporte.push_back(tag);
}

bool TEscCustomPos::ItalicoNoModoImpressao() const { return true; }

std::string TEscCustomPos::MontarQRCode(const std::string& Codigo) {
  const TConfigQRCode& cfg = Impressora().ConfigQRCode();
  const std::string prefixo = B({0x1D, 0x28, 0x6B});
  const int modulo = cfg.LarguraModulo() < 2 ? 2 : cfg.LarguraModulo();
  std::string r;
  r += prefixo + B({0x03, 0x00, 0x31, 0x41}) + Byte(cfg.Tipo() == 2 ? 0x00 : 0x01);
  r += prefixo + B({0x03, 0x00, 0x31, 0x42}) + Byte(modulo);
  r += prefixo + B({0x03, 0x00, 0x31, 0x45}) + Byte(cfg.ErrorLevel());
  r += prefixo + escpos::LE2(static_cast<int64_t>(Codigo.size()) + 3, "Tamanho do QRCode") + B({0x31, 0x50, 0x31});
  r += Codigo;
  r += prefixo + B({0x03, 0x00, 0x31, 0x51, 0x31});
  return r;
}

std::string TEscCustomPos::MontarModoPagina() { return {}; }

std::string TEscCustomPos::MontarImagemRaster(const std::string& Raster, int Largura, int Altura) {
  return MontarEspacoLinhas(16) + escpos::BandasColunas24(Raster, Largura, Altura) +
         MontarEspacoLinhas(Impressora().EspacoEntreLinhas());
}

std::string TEscCustomPos::MontarGravacaoLogo(const std::string& /*Raster*/, int /*Largura*/, int /*Altura*/) {
  throw EPosPrinterException(kMsgGravarLogo);
}

std::string TEscCustomPos::MontarApagaLogo() { throw EPosPrinterException(kMsgApagarLogo); }

void TEscCustomPos::ValidarPosicaoLogo() {
  const TConfigLogo& cfg = Impressora().ConfigLogo();
  if (cfg.KeyCode1 != 1 || cfg.KeyCode2 != 0)
    throw EPosPrinterException("Custom apenas aceitas KeyCode1=1, KeyCode2=0");
}

std::string TEscCustomPos::ConsultarInfo() {
  TPosPrinter& p = Impressora();
  auto linha = [](const char* nome, const std::string& valor) { return std::string(nome) + "=" + valor + "\r\n"; };
  std::string r = linha("Fabricante", "CUSTOM");
  r += linha("Firmware", p.TransmitirReceber(B({0x1D, 0x49, 0x03}), 4, 500, false));

  // The model family byte says which query names the model.
  std::string resposta = p.TransmitirReceber(B({0x1D, 0x49, 0x01}), 1, 500, false);
  std::string modelo;
  if (resposta == B({0x8E}) || resposta == B({0xFF})) {
    resposta = p.TransmitirReceber(B({0x1D, 0x49, 0xFF}), 2, 500, false);
    if (resposta == B({0x02, 0x0A}))
      modelo = "K3";
    else if (resposta == B({0x02, 0x29}))
      modelo = "Q3X";
    else if (resposta == B({0x02, 0x4F}))
      modelo = "Q3X ETH";
  } else if (resposta == "_" || resposta == "e") {
    resposta = p.TransmitirReceber(B({0x1D, 0x49, 0x05}), 1, 500, false);
    if (resposta == B({0xBC}))
      modelo = "KUBE II";
    else if (resposta == B({0xA6}))
      modelo = "KUBE II ETH";
  }
  // An unknown model shows the last reply in readable form.
  if (modelo.empty()) modelo = TraduzirControles(resposta);
  r += linha("Modelo", modelo);

  const std::string tipo = p.TransmitirReceber(B({0x1D, 0x49, 0x02}), 1, 500, false);
  if (!tipo.empty()) r += linha("Guilhotina", (static_cast<uint8_t>(tipo[0]) & 0x02) ? "1" : "0");
  return r;
}

}  // namespace bilhetor
