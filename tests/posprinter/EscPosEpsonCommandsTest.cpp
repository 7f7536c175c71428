// The ESC/POS byte sequences built from explicit parameters.
#include <gtest/gtest.h>

#include <string>

#include "posprinter/EscPosEpson.h"
#include "support/EscPosBytes.h"

namespace bilhetor {
namespace {

using escpos::LE2;
using escpos::LE4;
using testing_bytes::H;

TEST(EscPosLittleEndian, WritesLowByteFirstAndRefusesWhatDoesNotFit) {
  EXPECT_EQ(LE2(0, "x"), H("00 00"));
  EXPECT_EQ(LE2(0x1234, "x"), H("34 12"));
  EXPECT_EQ(LE2(65535, "x"), H("FF FF"));
  EXPECT_EQ(LE4(0x01020304, "x"), H("04 03 02 01"));
  EXPECT_EQ(LE4(0xFFFFFFFFLL, "x"), H("FF FF FF FF"));

  EXPECT_THROW(LE2(65536, "x"), EPosPrinterException);
  EXPECT_THROW(LE2(-1, "x"), EPosPrinterException);
  EXPECT_THROW(LE4(0x100000000LL, "x"), EPosPrinterException);
  EXPECT_THROW(LE4(-1, "x"), EPosPrinterException);
  try {
    LE2(70000, "Largura da imagem");
    FAIL() << "no exception";
  } catch (const EPosPrinterException& e) {
    EXPECT_EQ(e.Message(), "Largura da imagem: valor 70000 fora da faixa de 2 bytes (0 a 65535)");
  }
}

TEST(EscPosFonts, PrintModeByteCombinesTheAttributes) {
  TPosFonte f;
  EXPECT_EQ(escpos::ModoImpressao(f), 0x00);
  f.Incluir(TPosAtributoFonte::afNormal);  // never contributes
  EXPECT_EQ(escpos::ModoImpressao(f), 0x00);
  f.Incluir(TPosAtributoFonte::afCondensado);
  EXPECT_EQ(escpos::ModoImpressao(f), 0x01);
  f.Incluir(TPosAtributoFonte::afNegrito);
  EXPECT_EQ(escpos::ModoImpressao(f), 0x09);
  f.Incluir(TPosAtributoFonte::afAlturaDupla);
  EXPECT_EQ(escpos::ModoImpressao(f), 0x19);
  f.Incluir(TPosAtributoFonte::afExpandido);
  EXPECT_EQ(escpos::ModoImpressao(f), 0x39);
  f.Incluir(TPosAtributoFonte::afSublinhado);
  EXPECT_EQ(escpos::ModoImpressao(f), 0xB9);
  // Attributes with commands of their own leave the byte alone.
  f.Incluir(TPosAtributoFonte::afInvertido);
  f.Incluir(TPosAtributoFonte::afItalico);
  EXPECT_EQ(escpos::ModoImpressao(f), 0xB9);
  // Bit 0 is also the font selection of ESC !: font B keeps it set.
  f.Incluir(TPosAtributoFonte::afFonteB);
  EXPECT_EQ(escpos::ModoImpressao(f), 0xB9);
  f.Excluir(TPosAtributoFonte::afCondensado);
  EXPECT_EQ(escpos::ModoImpressao(f), 0xB9);
  TPosFonte soFonteB;
  soFonteB.Incluir(TPosAtributoFonte::afFonteB);
  EXPECT_EQ(escpos::ModoImpressao(soFonteB), 0x01);
}

TEST(EscPosBarcodes, SymbologyByTag) {
  EXPECT_EQ(escpos::SimbologiaPorTag("<upca>").m, 0x41);
  EXPECT_EQ(escpos::SimbologiaPorTag("<upce>").m, 0x42);
  EXPECT_EQ(escpos::SimbologiaPorTag("<ean13>").m, 0x43);
  EXPECT_EQ(escpos::SimbologiaPorTag("<ean8>").m, 0x44);
  EXPECT_EQ(escpos::SimbologiaPorTag("<code39>").m, 0x45);
  EXPECT_EQ(escpos::SimbologiaPorTag("<inter>").m, 0x46);
  EXPECT_EQ(escpos::SimbologiaPorTag("<codabar>").m, 0x47);
  EXPECT_EQ(escpos::SimbologiaPorTag("<code93>").m, 0x48);
  EXPECT_EQ(escpos::SimbologiaPorTag("<msi>").m, 0x52);
  EXPECT_EQ(escpos::SimbologiaPorTag("<code128>").prefixo, "{B");
  EXPECT_EQ(escpos::SimbologiaPorTag("<code128b>").prefixo, "{B");
  EXPECT_EQ(escpos::SimbologiaPorTag("<code128a>").prefixo, "{A");
  EXPECT_EQ(escpos::SimbologiaPorTag("<code128c>").prefixo, "{C");
  EXPECT_TRUE(escpos::SimbologiaPorTag("<code128c>").empacotarPares);
  EXPECT_EQ(escpos::SimbologiaPorTag("<std>").m, 0);
  EXPECT_EQ(escpos::SimbologiaPorTag("<code11>").m, 0);
}

TEST(EscPosBarcodes, Code128SubsetCPacksDigitPairs) {
  EXPECT_EQ(escpos::EmpacotarCode128C("12345"), H("01 17 2D"));
  EXPECT_EQ(escpos::EmpacotarCode128C("9900"), H("63 00"));
  EXPECT_EQ(escpos::EmpacotarCode128C("1a2-3"), H("01 17"));  // digits only, then padded
  EXPECT_EQ(escpos::EmpacotarCode128C(""), "");
  EXPECT_EQ(escpos::EmpacotarCode128C("7"), H("07"));
}

TEST(EscPosBarcodes, WholeCommandWithDefaultsAndLimits) {
  // <code128c> 12345: "{C" 01 17 2D, length 5; default width 2, height 50.
  EXPECT_EQ(escpos::ComandoCodigoBarras("<code128c>", "12345", false, 0, 0),
            H("1D 77 02 1D 68 32 1D 48 00 1D 6B 49 05") + "{C" + H("01 17 2D"));
  // Code shown below the bars; width 9 -> 4; height 300 -> 255.
  EXPECT_EQ(escpos::ComandoCodigoBarras("<code39>", "ABC", true, 9, 300),
            H("1D 77 04 1D 68 FF 1D 48 02 1D 6B 45 03") + "ABC");
  // Width -3 -> 1, height -5 -> 1.
  EXPECT_EQ(escpos::ComandoCodigoBarras("<ean8>", "1234567", false, -3, -5),
            H("1D 77 01 1D 68 01 1D 48 00 1D 6B 44 07") + "1234567");
  // A code that names its subset keeps it.
  EXPECT_EQ(escpos::ComandoCodigoBarras("<code128>", "{A12", false, 1, 1),
            H("1D 77 01 1D 68 01 1D 48 00 1D 6B 49 04") + "{A12");
  EXPECT_EQ(escpos::ComandoCodigoBarras("<code128a>", "X", false, 3, 80),
            H("1D 77 03 1D 68 50 1D 48 00 1D 6B 49 03") + "{AX");
  // Symbologies the printer does not draw: the code as text.
  EXPECT_EQ(escpos::ComandoCodigoBarras("<std>", "123", true, 2, 2), "123");
  EXPECT_EQ(escpos::ComandoCodigoBarras("<code11>", "99", true, 2, 2), "99");
  // <msi> is sent although the model does not list it as supported.
  EXPECT_EQ(escpos::ComandoCodigoBarras("<msi>", "1", false, 0, 0),
            H("1D 77 02 1D 68 32 1D 48 00 1D 6B 52 01") + "1");
}

TEST(EscPosBarcodes, DataThatWouldWrapTheLengthByteIsRefused) {
  const std::string c253(253, 'A');
  const std::string cmd = escpos::ComandoCodigoBarras("<code128>", c253, false, 0, 0);
  EXPECT_EQ(static_cast<uint8_t>(cmd[12]), 255);  // 253 bytes + "{B"
  EXPECT_EQ(cmd.size(), 13u + 255u);

  const std::string c254(254, 'A');
  try {
    escpos::ComandoCodigoBarras("<code128>", c254, false, 0, 0);
    FAIL() << "no exception";
  } catch (const EPosPrinterException& e) {
    EXPECT_EQ(e.Message(), "C\xF3" "digo de barras <code128> com 256 bytes excede o limite de 255 bytes");
  }
  EXPECT_THROW(escpos::ComandoCodigoBarras("<code39>", std::string(256, '1'), false, 0, 0),
               EPosPrinterException);
  // Subset C packs 510 digits into 255 bytes, plus the prefix: too long;
  // 506 digits (253 bytes) fit.
  EXPECT_THROW(escpos::ComandoCodigoBarras("<code128c>", std::string(510, '1'), false, 0, 0),
               EPosPrinterException);
  EXPECT_EQ(escpos::ComandoCodigoBarras("<code128c>", std::string(506, '1'), false, 0, 0).size(), 13u + 255u);
  // The plain-text symbologies have no length byte and no limit.
  EXPECT_EQ(escpos::ComandoCodigoBarras("<std>", std::string(300, '1'), false, 0, 0).size(), 300u);
}

TEST(EscPosQRCode, FivePiecesWithTheDataLengthInTwoBytes) {
  EXPECT_EQ(escpos::ComandoQRCode("ABC", 2, 4, 0),
            H("1D 28 6B 04 00 31 41 32 00"
              " 1D 28 6B 03 00 31 43 04"
              " 1D 28 6B 03 00 31 45 30"
              " 1D 28 6B 06 00 31 50 30") +
                "ABC" + H("1D 28 6B 03 00 31 51 30"));
  const std::string longo(300, 'x');  // 303 = 2F 01
  const std::string cmd = escpos::ComandoQRCode(longo, 1, 16, 3);
  EXPECT_EQ(cmd.substr(0, 9), H("1D 28 6B 04 00 31 41 31 00"));
  EXPECT_EQ(cmd.substr(9, 8), H("1D 28 6B 03 00 31 43 10"));
  EXPECT_EQ(cmd.substr(17, 8), H("1D 28 6B 03 00 31 45 33"));
  EXPECT_EQ(cmd.substr(25, 8), H("1D 28 6B 2F 01 31 50 30"));
  EXPECT_EQ(cmd.substr(33, 300), longo);
  EXPECT_EQ(cmd.size(), 33u + 300u + 8u);
}

TEST(EscPosQRCode, AnEmptyCodeSendsNothing) {
  // A store-data command without data is refused by the printer, and the
  // print command after it would print whatever symbol was stored before.
  EXPECT_EQ(escpos::ComandoQRCode("", 2, 4, 0), "");
  EXPECT_EQ(escpos::ComandoQRCode(" ", 2, 4, 0).substr(25, 9), H("1D 28 6B 04 00 31 50 30 20"));
}

TEST(EscPosQRCode, DataBeyondTwoLengthBytesIsRefused) {
  EXPECT_NO_THROW(escpos::ComandoQRCode(std::string(65532, 'a'), 2, 4, 0));
  EXPECT_THROW(escpos::ComandoQRCode(std::string(65533, 'a'), 2, 4, 0), EPosPrinterException);
}

TEST(EscPosCodePages, TableSelection) {
  EXPECT_EQ(escpos::ComandoPaginaCodigo(TPosPaginaCodigo::pc437), H("1B 74 00"));
  EXPECT_EQ(escpos::ComandoPaginaCodigo(TPosPaginaCodigo::pc850), H("1B 74 02"));
  EXPECT_EQ(escpos::ComandoPaginaCodigo(TPosPaginaCodigo::pc852), H("1B 74 12"));
  EXPECT_EQ(escpos::ComandoPaginaCodigo(TPosPaginaCodigo::pc860), H("1B 74 03"));
  EXPECT_EQ(escpos::ComandoPaginaCodigo(TPosPaginaCodigo::pc1252), H("1B 74 10"));
  EXPECT_EQ(escpos::ComandoPaginaCodigo(TPosPaginaCodigo::pcUTF8), "");
  EXPECT_EQ(escpos::ComandoPaginaCodigo(TPosPaginaCodigo::pcNone), "");
}

TEST(EscPosDrawer, NumbersAboveOneSelectTheSecondDrawer) {
  EXPECT_EQ(escpos::ComandoGaveta(1, 50, 200), H("1B 70 00 32 C8"));
  EXPECT_EQ(escpos::ComandoGaveta(0, 50, 200), H("1B 70 00 32 C8"));
  EXPECT_EQ(escpos::ComandoGaveta(-4, 1, 2), H("1B 70 00 01 02"));
  EXPECT_EQ(escpos::ComandoGaveta(2, 10, 20), H("1B 70 01 0A 14"));
  EXPECT_EQ(escpos::ComandoGaveta(7, 0, 255), H("1B 70 01 00 FF"));
}

TEST(EscPosPageMode, DirectionAndArea) {
  EXPECT_EQ(escpos::ComandoDirecaoPagina(TPosDirecao::dirEsquerdaParaDireita), H("1B 54 00"));
  EXPECT_EQ(escpos::ComandoDirecaoPagina(TPosDirecao::dirTopoParaBaixo), H("1B 54 03"));
  EXPECT_EQ(escpos::ComandoDirecaoPagina(TPosDirecao::dirDireitaParaEsquerda), H("1B 54 02"));
  EXPECT_EQ(escpos::ComandoDirecaoPagina(TPosDirecao::dirBaixoParaTopo), H("1B 54 01"));
  EXPECT_EQ(escpos::ComandoAreaPagina(10, 300, 512, 0x1234), H("1B 57 0A 00 2C 01 00 02 34 12"));
  EXPECT_THROW(escpos::ComandoAreaPagina(-1, 0, 0, 0), EPosPrinterException);
  EXPECT_THROW(escpos::ComandoAreaPagina(0, 0, 65536, 0), EPosPrinterException);
}

TEST(EscPosLogo, LegacyAndKeyCodeForms) {
  EXPECT_EQ(escpos::PosicaoLogoLegado('1'), 1);
  EXPECT_EQ(escpos::PosicaoLogoLegado('0'), 0);
  EXPECT_EQ(escpos::PosicaoLogoLegado('9'), 9);
  EXPECT_EQ(escpos::PosicaoLogoLegado(2), 2);
  EXPECT_EQ(escpos::PosicaoLogoLegado(':'), ':');  // not a digit: unchanged
  EXPECT_EQ(escpos::ComandoLogoLegado('1', 1, 1), H("1C 70 01 00"));
  EXPECT_EQ(escpos::ComandoLogoLegado(3, 2, 1), H("1C 70 03 01"));
  EXPECT_EQ(escpos::ComandoLogoLegado(3, 1, 2), H("1C 70 03 02"));
  EXPECT_EQ(escpos::ComandoLogoLegado(3, 4, 4), H("1C 70 03 03"));
  EXPECT_EQ(escpos::ComandoLogoKeyCode(32, 32, 1, 1), H("1D 28 4C 06 00 30 45 20 20 01 01"));
  EXPECT_EQ(escpos::ComandoLogoKeyCode('A', '1', 2, 3), H("1D 28 4C 06 00 30 45 41 31 02 03"));
  EXPECT_EQ(escpos::ComandoApagaLogoKeyCode('A', '1'), H("1D 28 4C 04 00 30 42 41 31"));
}

TEST(EscPosLogo, KeyCodeStoreWrapsTheRasterWithItsLength) {
  // 10 x 2 dots: 2 bytes per row.
  const std::string raster = H("FF C0 80 40");
  const std::string p = H("30 43 30 41 42 01 0A 00 02 00 31 FF C0 80 40 01");
  EXPECT_EQ(escpos::ComandoGravacaoLogoKeyCode('A', 'B', raster, 10, 2), H("1D 38 4C 10 00 00 00") + p);
  EXPECT_THROW(escpos::ComandoGravacaoLogoKeyCode('A', 'B', raster, 10, 3), EPosPrinterException);
}

TEST(EscPosRaster, GraphicsFormStoresThenPrints) {
  const std::string raster = H("F0 0F 81");  // 8 x 3 dots
  EXPECT_EQ(escpos::ComandoImagemGrafica(raster, 8, 3),
            H("1D 38 4C 0D 00 00 00 30 70 30 01 01 31 08 00 03 00 F0 0F 81 1D 28 4C 02 00 30 32"));
  // A raster of 9 dots width needs 2 bytes a row.
  EXPECT_THROW(escpos::ComandoImagemGrafica(raster, 9, 3), EPosPrinterException);
  EXPECT_THROW(escpos::ComandoImagemGrafica("", 0, 0), EPosPrinterException);
  // A width that does not fit two bytes is refused, not wrapped.
  const std::string largo(static_cast<std::size_t>((70000 + 7) / 8), '\0');
  EXPECT_THROW(escpos::ComandoImagemGrafica(largo, 70000, 1), EPosPrinterException);
}

TEST(EscPosStatus, DecodingOfTheThreeReplies) {
  TPosStatus s;
  escpos::DecodificarStatusImpressora(0x12, s);  // bits 1 and 4: fixed bits only
  EXPECT_EQ(s.Bits(), 1u << static_cast<int>(TPosTipoStatus::stGavetaAberta));

  s = TPosStatus();
  escpos::DecodificarStatusImpressora(0x16 | 0x08 | 0x20 | 0x40, s);
  EXPECT_FALSE(s.Contem(TPosTipoStatus::stGavetaAberta));
  EXPECT_TRUE(s.Contem(TPosTipoStatus::stOffLine));
  EXPECT_TRUE(s.Contem(TPosTipoStatus::stErro));
  EXPECT_TRUE(s.Contem(TPosTipoStatus::stImprimindo));

  s = TPosStatus();
  escpos::DecodificarCausaOffLine(0x12 | 0x04, s);
  EXPECT_EQ(s.Bits(), 1u << static_cast<int>(TPosTipoStatus::stTampaAberta));
  escpos::DecodificarCausaOffLine(0x12 | 0x08 | 0x20 | 0x40, s);
  EXPECT_TRUE(s.Contem(TPosTipoStatus::stTampaAberta));  // only added, never removed
  EXPECT_TRUE(s.Contem(TPosTipoStatus::stImprimindo));
  EXPECT_TRUE(s.Contem(TPosTipoStatus::stSemPapel));
  EXPECT_TRUE(s.Contem(TPosTipoStatus::stErro));

  s = TPosStatus();
  escpos::DecodificarSensorPapel(0x12 | 0x04, s);  // one of the two near-end bits: nothing
  escpos::DecodificarSensorPapel(0x12 | 0x20, s);  // one of the two end bits: nothing
  EXPECT_TRUE(s.Vazio());
  escpos::DecodificarSensorPapel(0x12 | 0x0C, s);
  EXPECT_EQ(s.Bits(), 1u << static_cast<int>(TPosTipoStatus::stPoucoPapel));
  escpos::DecodificarSensorPapel(0x12 | 0x60, s);
  EXPECT_TRUE(s.Contem(TPosTipoStatus::stSemPapel));
}

}  // namespace
}  // namespace bilhetor

namespace bilhetor {
namespace {

using testing_bytes::H;

TEST(EscPosLogo, LegacyStoreSendsOneBandOfColumnsPaddedToTheAnnouncedSize) {
  // 8 x 8 diagonal: column c has only row c printed.
  const std::string raster = H("80 40 20 10 08 04 02 01");
  const std::string cmd = escpos::ComandoGravacaoLogoLegado('1', raster, 8, 8);
  EXPECT_EQ(cmd, H("1C 71 01 08 00 01 00 80 40 20 10 08 04 02 01") + std::string(56, '\0'));
  // Position 1 given as the byte 1 is the same position.
  EXPECT_EQ(escpos::ComandoGravacaoLogoLegado(1, raster, 8, 8), cmd);
  // 9 rows: two bytes per column, y = 2; 16 columns for a width of 9.
  const std::string r9 = H("FF 80") + std::string(16, '\0');  // row 0 fully printed, rows 1..8 blank
  const std::string c9 = escpos::ComandoGravacaoLogoLegado('1', r9, 9, 9);
  ASSERT_EQ(c9.size(), 7u + 9u * 2u * 8u);
  EXPECT_EQ(c9.substr(0, 7), H("1C 71 01 09 00 02 00"));
  for (int c = 0; c < 16; ++c) {
    EXPECT_EQ(static_cast<uint8_t>(c9[7 + 2 * c]), c < 9 ? 0x80 : 0x00) << "column " << c;
    EXPECT_EQ(static_cast<uint8_t>(c9[8 + 2 * c]), 0x00) << "column " << c;
  }
  // The blank one-dot logo used to erase position 1.
  EXPECT_EQ(escpos::ComandoGravacaoLogoLegado('1', std::string(1, '\0'), 1, 1),
            H("1C 71 01 01 00 01 00 00 00 00 00 00 00 00 00"));
}

// The sizes are checked before the column data is padded to width x height
// x 8 bytes: a tiny raster announcing a huge logo must not ask for memory.
TEST(EscPosLogo, LegacyStoreChecksTheSizesBeforePadding) {
  auto erro = [](const std::string& raster, int largura, int altura) {
    try {
      escpos::ComandoGravacaoLogoLegado('1', raster, largura, altura);
    } catch (const EPosPrinterException& e) {
      return e.Message();
    }
    return std::string("(no error)");
  };
  // 65535 x 16384 would pad to 1 GiB.
  EXPECT_EQ(erro(H("FF"), 65535, 16384), "Imagem raster com 1 bytes, esperados 134217728 para 65535 x 16384 pontos");
  EXPECT_EQ(erro(std::string(8750, '\0'), 70000, 1),
            "Largura do logo: valor 70000 fora da faixa de 2 bytes (0 a 65535)");
  EXPECT_EQ(erro(std::string(8, '\0'), 8, 8 * 65536),
            "Altura do logo: valor 65536 fora da faixa de 2 bytes (0 a 65535)");
  EXPECT_EQ(erro(H("FF"), 8, 2), "Imagem raster com 1 bytes, esperados 2 para 8 x 2 pontos");
  EXPECT_EQ(erro("", 0, 1), "Imagem com dimens\xF5" "es inv\xE1lidas: 0 x 1 pontos");
}

TEST(EscPosLogo, LegacyStoreAcceptsOnlyPositionOne) {
  for (uint8_t k : {uint8_t{'2'}, uint8_t{2}, uint8_t{'0'}, uint8_t{32}}) {
    try {
      escpos::ComandoGravacaoLogoLegado(k, H("FF"), 8, 1);
      FAIL() << "no exception for " << int(k);
    } catch (const EPosPrinterException& e) {
      EXPECT_EQ(e.Message(),
                "PosPrinter gravando Logo em modo Legado (FS q), somente aceita a posi\xE7\xE3o \"1\"");
    }
  }
}

TEST(EscPosRaster, ColumnBandsAnnounceTheColumnsTheyCarry) {
  // 12 dots wide, 24 rows, every row printed on its 12 dots: 16 columns are
  // sent (the width rounded up), and 16 are announced.
  std::string raster;
  for (int i = 0; i < 24; ++i) raster += H("FF F0");
  const std::string cmd = escpos::BandasColunas24(raster, 12, 24);
  ASSERT_EQ(cmd.size(), 5u + 16u * 3u + 1u);
  EXPECT_EQ(cmd.substr(0, 5), H("1B 2A 21 10 00"));
  for (int c = 0; c < 16; ++c) {
    EXPECT_EQ(cmd.substr(5 + 3 * c, 3), c < 12 ? H("FF FF FF") : H("00 00 00")) << "column " << c;
  }
  EXPECT_EQ(cmd.back(), '\x0A');
}

TEST(EscPosRaster, ColumnBandsOfTallAndVeryShortPictures) {
  // 25 rows: two bands; the second holds row 24 at the top of its first byte.
  std::string raster(24, '\0');
  raster += H("80");
  const std::string cmd = escpos::BandasColunas24(raster, 8, 25);
  const std::string banda = H("1B 2A 21 08 00");
  ASSERT_EQ(cmd.size(), 2u * (5u + 24u + 1u));
  EXPECT_EQ(cmd.substr(0, 5), banda);
  EXPECT_EQ(cmd.substr(5, 24), std::string(24, '\0'));
  EXPECT_EQ(cmd.substr(30, 5), banda);
  EXPECT_EQ(cmd.substr(35, 3), H("80 00 00"));
  EXPECT_EQ(cmd.substr(38, 21), std::string(21, '\0'));
  // One row: still 3 bytes per column, as mode 33 expects.
  EXPECT_EQ(escpos::BandasColunas24(H("C0"), 8, 1),
            H("1B 2A 21 08 00 80 00 00 80 00 00") + std::string(18, '\0') + H("0A"));
  // Two rows of 3 dots: the columns of the rounded width.
  EXPECT_EQ(escpos::BandasColunas24(H("A0 40"), 3, 2),
            H("1B 2A 21 08 00 80 00 00 40 00 00 80 00 00") + std::string(15, '\0') + H("0A"));
  EXPECT_THROW(escpos::BandasColunas24("", 0, 5), EPosPrinterException);
}

}  // namespace
}  // namespace bilhetor
