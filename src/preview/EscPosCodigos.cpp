// Barcodes (GS k and the settings of GS w, GS h, GS H, GS f) and QR codes
// (GS ( k): the data checked as the printer takes it, encoded by Simbolos.h,
// scaled and laid out as a block with its readable text.
#include "common/Strings.h"
#include "preview/EscPosInterpretadorInterno.h"

namespace bilhetor::preview::escpos {

// GS k m: the data ends at a NUL (m 0 to 6) or follows its length (m 65 on).
void TInterpretador::CodigoBarras(std::string_view p) {
  const uint8_t m = U8(p, 0);
  std::string_view dados;
  if (m <= 6) {
    const std::size_t fim = d_.find('\0', p_);
    if (fim == std::string_view::npos) {
      Erro("GS k: c\xF3" "digo de barras sem o NUL final", d_.substr(inicio_));
      p_ = d_.size();
      return;
    }
    dados = d_.substr(p_, fim - p_);
    p_ = fim + 1;
  } else if (m >= 65) {
    if (!PrecisaMais(1, "GS k")) return;
    const std::size_t n = Byte(0);
    if (!PrecisaMais(1 + n, "GS k")) return;
    dados = d_.substr(p_ + 1, n);
    p_ += 1 + n;
  } else {
    return Erro(Format("GS k: simbologia %d desconhecida", m), Comando());
  }
  static const TSimbologia porFuncaoA[] = {TSimbologia::UpcA,   TSimbologia::UpcE, TSimbologia::Ean13,
                                           TSimbologia::Ean8,   TSimbologia::Code39, TSimbologia::Itf,
                                           TSimbologia::Codabar};
  TSimbologia s;
  if (m <= 6)
    s = porFuncaoA[m];
  else if (m >= 65 && m <= 71)
    s = porFuncaoA[m - 65];
  else if (m == 72)
    s = TSimbologia::Code93;
  else if (m == 73)
    s = TSimbologia::Code128;
  else if (m <= 79)
    return NaoDesenhado(Format("GS k: simbologia GS1 %d, dados \"", m) + Legivel(dados) + "\"", Comando());
  else
    return Erro(Format("GS k: simbologia %d que a impressora n\xE3o conhece, dados \"", m) + Legivel(dados) + "\"",
                {});
  ImprimirBarras(s, dados);
}

void TInterpretador::LarguraModulo(std::string_view p) {
  const uint8_t n = U8(p, 0);
  if (n < 1 || n > 6) return Erro(NomeComando() + Format(": largura de m\xF3" "dulo %d fora de 1 a 6", n), Comando());
  estado_.larguraModulo = n;
}

void TInterpretador::AlturaBarras(std::string_view p) {
  const uint8_t n = U8(p, 0);
  if (n < 1) return Erro(NomeComando() + ": altura 0", Comando());
  estado_.alturaBarras = n;
}

void TInterpretador::PosicaoHri(std::string_view p) {
  const uint8_t n = U8(p, 0);
  const int v = Digito(n, 3);
  if (v < 0) return Erro(NomeComando() + Format(": posi\xE7\xE3o do texto %d desconhecida", n), Comando());
  estado_.posicaoHri = v;
}

void TInterpretador::FonteHri(std::string_view p) {
  const uint8_t n = U8(p, 0);
  const int v = Digito(n, 1);
  if (v < 0) return Erro(NomeComando() + Format(": fonte %d desconhecida", n), Comando());
  estado_.hriFonteB = v == 1;
}

// The data as the symbol holds it: CODE 39 without the start and stop "*"
// the printer takes, CODE 128 with its code set selections resolved.
bool TInterpretador::DadosSimbolo(TSimbologia s, std::string_view dados, std::string& saida, std::string& erro) {
  if (s == TSimbologia::Code39) {
    std::string_view v = dados;
    if (!v.empty() && v.front() == '*') v.remove_prefix(1);
    if (!v.empty() && v.back() == '*') v.remove_suffix(1);
    saida = std::string(v);
    return true;
  }
  if (s == TSimbologia::Itf && dados.size() % 2 != 0) {
    erro = "ITF com n\xFAmero \xEDmpar de d\xEDgitos";
    return false;
  }
  if (s != TSimbologia::Code128) {
    saida = std::string(dados);
    return true;
  }
  if (dados.size() < 2 || dados[0] != '{' || (dados[1] != 'A' && dados[1] != 'B' && dados[1] != 'C')) {
    erro = "CODE 128 sem a escolha do conjunto ({A, {B ou {C) no in\xED" "cio";
    return false;
  }
  char conjunto = dados[1];
  for (std::size_t i = 2; i < dados.size(); ++i) {
    const auto c = static_cast<uint8_t>(dados[i]);
    if (c == '{') {
      if (i + 1 >= dados.size()) {
        erro = "CODE 128 termina com \"{\"";
        return false;
      }
      const char x = dados[++i];
      if (x == 'A' || x == 'B' || x == 'C') {
        conjunto = x;
      } else if (x == '{' || x == 'S') {
        // "{{" is the character "{"; "{S" shifts the next character, which
        // the symbol holds as it is.
        if (x == '{') saida.push_back('{');
      } else {
        erro = Format("CODE 128: fun\xE7\xE3o {%c n\xE3o desenhada", x);
        return false;
      }
      continue;
    }
    if (conjunto == 'C') {
      if (c > 99) {
        erro = Format("CODE 128 conjunto C: byte %02X acima de 99", c);
        return false;
      }
      saida += Format("%02d", c);
    } else {
      saida.push_back(static_cast<char>(c));
    }
  }
  if (saida.empty()) {
    erro = "CODE 128 sem dados";
    return false;
  }
  return true;
}

// Readable text as the printer prints it under (or over) the bars.
void TInterpretador::TextoHri(const std::string& texto, int x0, int larguraBarras, int y) {
  TEstiloTexto e;
  e.fonteB = estado_.hriFonteB;
  const int largura = e.LarguraCelula() * static_cast<int>(texto.size());
  int x = x0 + (larguraBarras - largura) / 2;
  for (char ch : texto) {
    TGlifo g;
    g.x = x;
    g.y = y;
    g.largura = e.LarguraCelula();
    g.codigo = static_cast<uint8_t>(ch) < 0x20 ? U' ' : static_cast<char32_t>(static_cast<uint8_t>(ch));
    g.estilo = e;
    Atual().Glifo(g);
    x += g.largura;
  }
}

void TInterpretador::ImprimirBarras(TSimbologia s, std::string_view bruto) {
  std::string dados, erro;
  if (!DadosSimbolo(s, bruto, dados, erro)) return Erro("GS k: " + erro + ", dados \"" + Legivel(bruto) + "\"", {});
  const TSimboloCodificado simbolo = CodificarSimbolo(s, dados);
  if (!simbolo.ok)
    return Erro(std::string("GS k: ") + NomeSimbologia(s) + " \"" + Legivel(dados) + "\" recusado: " + simbolo.erro,
                {});
  const int w = estado_.larguraModulo;
  const int largura = simbolo.largura * w;
  TComposicao& comp = Atual();
  if (largura > comp.LarguraRegiao())
    return Erro(Format("GS k: %s de %d pontos n\xE3o cabe na \xE1rea de %d pontos (n\xE3o impresso)",
                       NomeSimbologia(s), largura, comp.LarguraRegiao()),
                {});
  // The readable text: EAN and UPC with the check digit the library adds,
  // the others as the data.
  const bool eanUpc =
      s == TSimbologia::UpcA || s == TSimbologia::UpcE || s == TSimbologia::Ean13 || s == TSimbologia::Ean8;
  const std::string hri = eanUpc ? simbolo.texto : dados;
  TEstiloTexto e;
  e.fonteB = estado_.hriFonteB;
  const int alturaHri = e.AlturaCelula() + kFolgaHri;
  const bool acima = estado_.posicaoHri & 1, abaixo = estado_.posicaoHri & 2;
  const int h = estado_.alturaBarras;
  const int alturaTotal = h + (acima ? alturaHri : 0) + (abaixo ? alturaHri : 0);
  const std::optional<int> x0 = comp.Bloco(largura, alturaTotal);
  if (!x0) return;
  const int yBarras = comp.Y() + (acima ? alturaHri : 0);
  if (acima) TextoHri(hri, *x0, largura, comp.Y());
  for (const TRetangulo& m : simbolo.modulos) comp.Tinta(TRetangulo{*x0 + m.x * w, yBarras, m.largura * w, h});
  if (abaixo) TextoHri(hri, *x0, largura, yBarras + h + kFolgaHri);
  TObjeto o;
  o.tipo = TTipoObjeto::Barras;
  o.area = TRetangulo{*x0, yBarras, largura, h};
  o.dados = dados;
  o.detalhe = NomeSimbologia(s);
  comp.Objeto(std::move(o));
  comp.AvancarBloco(alturaTotal);
}

// GS ( k with its body cn fn and parameters: only cn 49, the QR code, is
// drawn.
void TInterpretador::Simbolo2D(std::string_view corpo) {
  if (corpo.size() < 2) return Erro("GS ( k: sem fun\xE7\xE3o", Comando());
  const auto cn = static_cast<uint8_t>(corpo[0]);
  const auto fn = static_cast<uint8_t>(corpo[1]);
  if (cn != 49) return NaoDesenhado(Format("GS ( k: s\xEDmbolo 2D %d, fun\xE7\xE3o %d", cn, fn), Comando());
  auto parametro = [&](std::size_t i) -> int { return corpo.size() > i ? static_cast<uint8_t>(corpo[i]) : -1; };
  switch (fn) {
    case 65: {  // model
      const int n1 = parametro(2);
      if (n1 < 49 || n1 > 51) return Erro(Format("GS ( k: modelo de QR %d desconhecido", n1), Comando());
      estado_.qrModelo = n1 - 48;
      return;
    }
    case 67: {  // module size
      const int n = parametro(2);
      if (n < 1 || n > 16) return Erro(Format("GS ( k: m\xF3" "dulo de QR %d fora de 1 a 16", n), Comando());
      estado_.qrModulo = n;
      return;
    }
    case 69: {  // error correction level
      const int n = parametro(2);
      if (n < 48 || n > 51) return Erro(Format("GS ( k: n\xEDvel de corre\xE7\xE3o %d desconhecido", n), Comando());
      estado_.qrNivel = n - 48;
      return;
    }
    case 80:  // store the data
      if (corpo.size() < 3) return Erro("GS ( k: dados do QR sem o byte 30", Comando());
      estado_.qrDados = std::string(corpo.substr(3));
      return;
    case 81: ImprimirQR(); return;
    case 82: return;  // the symbol's size, a reply
    default: return Desconhecido(Format("GS ( k fun\xE7\xE3o %d", fn), Comando());
  }
}

void TInterpretador::ImprimirQR() {
  if (!estado_.qrDados || estado_.qrDados->empty())
    return Nota("GS ( k: QR Code impresso sem dados guardados (nada sai)");
  const std::string& dados = *estado_.qrDados;
  const TSimbologia s = estado_.qrModelo == 3 ? TSimbologia::MicroQR : TSimbologia::QRCode;
  const TSimboloCodificado simbolo = CodificarSimbolo(s, dados, estado_.qrNivel);
  if (!simbolo.ok) return Erro("GS ( k: QR Code \"" + Legivel(dados) + "\" recusado: " + simbolo.erro, {});
  const int m = estado_.qrModulo;
  const int lado = simbolo.largura * m;
  TComposicao& comp = Atual();
  if (lado > comp.LarguraRegiao())
    return Erro(Format("GS ( k: QR Code de %d pontos n\xE3o cabe na \xE1rea de %d pontos (n\xE3o impresso)", lado,
                       comp.LarguraRegiao()),
                {});
  if (estado_.qrModelo == 1) Nota("GS ( k: QR Code modelo 1 desenhado como modelo 2");
  const int altura = simbolo.altura * m;
  const std::optional<int> x0 = comp.Bloco(lado, altura);
  if (!x0) return;
  for (const TRetangulo& r : simbolo.modulos)
    comp.Tinta(TRetangulo{*x0 + r.x * m, comp.Y() + r.y * m, r.largura * m, r.altura * m});
  static const char niveis[] = "LMQH";
  TObjeto o;
  o.tipo = TTipoObjeto::QRCode;
  o.area = TRetangulo{*x0, comp.Y(), lado, altura};
  o.dados = dados;
  o.detalhe = Format("%s, n\xEDvel %c, m\xF3" "dulo %d", NomeSimbologia(s), niveis[estado_.qrNivel], m);
  comp.Objeto(std::move(o));
  comp.AvancarBloco(altura);
}

}  // namespace bilhetor::preview::escpos
