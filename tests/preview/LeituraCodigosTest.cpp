// Every barcode and QR code of the sample ticket and of a sheet of every tag,
// as the Epson command set sends them, read back from the picture by zbarimg
// (an independent decoder) and compared with the data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PreviewTeste.h"
#include "app/PrintTool.h"
#include "preview/Preview.h"

namespace bilhetor::preview {
namespace {

using teste::BytesEpson;
using teste::LerCodigos;
using teste::Objetos;
using teste::Retangulo;

struct Codigo {
  std::string tags;  // the tagged line
  std::string lido;  // what zbarimg reads: symbology and data, check digits included
};

// zbarimg reports UPC-A and UPC-E as EAN-13 (UPC-E expanded).
const Codigo kCodigos[] = {
    {"<ean13>789123456789</ean13>", "EAN-13:7891234567895"},
    {"<ean8>1234567</ean8>", "EAN-8:12345670"},
    {"<upca>01234567890</upca>", "EAN-13:0012345678905"},
    {"<upce>123456</upce>", "EAN-13:0012345000065"},
    {"<code39>PEDIDO 57</code39>", "CODE-39:PEDIDO 57"},
    {"<code93>Code 93</code93>", "CODE-93:Code 93"},
    {"<code128>Bilhetor-128</code128>", "CODE-128:Bilhetor-128"},
    {"<code128a>ABC-12</code128a>", "CODE-128:ABC-12"},
    {"<code128c>12345</code128c>", "CODE-128:012345"},
    {"<inter>123456</inter>", "I2/5:123456"},
    {"<codabar>A1234B</codabar>", "Codabar:A1234B"},
    {"<qrcode>https://example.com/pedido/57</qrcode>", "QR-Code:https://example.com/pedido/57"},
    {"<qrcode_largura>3</qrcode_largura><qrcode_error>3</qrcode_error><qrcode>Bilhetor \xE0 tarde</qrcode>",
     "QR-Code:Bilhetor \xC3\xA0 tarde"},  // zbarimg writes UTF-8
};

TEST(LeituraCodigos, EveryCodeOfTheTagSheetReadsBackOnBothPapers) {
  std::vector<std::string> linhas = {"</ce><barra_mostrar>1</barra_mostrar>"};
  std::vector<std::string> esperados;
  for (const Codigo& c : kCodigos) {
    linhas.push_back(c.tags);
    esperados.push_back(c.lido);
  }
  // QR data bytes are ISO-8859-1 unless the symbol says otherwise, which is
  // what Windows-1252 gives for à (E0); PC850 would send 85.
  const std::string bytes = BytesEpson(linhas, [](TPosPrinter& p) {
    p.SetPaginaDeCodigo(TPosPaginaCodigo::pc1252);
  });
  for (const TOpcoesPreview& o : {TOpcoesPreview::Papel80mm(), TOpcoesPreview::Papel58mm()}) {
    const TPreview p = RenderizarEscPos(bytes, o);
    EXPECT_TRUE(p.folha.avisos.empty()) << p.folha.avisos.front();
    std::vector<TObjeto> simbolos;
    for (const TObjeto& ob : p.folha.objetos)
      if (ob.tipo == TTipoObjeto::Barras || ob.tipo == TTipoObjeto::QRCode) simbolos.push_back(ob);
    ASSERT_EQ(simbolos.size(), esperados.size()) << o.larguraImpressao;
    for (std::size_t i = 0; i < simbolos.size(); ++i) {
      EXPECT_EQ(LerCodigos(p.imagem, Retangulo(simbolos[i].area)), std::vector<std::string>{esperados[i]})
          << kCodigos[i].tags << " on " << o.larguraImpressao;
      // Centred by </ce>.
      const int meio = simbolos[i].area.x + simbolos[i].area.largura / 2;
      EXPECT_NEAR(meio, o.margem + o.larguraImpressao / 2, 1) << kCodigos[i].tags;
    }
    // And the whole picture at once, from the PNG file the preview writes.
    const std::string png = PngEscPos(bytes, o);
    const QImage lida = QImage::fromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()), "PNG");
    ASSERT_EQ(lida.convertToFormat(QImage::Format_RGB32), p.imagem);
    std::vector<std::string> todos = esperados;
    std::sort(todos.begin(), todos.end());
    EXPECT_EQ(LerCodigos(lida), todos) << o.larguraImpressao;
  }
}

TEST(LeituraCodigos, QrSettingsGiveTheModuleSizeAndErrorLevel) {
  struct Caso {
    int largura, nivel, tipo;
    int modulos;  // the symbol's side for 17 bytes of data
  };
  const Caso casos[] = {{1, 0, 2, 21}, {4, 1, 2, 25}, {8, 2, 1, 25}, {16, 3, 2, 29}, {20, 9, 2, 29}};
  for (const Caso& c : casos) {
    const std::string dados = "pedido 57/2024-03";
    const std::string bytes = BytesEpson({"<qrcode_largura>" + std::to_string(c.largura) + "</qrcode_largura>" +
                                          "<qrcode_error>" + std::to_string(c.nivel) + "</qrcode_error>" +
                                          "<qrcode_tipo>" + std::to_string(c.tipo) + "</qrcode_tipo>" +
                                          "<qrcode>" + dados + "</qrcode>"});
    const TPreview p = RenderizarEscPos(bytes);
    // libzint draws only model 2; a model 1 request says so.
    EXPECT_EQ(p.folha.avisos, c.tipo == 1 ? std::vector<std::string>{"GS ( k: QR Code modelo 1 desenhado como modelo 2"}
                                          : std::vector<std::string>{});
    const auto qr = Objetos(p.folha, TTipoObjeto::QRCode);
    ASSERT_EQ(qr.size(), 1u) << c.largura;
    const int modulo = std::min(c.largura, 16);
    EXPECT_EQ(qr[0].area.largura, c.modulos * modulo) << c.largura;
    EXPECT_NE(qr[0].detalhe.find(std::string("n\xEDvel ") + "LMQH"[std::min(c.nivel, 3)]), std::string::npos)
        << qr[0].detalhe;
    if (modulo > 1) {
      EXPECT_EQ(LerCodigos(p.imagem, Retangulo(qr[0].area)), std::vector<std::string>{"QR-Code:" + dados});
    }
  }
}

TEST(LeituraCodigos, BarWidthAndHeightFollowTheSettings) {
  int larguraUm = 0;
  for (int largura : {1, 2, 3, 4}) {
    const std::string bytes = BytesEpson({"<barra_largura>" + std::to_string(largura) + "</barra_largura>" +
                                          "<barra_altura>80</barra_altura><code128>57</code128>"});
    const TPreview p = RenderizarEscPos(bytes);
    const auto barras = Objetos(p.folha, TTipoObjeto::Barras);
    ASSERT_EQ(barras.size(), 1u);
    const QRect tinta = teste::CaixaDaTinta(p.imagem, Retangulo(barras[0].area).adjusted(-8, -8, 8, 8));
    EXPECT_EQ(tinta.height(), 80);
    if (largura == 1) larguraUm = tinta.width();
    EXPECT_EQ(tinta.width(), larguraUm * largura);
    if (largura > 1) {
      EXPECT_EQ(LerCodigos(p.imagem, tinta), std::vector<std::string>{"CODE-128:57"});
    }
  }
}

TEST(LeituraCodigos, ACodeOnATurnedPageReadsBackWhereThePreviewSaysItIs) {
  const std::string ESC = "\x1B", GS = "\x1D";
  const std::string qr = GS + "(k" + std::string("\x03\x00\x31\x43\x05", 5) + GS + "(k" +
                         std::string("\x09\x00\x31\x50\x30", 5) + "pagina" + GS + "(k" +
                         std::string("\x03\x00\x31\x51\x30", 5);
  for (char direcao = 0; direcao < 4; ++direcao) {
    // A page 400 dots wide and 300 tall, the code at the start of its first line.
    const std::string bytes = ESC + "L" + ESC + "W" + std::string("\0\0\0\0\x90\x01\x2C\x01", 8) + ESC + "T" +
                              std::string(1, direcao) + qr + "\x0C";
    const TPreview p = RenderizarEscPos(bytes);
    ASSERT_EQ(p.folha.paginas.size(), 1u);
    EXPECT_EQ(p.folha.paginas[0].area, (TRetangulo{32, 16, 400, 300}));
    const auto codigos = Objetos(p.folha, TTipoObjeto::QRCode);
    ASSERT_EQ(codigos.size(), 1u);
    const QRect area = Retangulo(codigos[0].area);
    EXPECT_TRUE(QRect(32, 16, 400, 300).contains(area)) << int(direcao);
    EXPECT_EQ(LerCodigos(p.imagem, area, 10), std::vector<std::string>{"QR-Code:pagina"}) << int(direcao);
    EXPECT_EQ(teste::CaixaDaTinta(p.imagem, QRect(0, 0, 640, 400)), area) << int(direcao);
  }
}

TEST(LeituraCodigos, TheSampleTicketShowsItsOrderAndBarcode) {
  const std::string bytes = BytesEpson(TicketExemplo(48));
  const TPreview p = RenderizarEscPos(bytes);
  EXPECT_TRUE(p.folha.avisos.empty()) << p.folha.avisos.front();
  EXPECT_EQ(LerCodigos(p.imagem), std::vector<std::string>{"CODE-39:57"});
  // The title: bold, double width, centred.
  const auto linhas = Objetos(p.folha, TTipoObjeto::Texto);
  const auto titulo = std::find_if(linhas.begin(), linhas.end(),
                                   [](const TObjeto& o) { return o.dados == "MAPA DE SEPARACAO"; });
  ASSERT_NE(titulo, linhas.end());
  EXPECT_EQ(titulo->area.largura, 17 * 24);
  EXPECT_NEAR(titulo->area.x + titulo->area.largura / 2, 32 + 288, 1);
  // The ticket layout writes names without accents.
  std::u32string cliente;
  for (const TObjeto& o : linhas)
    if (o.dados.rfind("CLIENTE", 0) == 0)
      for (const TGlifo& g : p.folha.glifos)
        if (g.y == o.area.y) cliente.push_back(g.codigo);
  EXPECT_EQ(cliente, U"CLIENTE.: Jose Avila");
  // Accents go through the engine's code page and the printer's table.
  const TPreview acentos = RenderizarEscPos(BytesEpson({"A\xE7\xE3o \xE0 tarde"}));
  std::u32string texto;
  for (const TGlifo& g : acentos.folha.glifos) texto.push_back(g.codigo);
  EXPECT_EQ(texto, U"A\u00E7\u00E3o \u00E0 tarde");
  // It ends with the full cut and then the partial one.
  const auto cortes = Objetos(p.folha, TTipoObjeto::Corte);
  ASSERT_EQ(cortes.size(), 2u);
  EXPECT_EQ(cortes[0].detalhe, "corte total");
  EXPECT_EQ(cortes[1].detalhe, "corte parcial");
}

}  // namespace
}  // namespace bilhetor::preview
