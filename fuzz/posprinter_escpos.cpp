// Fuzzes the ESC/POS builders whose output carries its own lengths (barcodes,
// QR codes, column bands, raster graphics): whatever the input, the lengths
// announced must match the bytes that follow, or the input is refused with
// the printer engine's error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "posprinter/EscPosEpson.h"
#include "posprinter/PosImage.h"

using namespace bilhetor;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

unsigned Le(const std::string& s, std::size_t i) {
  return static_cast<unsigned char>(s[i]) | (static_cast<unsigned char>(s[i + 1]) << 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const int op = data[0] % 4;
  const int a = data[1];
  const int b = data[2];
  const std::string resto(reinterpret_cast<const char*>(data + 3), size - 3);
  static const char* const tags[] = {"<code128>", "<code128a>", "<code128c>", "<ean13>", "<code39>", "<std>"};
  try {
    switch (op) {
      case 0: {
        const std::string tag = tags[a % 6];
        const std::string r = escpos::ComandoCodigoBarras(tag, resto, b & 1, a - 3, b * 2 - 10);
        if (tag == "<std>") {
          Check(r == resto);
        } else {
          Check(r.size() >= 13 && static_cast<unsigned char>(r[12]) == r.size() - 13);
        }
        break;
      }
      case 1: {
        const std::string r = escpos::ComandoQRCode(resto, 1 + (a & 1), 1 + a % 16, b % 4);
        // An empty code gives no command at all.
        if (resto.empty()) {
          Check(r.empty());
          break;
        }
        Check(Le(r, 28) == resto.size() + 3);
        break;
      }
      case 2: {
        const int largura = 1 + a % 40;
        const int altura = 1 + b % 60;
        std::string raster = resto;
        raster.resize(static_cast<std::size_t>((largura + 7) / 8 * altura), '\0');
        const std::string r = escpos::BandasColunas24(raster, largura, altura);
        std::size_t i = 0;
        int bandas = 0;
        while (i < r.size()) {
          Check(r.compare(i, 3, "\x1B\x2A\x21") == 0);
          const unsigned colunas = Le(r, i + 3);
          Check(colunas == static_cast<unsigned>((largura + 7) / 8 * 8));
          i += 5 + colunas * 3;
          Check(i < r.size() && r[i] == '\x0A');
          ++i;
          ++bandas;
        }
        Check(bandas == (altura + 23) / 24);
        break;
      }
      case 3: {
        const int largura = a;
        const int altura = b % 8;
        const std::string r = escpos::ComandoImagemGrafica(resto, largura, altura);
        const unsigned long p = static_cast<unsigned char>(r[3]) | (static_cast<unsigned char>(r[4]) << 8) |
                                (static_cast<unsigned long>(static_cast<unsigned char>(r[5])) << 16);
        Check(p + 7 + 7 == r.size());
        break;
      }
    }
  } catch (const EPosPrinterException&) {
  } catch (const EPosImage&) {
  }
  return 0;
}
