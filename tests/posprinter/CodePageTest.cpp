// The code page conversions; the check of every byte against glibc's iconv
// is in CodePageTestPosix.cpp (the tables are the same on both platforms).
#include "posprinter/CodePage.h"

#include <gtest/gtest.h>

#include <string>

namespace bilhetor {
namespace {

std::string Bytes(std::initializer_list<unsigned char> b) { return std::string(b.begin(), b.end()); }

TEST(CodePage, WindowsCodePageOfEachPrinterPage) {
  EXPECT_EQ(CodigoPaginaWindows(TPosPaginaCodigo::pcNone), 0);
  EXPECT_EQ(CodigoPaginaWindows(TPosPaginaCodigo::pc437), 437);
  EXPECT_EQ(CodigoPaginaWindows(TPosPaginaCodigo::pc850), 850);
  EXPECT_EQ(CodigoPaginaWindows(TPosPaginaCodigo::pc852), 852);
  EXPECT_EQ(CodigoPaginaWindows(TPosPaginaCodigo::pc860), 860);
  EXPECT_EQ(CodigoPaginaWindows(TPosPaginaCodigo::pcUTF8), 65001);
  EXPECT_EQ(CodigoPaginaWindows(TPosPaginaCodigo::pc1252), 1252);
  EXPECT_THROW(CodigoPaginaWindows(static_cast<TPosPaginaCodigo>(7)), EPosPrinterException);
}

TEST(CodePage, TextoParaAsciiFoldsLettersAndBlanksControls) {
  EXPECT_EQ(TextoParaAscii("A\xE7\xE3o"), "Acao");
  EXPECT_EQ(TextoParaAscii("a\tb\x1B" "c"), "a b c");
  EXPECT_EQ(TextoParaAscii("l1\r\nl2\b"), "l1\r\nl2\b");
  EXPECT_EQ(TextoParaAscii("\xD8\xDF\xF8\xD7\xF7\xDE\xFE"), "0B0x/bb");
  EXPECT_EQ(TextoParaAscii("\xC0\xC6\xC7\xCB\xCF\xD0\xD1\xD6\xDC\xDD"), "AACEIDNOUY");
  EXPECT_EQ(TextoParaAscii("\xE0\xE6\xE7\xEB\xEF\xF0\xF1\xF2\xF6\xFC\xFD\xFF"), "aaceiono" "ouyy");
  EXPECT_EQ(TextoParaAscii(std::string("\0x", 2)), " x");
  EXPECT_EQ(TextoParaAscii(""), "");
}

TEST(CodePage, TextoParaAsciiLeavesOnlyPrintableAscii) {
  for (int b = 0; b < 256; ++b) {
    const std::string r = TextoParaAscii(std::string(1, static_cast<char>(b)));
    ASSERT_EQ(r.size(), 1u);
    const auto c = static_cast<unsigned char>(r[0]);
    EXPECT_TRUE(c == 0x08 || c == 0x0A || c == 0x0D || (c >= 0x20 && c <= 0x7E)) << b;
    if (b >= 0x20 && b <= 0x7E) {
      EXPECT_EQ(c, b);
    }
    // 7F to BF are not letters: all become blanks.
    if (b >= 0x7F && b <= 0xBF) {
      EXPECT_EQ(c, ' ') << b;
    }
    if (b >= 0xC0) {
      EXPECT_NE(c, ' ') << b;
    }
  }
}

TEST(CodePage, ConversionExamples) {
  EXPECT_EQ(CodificarPaginaDeCodigo("caf\xE9", TPosPaginaCodigo::pc850), "caf\x82");
  EXPECT_EQ(CodificarPaginaDeCodigo("caf\xE9", TPosPaginaCodigo::pcUTF8), "caf\xC3\xA9");
  EXPECT_EQ(CodificarPaginaDeCodigo("A\xE7\xE3o\t", TPosPaginaCodigo::pcNone), "Acao ");
  std::string todos;
  for (int b = 0; b < 256; ++b) todos += static_cast<char>(b);
  EXPECT_EQ(CodificarPaginaDeCodigo(todos, TPosPaginaCodigo::pc1252), todos);
  // Escape sequences of the printer pass every page unchanged.
  const std::string esc = Bytes({0x1B, 0x40, 0x1D, 0x56, 0x00, 0x0A});
  for (int p : {437, 850, 852, 860, 1252, 65001}) EXPECT_EQ(ConverterPaginaDeCodigo(esc, p), esc) << p;
  // Euro sign: three UTF-8 bytes, also as the last character of a text.
  EXPECT_EQ(ConverterPaginaDeCodigo("\x80", 65001), "\xE2\x82\xAC");
  EXPECT_EQ(ConverterPaginaDeCodigo("x\x80\x80", 65001), "x\xE2\x82\xAC\xE2\x82\xAC");
  // Not in code page 437: the replacement character.
  EXPECT_EQ(ConverterPaginaDeCodigo("\x80\xC3", 437), "??");
  EXPECT_EQ(ConverterPaginaDeCodigo("\xC3", 850), "\xC7");
  EXPECT_EQ(ConverterPaginaDeCodigo("\xC3\xE3", 860), "\x8E\x84");
}

TEST(CodePage, UnknownPageIsAnError) {
  EXPECT_TRUE(PaginaDeCodigoSuportada(850));
  EXPECT_FALSE(PaginaDeCodigoSuportada(0));
  EXPECT_FALSE(PaginaDeCodigoSuportada(866));
  EXPECT_THROW(ConverterPaginaDeCodigo("x", 866), EPosPrinterException);
  EXPECT_THROW(ConverterPaginaDeCodigo("x", 0), EPosPrinterException);
}

TEST(CodePage, LongTextsConvertByteByByte) {
  std::string texto;
  for (int i = 0; i < 5000; ++i) texto += static_cast<char>((i * 7919) & 0xFF);
  for (int p : {437, 850, 852, 860}) {
    const std::string r = ConverterPaginaDeCodigo(texto, p);
    ASSERT_EQ(r.size(), texto.size());
    for (std::size_t i = 0; i < texto.size(); i += 97)
      EXPECT_EQ(r[i], ConverterPaginaDeCodigo(texto.substr(i, 1), p)[0]) << p << " at " << i;
  }
  std::string utf8;
  for (char c : texto) utf8 += ConverterPaginaDeCodigo(std::string(1, c), 65001);
  EXPECT_EQ(ConverterPaginaDeCodigo(texto, 65001), utf8);
}

}  // namespace
}  // namespace bilhetor
