#include "preview/Simbolos.h"

#include <zint.h>

#include <cmath>
#include <memory>

namespace bilhetor::preview {

namespace {

struct ApagarSimbolo {
  void operator()(zint_symbol* s) const { ZBarcode_Delete(s); }
};

// The libzint symbology for the printer's one; EAN and UPC data that
// carries its check digit goes to the variant that checks it.
int CodigoZint(TSimbologia s, std::size_t n) {
  switch (s) {
    case TSimbologia::UpcA: return n == 12 ? BARCODE_UPCA_CHK : BARCODE_UPCA;
    case TSimbologia::UpcE: return n == 8 ? BARCODE_UPCE_CHK : BARCODE_UPCE;
    case TSimbologia::Ean13: return n == 13 ? BARCODE_EANX_CHK : BARCODE_EANX;
    case TSimbologia::Ean8: return n == 8 ? BARCODE_EANX_CHK : BARCODE_EANX;
    case TSimbologia::Code39: return BARCODE_CODE39;
    case TSimbologia::Itf: return BARCODE_C25INTER;
    case TSimbologia::Codabar: return BARCODE_CODABAR;
    case TSimbologia::Code93: return BARCODE_CODE93;
    case TSimbologia::Code128: return BARCODE_CODE128;
    case TSimbologia::QRCode: return BARCODE_QRCODE;
    case TSimbologia::MicroQR: return BARCODE_MICROQR;
  }
  return BARCODE_CODE128;
}

// The lengths the printer takes for the EAN and UPC codes (the library would
// take others as add-ons or other symbols).
bool ComprimentoValido(TSimbologia s, std::size_t n) {
  switch (s) {
    case TSimbologia::UpcA: return n == 11 || n == 12;
    case TSimbologia::UpcE: return n >= 6 && n <= 8;
    case TSimbologia::Ean13: return n == 12 || n == 13;
    case TSimbologia::Ean8: return n == 7 || n == 8;
    default: return true;
  }
}

bool Matricial(TSimbologia s) { return s == TSimbologia::QRCode || s == TSimbologia::MicroQR; }

}  // namespace

const char* NomeSimbologia(TSimbologia s) {
  switch (s) {
    case TSimbologia::UpcA: return "UPC-A";
    case TSimbologia::UpcE: return "UPC-E";
    case TSimbologia::Ean13: return "EAN-13";
    case TSimbologia::Ean8: return "EAN-8";
    case TSimbologia::Code39: return "CODE 39";
    case TSimbologia::Itf: return "ITF";
    case TSimbologia::Codabar: return "CODABAR";
    case TSimbologia::Code93: return "CODE 93";
    case TSimbologia::Code128: return "CODE 128";
    case TSimbologia::QRCode: return "QR Code";
    case TSimbologia::MicroQR: return "Micro QR";
  }
  return "";
}

TSimboloCodificado CodificarSimbolo(TSimbologia simbologia, std::string_view dados, int nivelErro) {
  TSimboloCodificado r;
  if (dados.empty()) {
    r.erro = "sem dados";
    return r;
  }
  if (dados.size() > ZINT_MAX_DATA_LEN) {
    r.erro = "dados longos demais";
    return r;
  }
  if (!ComprimentoValido(simbologia, dados.size())) {
    r.erro = "comprimento inv\xE1lido para " + std::string(NomeSimbologia(simbologia));
    return r;
  }
  std::unique_ptr<zint_symbol, ApagarSimbolo> s(ZBarcode_Create());
  if (!s) {
    r.erro = "sem mem\xF3ria";
    return r;
  }
  s->symbology = CodigoZint(simbologia, dados.size());
  s->input_mode = DATA_MODE;
  s->show_hrt = 0;
  s->output_options = BARCODE_NO_QUIET_ZONES;
  s->scale = 1.0f;
  if (Matricial(simbologia)) s->option_1 = 1 + (nivelErro < 0 ? 0 : (nivelErro > 3 ? 3 : nivelErro));
  const int rc = ZBarcode_Encode(s.get(), reinterpret_cast<const unsigned char*>(dados.data()),
                                 static_cast<int>(dados.size()));
  if (rc >= ZINT_ERROR) {
    r.erro = s->errtxt;
    return r;
  }
  r.texto = reinterpret_cast<const char*>(s->text);
  r.largura = s->width;
  r.altura = Matricial(simbologia) ? s->rows : 1;
  if (ZBarcode_Buffer_Vector(s.get(), 0) >= ZINT_ERROR || !s->vector || s->width <= 0) {
    r.erro = s->errtxt[0] ? s->errtxt : "sem desenho";
    return r;
  }
  // Without quiet zones and whitespace the vector spans exactly the symbol's
  // modules, so one module is its width divided by the module count.
  const float modulo = s->vector->width / static_cast<float>(s->width);
  if (!(modulo > 0)) {
    r.erro = "sem desenho";
    return r;
  }
  auto emModulos = [modulo](float v) { return static_cast<int>(std::lround(v / modulo)); };
  for (const zint_vector_rect* q = s->vector->rectangles; q; q = q->next) {
    TRetangulo m;
    m.x = emModulos(q->x);
    m.largura = emModulos(q->width);
    if (Matricial(simbologia)) {
      m.y = emModulos(q->y);
      m.altura = emModulos(q->height);
    } else {
      // A linear code: every bar spans the whole bar height the printer is set
      // to; the longer guard bars of EAN and UPC are not the printer's.
      m.y = 0;
      m.altura = 1;
    }
    if (m.largura > 0 && m.altura > 0) r.modulos.push_back(m);
  }
  r.ok = true;
  return r;
}

}  // namespace bilhetor::preview
