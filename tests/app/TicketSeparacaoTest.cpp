#include "app/TicketSeparacao.h"

#include <gtest/gtest.h>

#include <set>

namespace bilhetor {
namespace {

TCamposTexto PedidoExemplo(const std::string& tipo = "") {
  // José Ávila, Entregar à tarde: Windows-1252 bytes as the database holds them.
  return TCamposTexto{{"numped", "57"},  {"tipo", tipo},      {"cliente", "Jos\xE9 \xC1vila"},
                      {"cidade", "Rio Claro"}, {"uf", "SP"}, {"endereco", "Rua A"},
                      {"numero", "10"},  {"tel1", "1234"},    {"tel2", "5678"},
                      {"obs2", "Entregar \xE0 tarde"}};
}

std::vector<std::string> TicketCompleto(const TCampos& pedido, const std::vector<TCamposTexto>& itens,
                                        const std::string& nome, int64_t volumes, int colunas,
                                        const TDataHora& agora) {
  std::vector<std::string> linhas = CabecalhoTicket(pedido, colunas, agora);
  for (const auto& item : itens) {
    const auto l = ItemTicket(item);
    linhas.insert(linhas.end(), l.begin(), l.end());
  }
  const auto rodape = RodapeTicket(pedido.Texto("tipo"), nome, static_cast<int>(itens.size()), volumes, colunas);
  linhas.insert(linhas.end(), rodape.begin(), rodape.end());
  return linhas;
}

TEST(TicketSeparacao, WorkedExampleLineForLine) {
  const TDataHora agora{2024, 3, 5, 14, 20, 1, 0};
  const std::vector<TCamposTexto> itens{TCamposTexto{
      {"qtde", "2"}, {"und", "UN"}, {"descricao", "Caixa Grande"}, {"codprod", "42"}, {"ean13", "7891234567895"}}};
  const auto linhas = TicketCompleto(PedidoExemplo(), itens, "MARIA", 20000, 48, agora);
  const std::vector<std::string> esperado{
      "</zera>",
      "</linha_simples>",
      "<n><e></ce>MAPA DE SEPARACAO",
      "<code39>57</code39>",
      "</ae></fn>DATA/HORA: 05/03/2024 14:20:01",
      "</ae></fn>PEDIDO...: 057",
      "</linha_simples>",
      "<n><e></ce>DADOS DO CLIENTE",
      "</ae></fn>",
      "CLIENTE.: Jose Avila",
      "CIDADE..: Rio Claro - SP",
      "ENDERECO: Rua A, 10",
      "TELEFONE: 1234|5678",
      "</linha_simples>",
      "<n><e></ce>OBSERVACAO",
      "</ae></fn>",
      "Entregar a tarde",
      "</linha_simples>",
      "2 X UN Caixa Grande",
      "CODIGO: 00042 - BARRAS: 7891234567895",
      "    ",
      "</linha_simples>",
      "<n>ATENDENTE: MARIA",
      std::string(48, '-'),
      "<n>QUANTIDADE DE ITENS..: 01",
      "<n>QUANTIDADE DE VOLUMES: 02",
      "</linha_simples>",
      "<n></ce>* * * F I M * * *",
      " ",
      " ",
      "</corte_total>",
      "</corte_parcial>",
  };
  EXPECT_EQ(linhas, esperado);
}

TEST(TicketSeparacao, TitlesFollowTipoExactly) {
  const TDataHora agora{2024, 3, 5, 14, 20, 1, 0};
  auto cancelamento = CabecalhoTicket(PedidoExemplo("C"), 48, agora);
  EXPECT_EQ(cancelamento[2], std::string(12, ' ') + "C A N C E L A M E N T O");
  EXPECT_EQ(cancelamento[3].rfind("</ae></fn>DATA/HORA: ", 0), 0u) << "one title line only";
  EXPECT_EQ(CabecalhoTicket(PedidoExemplo("C"), 42, agora)[2], std::string(9, ' ') + "C A N C E L A M E N T O");
  EXPECT_EQ(CabecalhoTicket(PedidoExemplo("C"), 20, agora)[2], "C A N C E L A M E N T O");

  auto total = CabecalhoTicket(PedidoExemplo("T"), 48, agora);
  EXPECT_EQ(total[2], "</fn></ce>C A N C E L A M E N T O");
  EXPECT_EQ(total[3], std::string(19, ' ') + "T O T A L");
  EXPECT_EQ(CabecalhoTicket(PedidoExemplo("T"), 42, agora)[3], std::string(16, ' ') + "T O T A L");
  EXPECT_EQ(CabecalhoTicket(PedidoExemplo("T"), 8, agora)[3], "T O T A L");

  for (const std::string tipo : {"X", "c", "t", " "}) {
    auto outro = CabecalhoTicket(PedidoExemplo(tipo), 48, agora);
    EXPECT_EQ(outro.size(), 16u) << "no title for tipo '" << tipo << "'";
    EXPECT_EQ(outro[2].rfind("</ae></fn>DATA/HORA:", 0), 0u);
  }
  EXPECT_EQ(CabecalhoTicket(PedidoExemplo(""), 48, agora).size(), 18u);

  EXPECT_EQ(RodapeTicket("X", "ANA", 0, 0, 48)[1], "<n>CANCELADO POR: ANA");
  EXPECT_EQ(RodapeTicket("C", "ANA", 0, 0, 48)[1], "<n>CANCELADO POR: ANA");
  EXPECT_EQ(RodapeTicket("", "", 0, 0, 48)[1], "<n>ATENDENTE: ");
}

TEST(TicketSeparacao, DateLineLeavesOutMidnight) {
  EXPECT_EQ(FormatarDataHora({2024, 12, 31, 0, 0, 0, 0}), "31/12/2024");
  EXPECT_EQ(FormatarDataHora({2024, 1, 2, 0, 0, 0, 1}), "02/01/2024 00:00:00");
  EXPECT_EQ(FormatarDataHora({2024, 1, 2, 9, 5, 7, 0}), "02/01/2024 09:05:07");
}

TEST(TicketSeparacao, OrderNumberFormatsAndConversionErrors) {
  const TDataHora agora{2024, 3, 5, 14, 20, 1, 0};
  TCamposTexto pedido = PedidoExemplo();
  pedido.Definir("numped", "5");
  auto linhas = CabecalhoTicket(pedido, 48, agora);
  EXPECT_EQ(linhas[3], "<code39>5</code39>");
  EXPECT_EQ(linhas[5], "</ae></fn>PEDIDO...: 005");
  pedido.Definir("numped", "123456");
  EXPECT_EQ(CabecalhoTicket(pedido, 48, agora)[5], "</ae></fn>PEDIDO...: 123456");
  pedido.Definir("numped", "5a");
  try {
    CabecalhoTicket(pedido, 48, agora);
    FAIL() << "a non-numeric order number must fail";
  } catch (const EConversaoCampo& e) {
    EXPECT_EQ(e.Message(), "'5a' is not a valid integer value");
  }
  TCamposTexto item{{"qtde", "1"}, {"und", "UN"}, {"descricao", "x"}, {"codprod", "abc"}, {"ean13", ""}};
  EXPECT_THROW(ItemTicket(item), EConversaoCampo);
  item.Definir("codprod", "41.5");
  EXPECT_EQ(ItemTicket(item)[1], "CODIGO: 00042 - BARRAS: ");
}

TEST(TicketSeparacao, NumberFormatsRoundHalvesAwayFromZero) {
  EXPECT_EQ(FormatarInteiro(7, 3), "007");
  EXPECT_EQ(FormatarInteiro(1234, 3), "1234");
  EXPECT_EQ(FormatarInteiro(42, 5), "00042");
  EXPECT_EQ(FormatarInteiro(2.5, 2), "03");
  EXPECT_EQ(FormatarInteiro(-2.5, 2), "-03");
  EXPECT_EQ(FormatarInteiro(0.4, 2), "00");
  EXPECT_EQ(FormatarInteiro(-7, 3), "-007");
}

TEST(TicketSeparacao, FootTotalsAndEmptyOrders) {
  // 1.5 + 1 volumes round to 3; 0.4 alone to 0; no items gives "00" twice.
  EXPECT_EQ(RodapeTicket("", "M", 2, 25000, 48)[4], "<n>QUANTIDADE DE VOLUMES: 03");
  EXPECT_EQ(RodapeTicket("", "M", 1, 4000, 48)[4], "<n>QUANTIDADE DE VOLUMES: 00");
  EXPECT_EQ(RodapeTicket("", "M", 1, 4999, 48)[4], "<n>QUANTIDADE DE VOLUMES: 00");
  EXPECT_EQ(RodapeTicket("", "M", 1, -25000, 48)[4], "<n>QUANTIDADE DE VOLUMES: -03");
  const auto vazio = RodapeTicket("", "M", 0, 0, 20);
  EXPECT_EQ(vazio[2], std::string(20, '-'));
  EXPECT_EQ(vazio[3], "<n>QUANTIDADE DE ITENS..: 00");
  EXPECT_EQ(vazio[4], "<n>QUANTIDADE DE VOLUMES: 00");
  EXPECT_EQ(vazio.back(), "</corte_parcial>");
  EXPECT_EQ(vazio[vazio.size() - 2], "</corte_total>");
}

TEST(TicketSeparacao, SanitizingReplacesExactlyTheListedBytes) {
  EXPECT_EQ(SanitizarTexto("A&B <Ltda>"), "A B  Ltda ");
  // TextoLiteral blanks the reserved and the control bytes; SanitizarTexto
  // those and the bytes the printer cannot show, and folds the accents.
  std::set<int> literal{0x23, 0x26, 0x27, 0x3C, 0x3E, 0x7C, 0x7F};
  for (int c = 0; c < 0x20; ++c) literal.insert(c);
  std::set<int> branco = literal;
  branco.insert({0xA7, 0xAA, 0xB2, 0xB3, 0xB4, 0xB9, 0xBA});
  auto letra = [](int c) -> int {
    if (c >= 0xC0 && c <= 0xC4) return 'A';
    if (c == 0xC7) return 'C';
    if (c >= 0xC8 && c <= 0xCB) return 'E';
    if (c >= 0xCC && c <= 0xCF) return 'I';
    if (c == 0xD1) return 'N';
    if (c >= 0xD2 && c <= 0xD6) return 'O';
    if (c >= 0xD9 && c <= 0xDC) return 'U';
    if (c >= 0xE0 && c <= 0xE4) return 'a';
    if (c == 0xE7) return 'c';
    if (c >= 0xE8 && c <= 0xEB) return 'e';
    if (c >= 0xEC && c <= 0xEF) return 'i';
    if (c == 0xF1) return 'n';
    if (c >= 0xF2 && c <= 0xF6) return 'o';
    if (c >= 0xF9 && c <= 0xFC) return 'u';
    return -1;
  };
  int alterados = 0;
  for (int c = 0; c < 256; ++c) {
    const std::string s(1, static_cast<char>(c));
    const std::string r = SanitizarTexto(s);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(TextoLiteral(s), literal.count(c) ? " " : s) << "byte " << c;
    int esperado = c;
    if (branco.count(c)) esperado = ' ';
    else if (letra(c) >= 0) esperado = letra(c);
    EXPECT_EQ(static_cast<unsigned char>(r[0]), esperado) << "byte " << c;
    alterados += esperado != c;
  }
  EXPECT_EQ(alterados, 46 + 48);  // 46 blanks, 24 upper- and 24 lower-case letters
  // Kept as they are: Å Æ Ð × Ø Ý Þ ß å æ ð ÷ ø ý þ ÿ.
  const std::string mantidos = "\xC5\xC6\xD0\xD7\xD8\xDD\xDE\xDF\xE5\xE6\xF0\xF7\xF8\xFD\xFE\xFF";
  EXPECT_EQ(SanitizarTexto(mantidos), mantidos);
}

TEST(TicketSeparacao, FieldsThatKeepTheirAccentsStillReachTheEngineAsLiteralText) {
  const TDataHora agora{2024, 3, 5, 14, 20, 1, 0};
  TCamposTexto pedido = PedidoExemplo();
  pedido.Definir("tel1", "<n>");
  pedido.Definir("obs2", "");
  auto linhas = CabecalhoTicket(pedido, 48, agora);
  EXPECT_EQ(linhas[12], "TELEFONE:  n |5678");
  // The order number in the barcode too (it reads as the number 57).
  pedido.Definir("numped", "57\x1B");
  EXPECT_EQ(CabecalhoTicket(pedido, 48, agora)[3], "<code39>57 </code39>");
  EXPECT_EQ(linhas[16], "");
  TCamposTexto item{{"qtde", "1,5"}, {"und", "<U>"}, {"descricao", "\xC7x"}, {"codprod", "1"}, {"ean13", "&"}};
  const auto l = ItemTicket(item);
  EXPECT_EQ(l[0], "1,5 X  U  Cx");
  EXPECT_EQ(l[1], "CODIGO: 00001 - BARRAS:  ");
  EXPECT_EQ(l[2], "    ");
  EXPECT_EQ(RodapeTicket("", "JO\xC3O\x1B", 1, 0, 48)[1], "<n>ATENDENTE: JO\xC3O ");
}

}  // namespace
}  // namespace bilhetor
