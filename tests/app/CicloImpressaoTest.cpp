// The print cycle against a private MariaDB and printers on loopback: the
// tickets it prints, the statements it sends, and what happens to the queue
// when the printer or the database fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "ServidorTeste.h"
#include "common/Strings.h"
#include "support/EscPosPrinterSim.h"
#include "support/MariaDbServer.h"

namespace bilhetor {
namespace {

using testing::BancoTeste;
using testing::ComoNoLog;
using testing::EscPosPrinterSim;
using testing::PastasTeste;
using testing::ReadFile;
using testing::ServidorTeste;
using testing::TicketsImpressos;

const std::string kFilaInicial = "1:57:N 2:57:N 3:57:N 4:57:N 5:58:N 6:59:N 7:59:N 8:60:N";
// Every item of a selected order whose product is sold or printed with the
// order is marked; item 4 (neither) and order 60 (nothing sold) stay waiting.
const std::string kFilaImpressa = "1:57:S 2:57:S 3:57:S 4:57:N 5:58:S 6:59:S 7:59:S 8:60:N";

// The ticket of order 57 of the sample data, line by line.
const std::vector<std::string> kTicket57 = {
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
    "1,5 X RL Fita Adesiva 45mm",
    "CODIGO: 00043 - BARRAS: 7891000001011",
    "    ",
    "1 X CX Etiqueta Termica 100x50",
    "CODIGO: 00044 - BARRAS: 7891000002025",
    "    ",
    "</linha_simples>",
    "<n>ATENDENTE: MARIA",
    std::string(48, '-'),
    "<n>QUANTIDADE DE ITENS..: 03",
    "<n>QUANTIDADE DE VOLUMES: 05",
    "</linha_simples>",
    "<n></ce>* * * F I M * * *",
    " ",
    " ",
    "</corte_total>",
    "</corte_parcial>",
};

class CicloImpressao : public ::testing::Test {
 protected:
  // A print server on the sample data, started, printing to a file port.
  void Iniciar(const std::string& porta = "", const std::string& extraIni = "") {
    pastas.Configurar(banco, porta, extraIni);
    servidor = std::make_unique<ServidorTeste>(pastas);
    tickets = std::make_unique<TicketsImpressos>(servidor->form.PosPrinter1);
    servidor->form.FormCreate();
    ASSERT_FALSE(servidor->form.Terminado());
  }
  TfrmBilhetor& Form() { return servidor->form; }
  // One tick as the window runs it: an error goes to the error box.
  bool Tick() { return Form().ExecutarTratando([this] { Form().Timer2Timer(); }); }

  BancoTeste banco;
  PastasTeste pastas;
  std::unique_ptr<ServidorTeste> servidor;
  std::unique_ptr<TicketsImpressos> tickets;
};

TEST_F(CicloImpressao, PrintsOneTicketPerWaitingOrderInOrderAndMarksOnlyTheirItems) {
  Iniciar();
  EXPECT_EQ(banco.Fila(), kFilaInicial);
  ASSERT_TRUE(Tick()) << servidor->mensagens.erros.front();

  ASSERT_EQ(tickets->textos.size(), 3u);
  EXPECT_EQ(tickets->textos[0], ComoNoLog(kTicket57));
  // A cancellation: the title indented by 48 / 2 - 11.5 = 12 blanks, the
  // employee (not sanitized) as the canceller.
  EXPECT_NE(tickets->textos[1].find("[LF]            C A N C E L A M E N T O[LF]</ae></fn>DATA/HORA"), std::string::npos);
  EXPECT_NE(tickets->textos[1].find("<n>CANCELADO POR: JO[195]O CARLOS[LF]"), std::string::npos);
  EXPECT_NE(tickets->textos[1].find("CLIENTE.: Mercearia Bom Preco Ltda[LF]"), std::string::npos);
  // A total cancellation: two title lines; the customer's reserved
  // characters become blanks.
  EXPECT_NE(tickets->textos[2].find("</fn></ce>C A N C E L A M E N T O[LF]                   T O T A L[LF]"),
            std::string::npos);
  EXPECT_NE(tickets->textos[2].find("CLIENTE.: A B  Comercio  de Papeis[LF]"), std::string::npos);
  EXPECT_NE(tickets->textos[2].find("QUANTIDADE DE ITENS..: 02[LF]<n>QUANTIDADE DE VOLUMES: 05"), std::string::npos);

  EXPECT_EQ(banco.Fila(), kFilaImpressa);
  EXPECT_TRUE(Form().Timer2.Enabled());
  EXPECT_EQ(Form().bAtivar.Caption, "Desativar");
  EXPECT_EQ(Form().Label10, "14:20:01");
  // The printer got the three tickets, in order.
  const std::string impresso = ReadFile(pastas.Saida());
  EXPECT_LT(impresso.find("PEDIDO...: 057"), impresso.find("PEDIDO...: 058"));
  EXPECT_LT(impresso.find("PEDIDO...: 058"), impresso.find("PEDIDO...: 059"));

  // Nothing waits any more that the cycle would select.
  ASSERT_TRUE(Tick());
  EXPECT_EQ(tickets->textos.size(), 3u);
  EXPECT_EQ(banco.Fila(), kFilaImpressa);
}

TEST_F(CicloImpressao, SendsTheStatementsByteForByte) {
  Iniciar();
  BancoTeste::Servidor().Sql("SET GLOBAL log_output = 'TABLE';\nSET GLOBAL general_log = 1;\n"
                             "TRUNCATE TABLE mysql.general_log;\n");
  const uint32_t sessao = Form().DbConnection1.Internal()->Session()->threadId;
  const bool ok = Tick();
  const std::string hex = BancoTeste::Servidor().Sql(
      "SET GLOBAL general_log = 0;\nSELECT HEX(argument) FROM mysql.general_log WHERE command_type = 'Query'"
      " AND thread_id = " + std::to_string(sessao) + " ORDER BY event_time;\n");
  ASSERT_TRUE(ok);
  std::vector<std::string> enviados;
  std::istringstream linhas(hex);
  for (std::string linha; std::getline(linhas, linha);) {
    std::string texto;
    for (std::size_t i = 0; i + 1 < linha.size(); i += 2) texto += static_cast<char>(std::stoi(linha.substr(i, 2), nullptr, 16));
    enviados.push_back(texto);
  }
  const auto itens = [](const std::string& numped) {
    return "select imprimir.id, imprimir.codprod,\r\n cadprod.descricao,cadprod.und,imprimir.qtde, \r\n"
           " cadprod.ean13\r\n from imprimir,cadprod \r\n where imprimir.impressao='N'\r\n"
           " and (cadprod.revenda='S'\r\n or cadprod.ImpOS='S')\r\n and imprimir.codprod=cadprod.codprod\r\n"
           " and imprimir.numped='" + numped + "'\r\n group by imprimir.id";
  };
  const auto funcionario = [](const std::string& numped) {
    return "select nome from cadfunc where codfunc in (\r\n select codfunc from pedido \r\n where numped='" +
           numped + "')";
  };
  const auto marcar = [](int id) { return "update imprimir set impressao='S' where id = " + std::to_string(id); };
  const std::vector<std::string> esperados = {
      // The database-wide lock of the active server, once per session.
      "select get_lock('bilhetor." + banco.Nome() + "', 0)",
      "select imprimir.numped,imprimir.tipo,\r\n cadcliente.cliente,cadcliente.fantasia,\r\n"
      " cadcliente.endereco,cadcliente.numero,\r\n cadcliente.tel1,cadcliente.tel2,\r\n"
      " cadcliente.cidade,cadcliente.uf,pedido.obs2\r\n from  imprimir,pedido,cadcliente,cadprod\r\n"
      " where imprimir.CodProd = cadprod.codprod\r\n and pedido.CodCli      = cadcliente.codcli\r\n"
      " and imprimir.NumPed    = pedido.numped\r\n and imprimir.impressao = 'N'\r\n"
      " and cadprod.revenda    = 'S'\r\n group by pedido.numped\r\n order by pedido.numped",
      // Per order: its items, its employee, and the marks after the print.
      itens("57"), funcionario("57"), marcar(1), marcar(2), marcar(3),
      itens("58"), funcionario("58"), marcar(5),
      itens("59"), funcionario("59"), marcar(6), marcar(7),
  };
  EXPECT_EQ(enviados, esperados);
}

TEST_F(CicloImpressao, OrderEdgeCases) {
  // Order numbers as text: blanks around the digits read as a number and go
  // into the items query as they are (quoted), into the employee query as
  // digits only; an order without an employee prints an empty name.
  banco.Sql("ALTER TABLE imprimir MODIFY numped VARCHAR(20) NOT NULL;\n"
            "ALTER TABLE pedido MODIFY numped VARCHAR(20) NOT NULL;\n"
            "DELETE FROM imprimir;\n"
            "INSERT INTO pedido (numped, CodCli, obs2, codfunc) VALUES (' 5', 1, '', 99);\n"
            "INSERT INTO imprimir (numped, tipo, codprod, qtde) VALUES (' 5', '', 42, 0.4);\n");
  Iniciar();
  ASSERT_TRUE(Tick()) << servidor->mensagens.erros.front();
  ASSERT_EQ(tickets->textos.size(), 1u);
  const std::string& t = tickets->textos[0];
  EXPECT_NE(t.find("<code39> 5</code39>[LF]"), std::string::npos);
  EXPECT_NE(t.find("PEDIDO...: 005[LF]"), std::string::npos);
  EXPECT_NE(t.find("<n>ATENDENTE: [LF]"), std::string::npos);
  EXPECT_NE(t.find("0,4 X UN Caixa Grande[LF]"), std::string::npos);
  EXPECT_NE(t.find("QUANTIDADE DE ITENS..: 01[LF]<n>QUANTIDADE DE VOLUMES: 00[LF]"), std::string::npos);
  EXPECT_EQ(banco.Esperando(), 0);
}

TEST_F(CicloImpressao, ABadOrderIsSetAsideOnceAndTheOthersPrintInTheSameTick) {
  // Order 55A: its number is not a number.
  banco.Sql("ALTER TABLE imprimir MODIFY numped VARCHAR(20) NOT NULL;\n"
            "ALTER TABLE pedido MODIFY numped VARCHAR(20) NOT NULL;\n"
            "INSERT INTO pedido (numped, CodCli, obs2, codfunc) VALUES ('55A', 1, '', 1);\n"
            "INSERT INTO imprimir (numped, tipo, codprod, qtde) VALUES ('55A', '', 42, 1);\n");
  Iniciar();
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(Tick());
  ASSERT_EQ(servidor->mensagens.erros.size(), 1u);
  EXPECT_EQ(servidor->mensagens.erros[0],
            "Pedido 55A posto de lado (os outros seguem; nova tentativa quando seus dados mudarem): "
            "'55A' is not a valid integer value");
  EXPECT_EQ(Form().Ciclo().PedidosSeparados().size(), 1u);
  // The good orders printed in the first tick; polling and the engine go on.
  EXPECT_EQ(tickets->textos.size(), 3u);
  EXPECT_TRUE(Form().Timer2.Enabled());
  EXPECT_TRUE(Form().Ativo());
  EXPECT_EQ(banco.Fila(), kFilaImpressa + " 9:55A:N");
}

TEST_F(CicloImpressao, ATicketOverTheSizeLimitIsSetAside) {
  // Order 58 gets a hundred items more: its ticket passes 4 KiB, the others
  // stay under.
  banco.Sql("INSERT INTO imprimir (numped, tipo, codprod, qtde) SELECT 58, 'C', 42, 1 FROM seq_1_to_100;\n");
  Iniciar("", "[Ticket]\nTamanhoMaximoKB=4\n");
  ASSERT_TRUE(Tick());
  ASSERT_EQ(servidor->mensagens.erros.size(), 1u);
  EXPECT_NE(servidor->mensagens.erros[0].find("Pedido 58 posto de lado"), std::string::npos);
  EXPECT_NE(servidor->mensagens.erros[0].find("maior que o limite de 4096 bytes"), std::string::npos);
  const std::string impresso = ReadFile(pastas.Saida());
  EXPECT_EQ(impresso.find("PEDIDO...: 058"), std::string::npos);
  EXPECT_NE(impresso.find("PEDIDO...: 059"), std::string::npos);

  // Its rows change (the extra items withdrawn): it prints at the next tick.
  banco.Sql("DELETE FROM imprimir WHERE numped = 58 AND id > 8;\n");
  ASSERT_TRUE(Tick());
  EXPECT_NE(ReadFile(pastas.Saida()).find("PEDIDO...: 058"), std::string::npos);
  EXPECT_TRUE(Form().Ciclo().PedidosSeparados().empty());
}

TEST_F(CicloImpressao, AMarkRefusedByATriggerIsRetriedFromTheJournalWithoutAReprint) {
  banco.Sql("DELIMITER //\nCREATE TRIGGER recusa BEFORE UPDATE ON imprimir FOR EACH ROW\n"
            "IF NEW.id = 2 AND NEW.impressao = 'S' THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'marca recusada';"
            " END IF//\nDELIMITER ;\n");
  Iniciar();
  // Order 57 prints and its mark fails on item 2; 58 and 59 print in the
  // same tick. The failure is reported once over three ticks.
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Tick());
  ASSERT_EQ(servidor->mensagens.erros.size(), 1u);
  EXPECT_NE(servidor->mensagens.erros[0].find("Pedido 57 impresso, mas seus itens 1,2,3 n\xE3o foram marcados"),
            std::string::npos);
  EXPECT_NE(servidor->mensagens.erros[0].find("marca recusada"), std::string::npos) << servidor->mensagens.erros[0];
  EXPECT_EQ(tickets->textos.size(), 3u);
  EXPECT_EQ(banco.Fila(), "1:57:S 2:57:N 3:57:N 4:57:N 5:58:S 6:59:S 7:59:S 8:60:N");
  ASSERT_EQ(Form().Ciclo().Diario()->Devidos().size(), 1u);
  EXPECT_EQ(Form().Ciclo().Diario()->Devidos()[0].Pedido, "57");

  // The trigger gone, the next tick finishes the marks and prints nothing.
  banco.Sql("DROP TRIGGER recusa;\n");
  ASSERT_TRUE(Tick());
  EXPECT_EQ(tickets->textos.size(), 3u);
  EXPECT_EQ(banco.Fila(), kFilaImpressa);
  EXPECT_TRUE(Form().Ciclo().Diario()->Devidos().empty());
  EXPECT_NE(std::find(servidor->mensagens.informacoes.begin(), servidor->mensagens.informacoes.end(),
                      "Itens 1,2,3 do pedido 57 marcados."),
            servidor->mensagens.informacoes.end());
  // The journal on disk holds the three tickets, all marked, the first with
  // its tagged text.
  const auto diario = TDiarioImpressao::Ler(Form().ArquivoDiario());
  ASSERT_EQ(diario.size(), 3u);
  EXPECT_EQ(diario[0].Itens, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_TRUE(diario[0].Marcado && diario[1].Marcado && diario[2].Marcado);
  EXPECT_EQ(ComoNoLog({diario[0].Texto}), ComoNoLog(kTicket57));
  EXPECT_EQ(diario[0].Porta, "FILE:" + pastas.Saida());
}

TEST_F(CicloImpressao, TheSettingsFileThatCannotBeWrittenIsReportedOnceAndPrintingGoesOn) {
  Iniciar();
  // The temporary file of the settings file cannot be made.
  std::filesystem::create_directory(pastas.Config("bilhetor.ini.tmp"));
  ASSERT_TRUE(Tick());
  Form().bAtivarClick();
  ASSERT_TRUE(Tick());
  ASSERT_EQ(servidor->mensagens.erros.size(), 1u);
  EXPECT_EQ(servidor->mensagens.erros[0].rfind("As configura\xE7\xF5" "es n\xE3o puderam ser gravadas", 0), 0u);
  EXPECT_TRUE(Form().Ativo());
  EXPECT_EQ(banco.Fila(), kFilaImpressa);
}

TEST_F(CicloImpressao, PaperOutStopsPollingWithTheItemsStillWaiting) {
  EscPosPrinterSim impressora;
  impressora.IniciarTcp();
  auto estado = impressora.Estado();
  estado.semPapel = true;
  impressora.SetEstado(estado);
  Iniciar(impressora.NomePortaTcp());

  EXPECT_FALSE(Tick());
  ASSERT_EQ(servidor->mensagens.erros.size(), 1u);
  EXPECT_EQ(servidor->mensagens.erros[0], "Impressora Sem Papel");
  EXPECT_FALSE(Form().Timer2.Enabled());
  EXPECT_EQ(Form().Button1.Caption, "PARAR");
  EXPECT_EQ(banco.Fila(), kFilaInicial);
  EXPECT_EQ(impressora.Impresso(), "");

  // Paper back; the operator restarts polling with one click.
  estado.semPapel = false;
  impressora.SetEstado(estado);
  Form().Button1Click();
  EXPECT_TRUE(Form().Timer2.Enabled());
  EXPECT_EQ(Form().Button1.Caption, "PARAR");
  ASSERT_TRUE(Tick());
  EXPECT_EQ(banco.Fila(), kFilaImpressa);
  EXPECT_NE(impressora.Impresso().find("PEDIDO...: 059"), std::string::npos);
}

TEST_F(CicloImpressao, DatabaseRestartedBetweenTicksIsReportedOnceAndNothingIsLost) {
  Iniciar();
  BancoTeste::Servidor().Restart();
  Tick();  // may report the broken link; the session reconnects
  for (int i = 0; i < 3 && banco.Esperando() > 2; ++i) {
    Form().Timer2.SetEnabled(true);
    Tick();
  }
  EXPECT_EQ(banco.Fila(), kFilaImpressa);
  EXPECT_LE(servidor->mensagens.erros.size(), 1u);
  EXPECT_EQ(tickets->textos.size(), 3u);
}

TEST_F(CicloImpressao, DatabaseLostAfterThePrintReprintsTheTicketInsteadOfLosingIt) {
  Iniciar();
  // The database dies while the first ticket goes to the printer, before its
  // items are marked.
  bool derrubado = false;
  Form().PosPrinter1.OnEnviarStringDevice = [&](const std::string&, bool&) {
    if (derrubado) return;
    derrubado = true;
    BancoTeste::Servidor().Kill();
  };
  EXPECT_FALSE(Tick());
  EXPECT_EQ(tickets->textos.size(), 1u);
  BancoTeste::Servidor().Start();
  for (int i = 0; i < 4 && banco.Esperando() > 2; ++i) {
    Form().Timer2.SetEnabled(true);
    Tick();
  }
  EXPECT_EQ(banco.Fila(), kFilaImpressa);
  // The journal held the ticket: its marks were finished, not reprinted.
  std::vector<std::string> pedidos;
  for (const auto& t : tickets->textos) pedidos.push_back(t.substr(t.find("PEDIDO...: ") + 11, 3));
  EXPECT_EQ(pedidos, (std::vector<std::string>{"057", "058", "059"}));
}

TEST_F(CicloImpressao, ItemsQueuedWhileATicketIsComposedWaitForTheNextCycle) {
  Iniciar();
  bool inserido = false;
  Form().PosPrinter1.OnEnviarStringDevice = [&](const std::string&, bool&) {
    if (inserido) return;
    inserido = true;
    banco.Sql("INSERT INTO imprimir (numped, tipo, codprod, qtde) VALUES (57, NULL, 42, 7);\n");
  };
  ASSERT_TRUE(Tick());
  EXPECT_EQ(banco.Fila(), kFilaImpressa + " 9:57:N");
  ASSERT_TRUE(Tick());
  EXPECT_EQ(banco.Fila(), kFilaImpressa + " 9:57:S");
  ASSERT_EQ(tickets->textos.size(), 4u);
  EXPECT_NE(tickets->textos[3].find("7 X UN Caixa Grande"), std::string::npos);
}

}  // namespace
}  // namespace bilhetor
