#include "posprinter/EscPosEpson.h"

#include <algorithm>
#include <string>

#include "common/Strings.h"
#include "posprinter/PosImage.h"
#include "posprinter/PosPrinter.h"

namespace bilhetor {

namespace escpos {

namespace {

std::string Bytes(std::initializer_list<uint8_t> bytes) {
  std::string s;
  s.reserve(bytes.size());
  for (uint8_t b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

char Byte(int v) { return static_cast<char>(static_cast<uint8_t>(v)); }

std::string LittleEndian(int64_t valor, int bytes, int64_t maximo, std::string_view oQue) {
  if (valor < 0 || valor > maximo) {
    throw EPosPrinterException(Format("%.*s: valor %lld fora da faixa de %d bytes (0 a %lld)",
                                      static_cast<int>(oQue.size()), oQue.data(),
                                      static_cast<long long>(valor), bytes, static_cast<long long>(maximo)));
  }
  std::string s;
  for (int i = 0; i < bytes; ++i) s.push_back(Byte(static_cast<int>((valor >> (8 * i)) & 0xFF)));
  return s;
}

}  // namespace

std::string LE2(int64_t valor, std::string_view oQue) { return LittleEndian(valor, 2, 0xFFFF, oQue); }

std::string LE4(int64_t valor, std::string_view oQue) { return LittleEndian(valor, 4, 0xFFFFFFFFLL, oQue); }

uint8_t ModoImpressao(TPosFonte estado) {
  uint8_t n = 0;
  if (estado.Contem(TPosAtributoFonte::afCondensado)) n |= 0x01;
  if (estado.Contem(TPosAtributoFonte::afNegrito)) n |= 0x08;
  if (estado.Contem(TPosAtributoFonte::afAlturaDupla)) n |= 0x10;
  if (estado.Contem(TPosAtributoFonte::afExpandido)) n |= 0x20;
  if (estado.Contem(TPosAtributoFonte::afSublinhado)) n |= 0x80;
  return n;
}

SimbologiaBarras SimbologiaPorTag(std::string_view tag) {
  struct Entrada {
    const char* tag;
    uint8_t m;
    const char* prefixo;
    bool pares;
  };
  static const Entrada tabela[] = {
      {"<upca>", 0x41, "", false},        {"<upce>", 0x42, "", false},
      {"<ean13>", 0x43, "", false},       {"<ean8>", 0x44, "", false},
      {"<code39>", 0x45, "", false},      {"<inter>", 0x46, "", false},
      {"<codabar>", 0x47, "", false},     {"<code93>", 0x48, "", false},
      {"<code128>", 0x49, "{B", false},   {"<code128b>", 0x49, "{B", false},
      {"<code128a>", 0x49, "{A", false},  {"<code128c>", 0x49, "{C", true},
      {"<msi>", 0x52, "", false},
  };
  for (const Entrada& e : tabela) {
    if (SameText(tag, e.tag)) return SimbologiaBarras{e.m, e.prefixo, e.pares};
  }
  return SimbologiaBarras{};
}

std::string EmpacotarCode128C(std::string_view codigo) {
  std::string digitos = OnlyDigits(codigo);
  if (digitos.size() % 2 != 0) digitos.insert(digitos.begin(), '0');
  std::string dados;
  dados.reserve(digitos.size() / 2);
  for (std::size_t i = 0; i < digitos.size(); i += 2) {
    dados.push_back(Byte((digitos[i] - '0') * 10 + (digitos[i + 1] - '0')));
  }
  return dados;
}

std::string DadosCode128(const SimbologiaBarras& simbologia, std::string_view codigo) {
  std::string dados = simbologia.empacotarPares ? EmpacotarCode128C(codigo) : std::string(codigo);
  if (dados.empty() || dados[0] != '{') dados.insert(0, simbologia.prefixo);
  return dados;
}

std::string ParametrosBarras(bool mostrarCodigo, int larguraLinha, int altura) {
  const int w = larguraLinha == 0 ? 2 : std::clamp(larguraLinha, 1, 4);
  const int h = altura == 0 ? 50 : std::clamp(altura, 1, 255);
  const int p = mostrarCodigo ? 2 : 0;
  return Bytes({0x1D, 0x77}) + Byte(w) + Bytes({0x1D, 0x68}) + Byte(h) + Bytes({0x1D, 0x48}) + Byte(p);
}

std::string ComandoCodigoBarras(std::string_view tag, std::string_view codigo, bool mostrarCodigo,
                                int larguraLinha, int altura) {
  const SimbologiaBarras simbologia = SimbologiaPorTag(tag);
  if (simbologia.m == 0) return std::string(codigo);
  const std::string dados =
      simbologia.prefixo.empty() ? std::string(codigo) : DadosCode128(simbologia, codigo);
  if (dados.size() > kMaxDadosBarras) {
    // The length travels in one byte: a longer code would wrap it and make the
    // printer take the rest of the code as commands.
    throw EPosPrinterException(Format("C\xF3" "digo de barras %.*s com %zu bytes excede o limite de %zu bytes",
                                      static_cast<int>(tag.size()), tag.data(), dados.size(),
                                      kMaxDadosBarras));
  }
  return ParametrosBarras(mostrarCodigo, larguraLinha, altura) + Bytes({0x1D, 0x6B, simbologia.m}) +
         Byte(static_cast<int>(dados.size())) + dados;
}

std::string ComandoQRCode(std::string_view codigo, int tipo, int larguraModulo, int errorLevel) {
  const std::string prefixo = Bytes({0x1D, 0x28, 0x6B});
  std::string r;
  r += prefixo + Bytes({0x04, 0x00, 0x31, 0x41}) + Byte('0' + tipo) + Byte(0x00);
  r += prefixo + Bytes({0x03, 0x00, 0x31, 0x43}) + Byte(larguraModulo);
  r += prefixo + Bytes({0x03, 0x00, 0x31, 0x45}) + Byte('0' + errorLevel);
  r += prefixo + LE2(static_cast<int64_t>(codigo.size()) + 3, "Tamanho do QRCode") + Bytes({0x31, 0x50, 0x30});
  r.append(codigo);
  r += prefixo + Bytes({0x03, 0x00, 0x31, 0x51, 0x30});
  return r;
}

std::string ComandoPaginaCodigo(TPosPaginaCodigo pagina) {
  int n;
  switch (pagina) {
    case TPosPaginaCodigo::pc437: n = 0x00; break;
    case TPosPaginaCodigo::pc850: n = 0x02; break;
    case TPosPaginaCodigo::pc852: n = 0x12; break;
    case TPosPaginaCodigo::pc860: n = 0x03; break;
    case TPosPaginaCodigo::pc1252: n = 0x10; break;
    default: return std::string();  // pcNone, pcUTF8: no table is selected
  }
  return Bytes({0x1B, 0x74}) + Byte(n);
}

std::string ComandoGaveta(int numero, uint8_t tempoOn, uint8_t tempoOff) {
  return Bytes({0x1B, 0x70}) + Byte(numero > 1 ? 1 : 0) + Byte(tempoOn) + Byte(tempoOff);
}

std::string ComandoDirecaoPagina(TPosDirecao direcao) {
  int d = 0;
  switch (direcao) {
    case TPosDirecao::dirEsquerdaParaDireita: d = 0x00; break;
    case TPosDirecao::dirTopoParaBaixo: d = 0x03; break;
    case TPosDirecao::dirDireitaParaEsquerda: d = 0x02; break;
    case TPosDirecao::dirBaixoParaTopo: d = 0x01; break;
  }
  return Bytes({0x1B, 0x54}) + Byte(d);
}

std::string ComandoAreaPagina(int esquerda, int topo, int largura, int altura) {
  return Bytes({0x1B, 0x57}) + LE2(esquerda, "ModoPagina.Esquerda") + LE2(topo, "ModoPagina.Topo") +
         LE2(largura, "ModoPagina.Largura") + LE2(altura, "ModoPagina.Altura");
}

uint8_t PosicaoLogoLegado(uint8_t keyCode1) {
  if (keyCode1 >= '0' && keyCode1 <= '9') return static_cast<uint8_t>(keyCode1 - '0');
  return keyCode1;
}

std::string ComandoLogoLegado(uint8_t keyCode1, uint8_t fatorX, uint8_t fatorY) {
  const int m = (fatorX > 1 ? 1 : 0) + (fatorY > 1 ? 2 : 0);
  return Bytes({0x1C, 0x70}) + Byte(PosicaoLogoLegado(keyCode1)) + Byte(m);
}

std::string ComandoLogoKeyCode(uint8_t keyCode1, uint8_t keyCode2, uint8_t fatorX, uint8_t fatorY) {
  return Bytes({0x1D, 0x28, 0x4C, 0x06, 0x00, 0x30, 0x45, keyCode1, keyCode2, fatorX, fatorY});
}

std::string ComandoGravacaoLogoKeyCode(uint8_t keyCode1, uint8_t keyCode2, const std::string& raster,
                                       int largura, int altura) {
  ValidarRaster(raster, largura, altura);
  std::string p = Bytes({0x30, 0x43, 0x30, keyCode1, keyCode2, 0x01}) + LE2(largura, "Largura do logo") +
                  LE2(altura, "Altura do logo") + Byte(0x31);
  p += raster;
  p += Byte(0x01);
  return Bytes({0x1D, 0x38, 0x4C}) + LE4(static_cast<int64_t>(p.size()), "Tamanho do logo") + p;
}

std::string ComandoApagaLogoKeyCode(uint8_t keyCode1, uint8_t keyCode2) {
  return Bytes({0x1D, 0x28, 0x4C, 0x04, 0x00, 0x30, 0x42, keyCode1, keyCode2});
}

std::string ComandoImagemGrafica(const std::string& raster, int largura, int altura) {
  ValidarRaster(raster, largura, altura);
  std::string p = Bytes({0x30, 0x70, 0x30, 0x01, 0x01, 0x31}) + LE2(largura, "Largura da imagem") +
                  LE2(altura, "Altura da imagem");
  p += raster;
  return Bytes({0x1D, 0x38, 0x4C}) + LE4(static_cast<int64_t>(p.size()), "Tamanho da imagem") + p +
         Bytes({0x1D, 0x28, 0x4C, 0x02, 0x00, 0x30, 0x32});
}

void ValidarRaster(const std::string& raster, int largura, int altura) {
  if (largura < 1 || altura < 1) {
    throw EPosPrinterException(Format("Imagem com dimens\xF5" "es inv\xE1lidas: %d x %d pontos", largura, altura));
  }
  const std::size_t esperado = static_cast<std::size_t>((largura + 7) / 8) * static_cast<std::size_t>(altura);
  if (raster.size() != esperado) {
    throw EPosPrinterException(Format("Imagem raster com %zu bytes, esperados %zu para %d x %d pontos",
                                      raster.size(), esperado, largura, altura));
  }
}

void DecodificarStatusImpressora(uint8_t b, TPosStatus& status) {
  if ((b & 0x04) == 0) status.Incluir(TPosTipoStatus::stGavetaAberta);
  if (b & 0x08) status.Incluir(TPosTipoStatus::stOffLine);
  if (b & 0x20) status.Incluir(TPosTipoStatus::stErro);
  if (b & 0x40) status.Incluir(TPosTipoStatus::stImprimindo);
}

void DecodificarCausaOffLine(uint8_t b, TPosStatus& status) {
  if (b & 0x04) status.Incluir(TPosTipoStatus::stTampaAberta);
  if (b & 0x08) status.Incluir(TPosTipoStatus::stImprimindo);
  if (b & 0x20) status.Incluir(TPosTipoStatus::stSemPapel);
  if (b & 0x40) status.Incluir(TPosTipoStatus::stErro);
}

void DecodificarSensorPapel(uint8_t b, TPosStatus& status) {
  if ((b & 0x0C) == 0x0C) status.Incluir(TPosTipoStatus::stPoucoPapel);
  if ((b & 0x60) == 0x60) status.Incluir(TPosTipoStatus::stSemPapel);
}

}  // namespace escpos

}  // namespace bilhetor

// ---------------------------------------------------------------------------
// The command set

namespace bilhetor {

namespace {

std::string B(std::initializer_list<uint8_t> bytes) {
  std::string s;
  for (uint8_t b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

const char* const kMsgLogoLegado =
    "PosPrinter gravando Logo em modo Legado (FS q), somente aceita a posi\xE7\xE3o \"1\"";

}  // namespace

namespace escpos {

std::string ComandoGravacaoLogoLegado(uint8_t keyCode1, const std::string& raster, int largura, int altura) {
  if (PosicaoLogoLegado(keyCode1) != 1) throw EPosPrinterException(kMsgLogoLegado);
  if (largura < 1 || altura < 1) ValidarRaster(raster, largura, altura);  // raises the dimension error
  const int y = (altura + 7) / 8;
  const std::vector<std::string> bandas = RasterParaColunas(raster, largura, 0);
  std::string dados = bandas.empty() ? std::string() : bandas.front();
  const std::size_t total = static_cast<std::size_t>(largura) * static_cast<std::size_t>(y) * 8;
  if (dados.size() < total) dados.append(total - dados.size(), '\0');
  return B({0x1C, 0x71, 0x01}) + LE2(largura, "Largura do logo") + LE2(y, "Altura do logo") + dados;
}

std::string BandasColunas24(const std::string& raster, int largura, int altura) {
  if (largura < 1 || altura < 1) ValidarRaster(raster, largura, altura);  // raises the dimension error
  std::string linhas = raster;
  if (altura < 3) {
    // Mode 33 takes 3 bytes per column: a picture of 1 or 2 rows gets blank
    // rows so that its single band still has them.
    const std::size_t porLinha = static_cast<std::size_t>((largura + 7) / 8);
    linhas.resize(porLinha * 3, '\0');
  }
  std::string r;
  for (const std::string& banda : RasterParaColunas(linhas, largura, 3)) {
    r += B({0x1B, 0x2A, 0x21}) + LE2(static_cast<int64_t>(banda.size() / 3), "Largura da imagem") + banda;
    r.push_back('\x0A');
  }
  return r;
}

}  // namespace escpos

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
  switch (Atributo) {
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
      std::string r = B({0x1B, 0x21, escpos::ModoImpressao(novo)});
      if (novo.Contem(TPosAtributoFonte::afInvertido)) r += Comandos.InicioInvertido;
      if (novo.Contem(TPosAtributoFonte::afItalico)) r += Comandos.InicioItalico;
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
