#include "posprinter/EscPosEpson.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/Strings.h"
#include "posprinter/PosBytes.h"
#include "posprinter/PosImage.h"

namespace bilhetor {

namespace escpos {

namespace {

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
  // Bit 0 selects font B: condensed print is font B on these printers, and
  // font B chosen by "</fb>" must survive every later print mode.
  if (estado.Contem(TPosAtributoFonte::afCondensado) || estado.Contem(TPosAtributoFonte::afFonteB)) n |= 0x01;
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
  return B({0x1D, 0x77}) + Byte(w) + B({0x1D, 0x68}) + Byte(h) + B({0x1D, 0x48}) + Byte(p);
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
  return ParametrosBarras(mostrarCodigo, larguraLinha, altura) + B({0x1D, 0x6B, simbologia.m}) +
         Byte(static_cast<int>(dados.size())) + dados;
}

std::string ComandoCodigoBarrasCode128Direto(std::string_view tag, std::string_view codigo, bool mostrarCodigo,
                                             int larguraLinha, int altura) {
  // The four Code 128 tags are the ones Epson's table gives symbology 0x49.
  if (SimbologiaPorTag(tag).m != 0x49) return ComandoCodigoBarras(tag, codigo, mostrarCodigo, larguraLinha, altura);
  if (codigo.size() > kMaxDadosBarras) {
    // The length travels in one byte, as for every GS k barcode.
    throw EPosPrinterException(Format("C\xF3" "digo de barras %.*s com %zu bytes excede o limite de %zu bytes",
                                      static_cast<int>(tag.size()), tag.data(), codigo.size(), kMaxDadosBarras));
  }
  return ParametrosBarras(mostrarCodigo, larguraLinha, altura) + B({0x1D, 0x6B, 0x49}) +
         Byte(static_cast<int>(codigo.size())) + std::string(codigo);
}

std::string ComandoQRCode(std::string_view codigo, int tipo, int larguraModulo, int errorLevel) {
  // The printer refuses to store no data, and would print the symbol stored
  // before: an empty code prints nothing.
  if (codigo.empty()) return std::string();
  const std::string prefixo = B({0x1D, 0x28, 0x6B});
  std::string r;
  r += prefixo + B({0x04, 0x00, 0x31, 0x41}) + Byte('0' + tipo) + Byte(0x00);
  r += prefixo + B({0x03, 0x00, 0x31, 0x43}) + Byte(larguraModulo);
  r += prefixo + B({0x03, 0x00, 0x31, 0x45}) + Byte('0' + errorLevel);
  r += prefixo + LE2(static_cast<int64_t>(codigo.size()) + 3, "Tamanho do QRCode") + B({0x31, 0x50, 0x30});
  r.append(codigo);
  r += prefixo + B({0x03, 0x00, 0x31, 0x51, 0x30});
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
  return B({0x1B, 0x74}) + Byte(n);
}

std::string ComandoGaveta(int numero, uint8_t tempoOn, uint8_t tempoOff) {
  return B({0x1B, 0x70}) + Byte(numero > 1 ? 1 : 0) + Byte(tempoOn) + Byte(tempoOff);
}

std::string ComandoDirecaoPagina(TPosDirecao direcao) {
  int d = 0;
  switch (direcao) {
    case TPosDirecao::dirEsquerdaParaDireita: d = 0x00; break;
    case TPosDirecao::dirTopoParaBaixo: d = 0x03; break;
    case TPosDirecao::dirDireitaParaEsquerda: d = 0x02; break;
    case TPosDirecao::dirBaixoParaTopo: d = 0x01; break;
  }
  return B({0x1B, 0x54}) + Byte(d);
}

std::string ComandoAreaPagina(int esquerda, int topo, int largura, int altura) {
  return B({0x1B, 0x57}) + LE2(esquerda, "ModoPagina.Esquerda") + LE2(topo, "ModoPagina.Topo") +
         LE2(largura, "ModoPagina.Largura") + LE2(altura, "ModoPagina.Altura");
}

uint8_t PosicaoLogoLegado(uint8_t keyCode1) {
  if (keyCode1 >= '0' && keyCode1 <= '9') return static_cast<uint8_t>(keyCode1 - '0');
  return keyCode1;
}

int NumeroLogoKeyCodes(uint8_t keyCode1, uint8_t keyCode2, int padrao) {
  const char texto[2] = {static_cast<char>(keyCode1), static_cast<char>(keyCode2)};
  // A negative number ("-5") has no position: it goes out as 0, as the
  // other settings are kept within their ranges, and the ticket prints.
  return std::max(0, StrToIntDef(std::string_view(texto, 2), padrao));
}

std::string ComandoLogoLegado(uint8_t keyCode1, uint8_t fatorX, uint8_t fatorY) {
  const int m = (fatorX > 1 ? 1 : 0) + (fatorY > 1 ? 2 : 0);
  return B({0x1C, 0x70}) + Byte(PosicaoLogoLegado(keyCode1)) + Byte(m);
}

std::string ComandoLogoKeyCode(uint8_t keyCode1, uint8_t keyCode2, uint8_t fatorX, uint8_t fatorY) {
  return B({0x1D, 0x28, 0x4C, 0x06, 0x00, 0x30, 0x45, keyCode1, keyCode2, fatorX, fatorY});
}

std::string ComandoGravacaoLogoKeyCode(uint8_t keyCode1, uint8_t keyCode2, const std::string& raster,
                                       int largura, int altura) {
  ValidarRaster(raster, largura, altura);
  std::string p = B({0x30, 0x43, 0x30, keyCode1, keyCode2, 0x01}) + LE2(largura, "Largura do logo") +
                  LE2(altura, "Altura do logo") + Byte(0x31);
  p += raster;
  p += Byte(0x01);
  return B({0x1D, 0x38, 0x4C}) + LE4(static_cast<int64_t>(p.size()), "Tamanho do logo") + p;
}

std::string ComandoApagaLogoKeyCode(uint8_t keyCode1, uint8_t keyCode2) {
  return B({0x1D, 0x28, 0x4C, 0x04, 0x00, 0x30, 0x42, keyCode1, keyCode2});
}

std::string ComandoImagemGrafica(const std::string& raster, int largura, int altura) {
  ValidarRaster(raster, largura, altura);
  std::string p = B({0x30, 0x70, 0x30, 0x01, 0x01, 0x31}) + LE2(largura, "Largura da imagem") +
                  LE2(altura, "Altura da imagem");
  p += raster;
  return B({0x1D, 0x38, 0x4C}) + LE4(static_cast<int64_t>(p.size()), "Tamanho da imagem") + p +
         B({0x1D, 0x28, 0x4C, 0x02, 0x00, 0x30, 0x32});
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

const char* const kMsgLogoLegado =
    "PosPrinter gravando Logo em modo Legado (FS q), somente aceita a posi\xE7\xE3o \"1\"";

std::string ComandoGravacaoLogoLegado(uint8_t keyCode1, const std::string& raster, int largura, int altura) {
  if (PosicaoLogoLegado(keyCode1) != 1) throw EPosPrinterException(kMsgLogoLegado);
  if (largura < 1 || altura < 1) ValidarRaster(raster, largura, altura);  // raises the dimension error
  // Every size is checked before the data is padded to largura x y x 8
  // bytes, so a small raster announcing a huge logo cannot ask for memory.
  const int y = (altura + 7) / 8;
  std::string r = B({0x1C, 0x71, 0x01});
  r += LE2(largura, "Largura do logo");
  r += LE2(y, "Altura do logo");
  ValidarRaster(raster, largura, altura);
  const std::vector<std::string> bandas = RasterParaColunas(raster, largura, 0);
  const std::size_t total = static_cast<std::size_t>(largura) * static_cast<std::size_t>(y) * 8;
  const std::size_t cabecalho = r.size();
  r.reserve(cabecalho + std::max(total, bandas.empty() ? 0 : bandas.front().size()));
  if (!bandas.empty()) r += bandas.front();
  if (r.size() - cabecalho < total) r.append(total - (r.size() - cabecalho), '\0');
  return r;
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

}  // namespace bilhetor
