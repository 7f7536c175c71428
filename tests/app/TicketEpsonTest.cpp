// The sample separation ticket printed through the Epson model with the
// settings the print server starts with: the bytes that reach the printer.
#include <gtest/gtest.h>

#include "app/ConfiguracaoImpressora.h"
#include "app/PrintTool.h"
#include "app/TicketSeparacao.h"
#include "posprinter/PosPrinter.h"
#include "support/TestSupport.h"

namespace bilhetor {
namespace {

using testing::ReadFile;
using testing::TempDir;

const std::string ESC = "\x1B";
const std::string GS = "\x1D";

TEST(TicketEpson, WorkedExampleBytesWithTheDefaultSettings) {
  TempDir dir;
  const std::string destino = dir / "ticket.bin";
  TPosPrinter impressora;
  PrepararImpressora(impressora);
  TConfiguracaoImpressora config;  // the settings of a missing settings file
  config.Porta = "FILE:" + destino;
  AplicarConfiguracao(impressora, config);
  impressora.Ativar();
  for (const auto& linha : TicketExemplo(48)) impressora.Buffer().Add(linha);
  impressora.Imprimir("", false, true, true, 1);
  EXPECT_EQ(impressora.Buffer().Count(), 0u);
  impressora.Desativar();

  const std::string regua(48, '-');
  const std::string negrito = ESC + "!\x08";            // <n>: print mode with bold
  const std::string negritoExpandido = ESC + "!\x28";   // <e> after <n>: bold + double width
  const std::string centro = ESC + "a\x01";
  const std::string esquerdaNormal = ESC + "a" + std::string(1, '\0') + ESC + "!" + std::string(1, '\0');
  const std::string titulo = negrito + negritoExpandido + centro;
  std::string esperado;
  // </zera>: reset, then the initialization (default line spacing, code page 850).
  esperado += ESC + "@" + ESC + "2" + ESC + "t\x02" + "\n";
  esperado += regua + "\n";
  esperado += titulo + "MAPA DE SEPARACAO\n";
  // Code 39: module width 2, height 50, no text, symbology 0x45, length 2.
  esperado += GS + "w\x02" + GS + "h\x32" + GS + "H" + std::string(1, '\0') + GS + "kE\x02" + "57\n";
  esperado += esquerdaNormal + "DATA/HORA: 05/03/2024 14:20:01\n";
  esperado += esquerdaNormal + "PEDIDO...: 057\n";
  esperado += regua + "\n";
  esperado += titulo + "DADOS DO CLIENTE\n";
  esperado += esquerdaNormal + "\n";
  esperado += "CLIENTE.: Jose Avila\n";
  esperado += "CIDADE..: Rio Claro - SP\n";
  esperado += "ENDERECO: Rua A, 10\n";
  esperado += "TELEFONE: 1234|5678\n";
  esperado += regua + "\n";
  esperado += titulo + "OBSERVACAO\n";
  esperado += esquerdaNormal + "\n";
  esperado += "Entregar a tarde\n";
  esperado += regua + "\n";
  esperado += "2 X UN Caixa Grande\n";
  esperado += "CODIGO: 00042 - BARRAS: 7891234567895\n";
  esperado += "    \n";
  esperado += regua + "\n";
  esperado += negrito + "ATENDENTE: MARIA\n";
  esperado += regua + "\n";
  esperado += negrito + "QUANTIDADE DE ITENS..: 01\n";
  esperado += negrito + "QUANTIDADE DE VOLUMES: 02\n";
  esperado += regua + "\n";
  esperado += negrito + centro + "* * * F I M * * *\n";
  esperado += " \n \n";
  // No feed before the cuts (LinhasPular 0), a full cut and then a partial one.
  esperado += GS + "V" + std::string(1, '\0') + "\n";
  esperado += GS + "V\x01" + "\n";
  EXPECT_EQ(ReadFile(destino), esperado);
}

TEST(TicketEpson, CuttingOffAndFeedsBeforeTheCuts) {
  TempDir dir;
  const std::string destino = dir / "cortes.bin";
  TPosPrinter impressora;
  PrepararImpressora(impressora);
  TConfiguracaoImpressora config;
  config.Porta = "FILE:" + destino;
  config.CortarPapel = false;
  config.LinhasPular = 2;
  AplicarConfiguracao(impressora, config);
  impressora.Ativar();
  impressora.Buffer().Add("</corte_total>");
  impressora.Buffer().Add("</corte_parcial>");
  impressora.Imprimir("", false, true, true, 1);
  impressora.Desativar();
  const std::string bytes = ReadFile(destino);
  EXPECT_EQ(bytes.find(GS + "V"), std::string::npos) << "no cut with CortarPapel off";
  // Initialization first (nothing in the text carried it), then two feeds
  // (a blank and a line feed each) per cut line, and the line's own break.
  const std::string init = ESC + "2" + ESC + "t\x02";
  EXPECT_EQ(bytes, init + " \n \n\n \n \n\n");
}

// The bytes the printer gets for one order whose field `campo` holds
// `valor`; the other fields as in the sample ticket.
std::string BytesDoTicket(const std::string& campo, const std::string& valor) {
  TCamposTexto pedido{{"numped", "57"}, {"tipo", ""},      {"cliente", "Jose"}, {"cidade", "Rio Claro"},
                      {"uf", "SP"},     {"endereco", "A"}, {"numero", "10"},    {"tel1", "1234"},
                      {"tel2", "5678"}, {"obs2", "x"}};
  TCamposTexto item{{"qtde", "2"}, {"und", "UN"}, {"descricao", "Caixa"}, {"codprod", "42"}, {"ean13", "789"}};
  std::string funcionario = "MARIA";
  if (campo == "funcionario") funcionario = valor;
  else if (campo == "qtde" || campo == "und" || campo == "ean13") item.Definir(campo, valor);
  else pedido.Definir(campo, valor);

  TempDir dir;
  TPosPrinter impressora;
  PrepararImpressora(impressora);
  TConfiguracaoImpressora config;
  config.Porta = "FILE:" + (dir / "t.bin");
  AplicarConfiguracao(impressora, config);
  impressora.Ativar();
  const TDataHora agora{2024, 3, 5, 14, 20, 1, 0};
  for (const auto& l : CabecalhoTicket(pedido, 48, agora)) impressora.Buffer().Add(l);
  for (const auto& l : ItemTicket(item)) impressora.Buffer().Add(l);
  for (const auto& l : RodapeTicket("", funcionario, 1, 20000, 48)) impressora.Buffer().Add(l);
  impressora.Imprimir("", false, true, true, 1);
  impressora.Desativar();
  return ReadFile(dir / "t.bin");
}

TEST(TicketEpson, DatabaseFieldsNeverBecomePrinterCommands) {
  // The commands a field must not add: drawer, cut, reset, raster image,
  // bit image, QR code, graphics, stored logo.
  const std::vector<std::string> comandos = {ESC + "p", GS + "V", ESC + "@", GS + "v0", ESC + "*",
                                             GS + "(k", GS + "(L", "\x1Cp"};
  const auto contar = [&](const std::string& bytes) {
    std::vector<int> n;
    for (const std::string& c : comandos) {
      int k = 0;
      for (auto p = bytes.find(c); p != std::string::npos; p = bytes.find(c, p + 1)) ++k;
      n.push_back(k);
    }
    return n;
  };
  const std::vector<int> normal = contar(BytesDoTicket("tel1", "1234"));
  const struct {
    const char* campo;
    std::string valor;
  } hostis[] = {
      {"tel1", "</abre_gaveta>"},
      {"tel2", "</corte_total>"},
      {"ean13", "</reset>"},
      {"ean13", "<ad>"},  // an opening tag that would eat the rest of the ticket
      {"funcionario", "<qrcode>http://example.com</qrcode>"},
      {"und", GS + "V" + std::string(1, '\0')},
      {"qtde", ESC + "p" + std::string(1, '\0') + "\x19\xFA"},
      // A raster image header that would swallow the cut and the next tickets.
      {"funcionario", "ABCDE" + GS + "v0" + std::string(1, '\0') + "\x30" + std::string(1, '\0') + "\xFF\x7F"},
      {"tel1", "<bmp>/dev/zero</bmp>" + std::string(3000, '9')},
  };
  for (const auto& h : hostis) {
    SCOPED_TRACE(std::string(h.campo) + " = " + h.valor);
    const std::string bytes = BytesDoTicket(h.campo, h.valor);
    EXPECT_EQ(contar(bytes), normal);
    // The whole ticket is there: its end and both cuts.
    EXPECT_NE(bytes.find("* * * F I M * * *\n \n \n" + GS + "V"), std::string::npos);
  }
}

}  // namespace
}  // namespace bilhetor
