#include "posprinter/EscPosEpson.h"

#include <exception>
#include <string>

#include "posprinter/PosBytes.h"
#include "posprinter/PosPrinter.h"

namespace bilhetor {

TEscPosEpson::TEscPosEpson(TPosPrinter& impressora) : TPosPrinterClass(impressora) {
  NomeModelo = "EscPosEpson";
  TPosComandos& c = Comandos;
  c.Bip = B({0x1B, 0x28, 0x41, 0x05, 0x00, 0x61, 0x64, 0x01, 0x32, 0x32});
  c.AlinhaCentro = B({0x1B, 0x61, 0x01});
  c.AlinhaDireita = B({0x1B, 0x61, 0x02});
  c.AlinhaEsquerda = B({0x1B, 0x61, 0x00});
  c.CortaParcial = B({0x1D, 0x56, 0x01});
  c.FimAlturaDupla = B({0x1D, 0x21, 0x00});
  c.FimInvertido = B({0x1D, 0x42, 0x00});
  c.FimModoPagina = B({0x1B, 0x53});
  c.EspacamentoPadrao = B({0x1B, 0x32});
  c.DescarregaPagina = B({0x1B, 0x0C});
  c.InicioAlturaDupla = B({0x1D, 0x21, 0x01});
  c.InicioInvertido = B({0x1D, 0x42, 0x01});
  c.RestauraFonte = B({0x1B, 0x21, 0x00});
  c.InicioCondensado = B({0x0F});
  c.CortaTotal = B({0x1D, 0x56, 0x00});
  c.PrefixoEspacamento = B({0x1B, 0x33});
  c.InicioExpandido = B({0x1D, 0x21, 0x10});
  c.FimCondensado = B({0x12});
  c.FimExpandido = B({0x1D, 0x21, 0x00});
  c.FimItalico = B({0x1B, 0x35});
  c.FimNegrito = B({0x1B, 0x45, 0x00});
  c.FimSublinhado = B({0x1B, 0x2D, 0x00});
  c.SelecionaFonteA = B({0x1B, 0x4D, 0x00});
  c.SelecionaFonteB = B({0x1B, 0x4D, 0x01});
  c.InicioItalico = B({0x1B, 0x34});
  c.InicioModoPagina = B({0x1B, 0x4C});
  c.InicioNegrito = B({0x1B, 0x45, 0x01});
  c.InicioSublinhado = B({0x1B, 0x2D, 0x01});
  c.AvancoLinha = B({0x0A});
  c.Reinicializa = B({0x1B, 0x40});
  TagsSemSuporte.push_back("<msi>");
}

std::string TEscPosEpson::MontarCodigoBarras(const std::string& Tag, const std::string& Codigo) {
  const TConfigBarras& cfg = Impressora().ConfigBarras();
  return escpos::ComandoCodigoBarras(Tag, Codigo, cfg.MostrarCodigo, cfg.LarguraLinha, cfg.Altura);
}

std::string TEscPosEpson::MontarQRCode(const std::string& Codigo) {
  const TConfigQRCode& cfg = Impressora().ConfigQRCode();
  return escpos::ComandoQRCode(Codigo, cfg.Tipo(), cfg.LarguraModulo(), cfg.ErrorLevel());
}

std::string TEscPosEpson::MontarPaginaCodigo(TPosPaginaCodigo Pagina) { return escpos::ComandoPaginaCodigo(Pagina); }

std::string TEscPosEpson::MontarGaveta(int Gaveta) {
  const TConfigGaveta& cfg = Impressora().ConfigGaveta();
  return escpos::ComandoGaveta(Gaveta, cfg.TempoON, cfg.TempoOFF);
}

std::string TEscPosEpson::MontarFonte(TPosAtributoFonte Atributo, bool Ligar) {
  const bool italicoNoModo = ItalicoNoModoImpressao();
  switch (Atributo) {
    case TPosAtributoFonte::afItalico:
      if (!italicoNoModo) return TPosPrinterClass::MontarFonte(Atributo, Ligar);
      [[fallthrough]];
    case TPosAtributoFonte::afCondensado:
    case TPosAtributoFonte::afExpandido:
    case TPosAtributoFonte::afNegrito:
    case TPosAtributoFonte::afSublinhado:
    case TPosAtributoFonte::afAlturaDupla: {
      // One combined print mode from the set as it will be after the tag.
      TPosFonte novo = Impressora().EstadoFonte();
      if (Ligar)
        novo.Incluir(Atributo);
      else
        novo.Excluir(Atributo);
      const bool italico = novo.Contem(TPosAtributoFonte::afItalico);
      uint8_t n = escpos::ModoImpressao(novo);
      if (italico && italicoNoModo) n |= 0x40;
      std::string r = B({0x1B, 0x21, n});
      if (novo.Contem(TPosAtributoFonte::afInvertido)) r += Comandos.InicioInvertido;
      if (italico && !italicoNoModo) r += Comandos.InicioItalico;
      return r;
    }
    default:
      return TPosPrinterClass::MontarFonte(Atributo, Ligar);
  }
}

std::string TEscPosEpson::MontarModoPagina() {
  const TConfigModoPagina& cfg = Impressora().ConfigModoPagina();
  return escpos::ComandoDirecaoPagina(cfg.Direcao) + MontarEspacoLinhas(cfg.EspacoEntreLinhas) +
         escpos::ComandoAreaPagina(cfg.Esquerda, cfg.Topo, cfg.Largura, cfg.Altura);
}

void TEscPosEpson::ConsultarStatus(TPosStatus& Status) {
  using Decodificador = void (*)(uint8_t, TPosStatus&);
  static const struct {
    uint8_t n;
    Decodificador decodificar;
  } consultas[] = {
      {0x01, escpos::DecodificarStatusImpressora},
      {0x02, escpos::DecodificarCausaOffLine},
      {0x04, escpos::DecodificarSensorPapel},
  };
  try {
    Impressora().SetAtivo(true);
    for (const auto& c : consultas) {
      const std::string resposta = Impressora().TransmitirReceber(B({0x10, 0x04, c.n}), 1, 500, false);
      if (!resposta.empty()) c.decodificar(static_cast<uint8_t>(resposta[0]), Status);
    }
  } catch (const std::exception&) {
    Status.Incluir(TPosTipoStatus::stErroLeitura);
  }
}

std::string TEscPosEpson::ConsultarInfo() {
  static const struct {
    uint8_t n;
    const char* nome;
  } consultas[] = {{0x42, "Fabricante"}, {0x41, "Firmware"}, {0x43, "Modelo"}, {0x44, "Serial"}};
  std::string r;
  for (const auto& c : consultas) {
    // The reply is a header byte, the text and a NUL terminator.
    const std::string resposta = Impressora().TransmitirReceber(B({0x1D, 0x49, c.n}), 0x00, 500, true);
    r += c.nome;
    r += "=";
    if (!resposta.empty()) r.append(resposta, 1, std::string::npos);
    r += "\r\n";
  }
  const std::string tipo = Impressora().TransmitirReceber(B({0x1D, 0x49, 0x32}), 1, 500, false);
  if (!tipo.empty()) r += std::string("Guilhotina=") + ((static_cast<uint8_t>(tipo[0]) & 0x02) ? "1" : "0") + "\r\n";
  return r;
}

std::string TEscPosEpson::MontarImagemRaster(const std::string& Raster, int Largura, int Altura) {
  if (Impressora().ConfigLogo().KeyCode2 == 0) {
    // Column form, for printers without the graphics commands.
    return MontarEspacoLinhas(16) + escpos::BandasColunas24(Raster, Largura, Altura) +
           MontarEspacoLinhas(Impressora().EspacoEntreLinhas());
  }
  return escpos::ComandoImagemGrafica(Raster, Largura, Altura);
}

std::string TEscPosEpson::MontarLogo() {
  const TConfigLogo& cfg = Impressora().ConfigLogo();
  if (cfg.KeyCode2 == 0) return escpos::ComandoLogoLegado(cfg.KeyCode1, cfg.FatorX, cfg.FatorY);
  ValidarPosicaoLogo();
  return escpos::ComandoLogoKeyCode(cfg.KeyCode1, cfg.KeyCode2, cfg.FatorX, cfg.FatorY);
}

std::string TEscPosEpson::MontarGravacaoLogo(const std::string& Raster, int Largura, int Altura) {
  const TConfigLogo& cfg = Impressora().ConfigLogo();
  if (cfg.KeyCode2 == 0) return escpos::ComandoGravacaoLogoLegado(cfg.KeyCode1, Raster, Largura, Altura);
  ValidarPosicaoLogo();
  return escpos::ComandoGravacaoLogoKeyCode(cfg.KeyCode1, cfg.KeyCode2, Raster, Largura, Altura);
}

std::string TEscPosEpson::MontarApagaLogo() {
  const TConfigLogo& cfg = Impressora().ConfigLogo();
  // Erasing in the legacy form stores a one-dot blank logo over it.
  if (cfg.KeyCode2 == 0) return escpos::ComandoGravacaoLogoLegado(cfg.KeyCode1, std::string(1, '\0'), 1, 1);
  ValidarPosicaoLogo();
  return escpos::ComandoApagaLogoKeyCode(cfg.KeyCode1, cfg.KeyCode2);
}

void TEscPosEpson::ValidarPosicaoLogo() {
  const TConfigLogo& cfg = Impressora().ConfigLogo();
  if (cfg.KeyCode1 < 32 || cfg.KeyCode1 > 126) throw EPosPrinterException("KeyCode1 deve estar entre 32 a 126");
  if (cfg.KeyCode2 < 32 || cfg.KeyCode2 > 126) throw EPosPrinterException("KeyCode2 deve estar entre 32 a 126");
}

}  // namespace bilhetor
