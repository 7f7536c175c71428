// Every byte of every code page against glibc's iconv. The conversion
// tables are the program's own and the same on Windows, so the check on
// Linux covers both builds.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "posprinter/CodePage.h"

namespace bilhetor {
namespace {

std::string Bytes(std::initializer_list<unsigned char> b) { return std::string(b.begin(), b.end()); }

// Converts with iconv; false when iconv rejects the input.
bool Iconv(const char* para, const char* de, const std::string& entrada, std::string& saida) {
  iconv_t cd = iconv_open(para, de);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    ADD_FAILURE() << "iconv cannot convert " << de << " to " << para;
    return false;
  }
  char buf[32];
  char* in = const_cast<char*>(entrada.data());
  std::size_t inLeft = entrada.size();
  char* out = buf;
  std::size_t outLeft = sizeof buf;
  bool ok = iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1) &&
            iconv(cd, nullptr, nullptr, &out, &outLeft) != static_cast<std::size_t>(-1);
  iconv_close(cd);
  saida.assign(buf, static_cast<std::size_t>(out - buf));
  return ok;
}

std::string Utf32(unsigned codigo) {
  return Bytes({static_cast<unsigned char>(codigo), static_cast<unsigned char>(codigo >> 8),
                static_cast<unsigned char>(codigo >> 16), 0});
}

TEST(CodePage, EveryByteOfEveryPageMatchesIconv) {
  struct Pagina {
    int codigo;
    const char* nomeIconv;
  };
  const Pagina paginas[] = {{437, "IBM437"}, {850, "IBM850"}, {852, "IBM852"},
                            {860, "IBM860"}, {1252, "CP1252"}, {65001, "UTF-8"}};
  // Windows-1252 leaves 81, 8D, 8F, 90 and 9D undefined; iconv rejects them,
  // Windows reads them as the C1 controls U+0081 ... U+009D.
  auto indefinido = [](int b) { return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D; };

  int comparados = 0;
  for (const Pagina& pg : paginas) {
    for (int b = 0; b < 256; ++b) {
      const std::string byte(1, static_cast<char>(b));
      const std::string obtido = ConverterPaginaDeCodigo(byte, pg.codigo);
      std::string unicode;
      const bool lido = Iconv("UTF-32LE", "CP1252", byte, unicode);
      EXPECT_EQ(lido, !indefinido(b)) << "byte " << b;
      if (!lido) {
        unicode = Utf32(static_cast<unsigned>(b));
        if (pg.codigo == 1252) {
          // Windows converts them back to the same byte; iconv cannot
          // write them in CP1252 at all.
          EXPECT_EQ(obtido, byte) << "byte " << b;
          continue;
        }
      }
      std::string esperado;
      if (!Iconv(pg.nomeIconv, "UTF-32LE", unicode, esperado)) esperado = "?";
      EXPECT_EQ(obtido, esperado) << "code page " << pg.codigo << ", byte " << b;
      ++comparados;
    }
  }
  EXPECT_EQ(comparados, 6 * 256 - 5);
}

}  // namespace
}  // namespace bilhetor
