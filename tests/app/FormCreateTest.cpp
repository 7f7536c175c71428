// Start-up, the settings file with its controls, activation and the clocks
// of the main window model.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "ServidorTeste.h"
#include "device/Device.h"
#include "support/FakeMySqlServer.h"
#include "support/MariaDbServer.h"

namespace bilhetor {
namespace {

using testing::BancoTeste;
using testing::PastasTeste;
using testing::ReadFile;
using testing::ServidorTeste;
using testing::WriteFile;

const std::string kOutroServidor = "192.0.2.1\n";  // a documentation address: never answers

class Inicio : public ::testing::Test {
 protected:
  ServidorTeste& Criar() {
    servidor = std::make_unique<ServidorTeste>(pastas);
    servidor->form.FormCreate();
    return *servidor;
  }
  BancoTeste banco;
  PastasTeste pastas;
  std::unique_ptr<ServidorTeste> servidor;
};

TEST_F(Inicio, FillsTheListsLoadsTheSettingsAndConnects) {
  pastas.Configurar(banco, "", "Colunas=42\n");
  std::filesystem::last_write_time(pastas.Pastas().Executavel,
                                   std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  ServidorTeste& s = Criar();
  ASSERT_FALSE(s.form.Terminado());
  EXPECT_TRUE(s.form.DbConnection1.Connected());
  EXPECT_EQ(s.form.DbConnection1.Database(), banco.Nome());
  ASSERT_EQ(s.form.cbxModelo.Items.size(), 11u);
  EXPECT_EQ(s.form.cbxModelo.Items.front(), "ppTexto");
  EXPECT_EQ(s.form.cbxModelo.Items.back(), "ppEscGPrinter");
  EXPECT_EQ(s.form.cbxPagCodigo.Items,
            (std::vector<std::string>{"pcNone", "pc437", "pc850", "pc852", "pc860", "pcUTF8", "pc1252"}));
  EXPECT_EQ(s.form.cbxPorta.Items, std::vector<std::string>());  // no serial port, no print queue
  EXPECT_EQ(s.form.seColunas.Text, "42");
  EXPECT_EQ(s.form.cbxModelo.ItemSelecionado(), "ppEscPosEpson");
  EXPECT_EQ(s.form.cbxPorta.Text, "FILE:" + pastas.Saida());
  EXPECT_EQ(s.form.bAtivar.Caption, "Ativar");
  EXPECT_FALSE(s.form.btSerial.Visible);
  EXPECT_EQ(s.form.HoraInicio.Segundo, 1);
  // The caption carries the program file's date and time.
  const auto data = DataModificacao(pastas.Pastas().Executavel);
  ASSERT_TRUE(data);
  EXPECT_EQ(s.form.Caption, std::string("SERVIDOR DE IMPRESS\xC3O - ATUALIZADO EM ") + FormatarData(*data) + " - " +
                                FormatarHora(*data));
  EXPECT_TRUE(s.mensagens.caixas.empty());
}

TEST_F(Inicio, ServerAndDatabaseFilesAreLookedUpBesideTheProgramThenInTheFixedFolder) {
  pastas.Configurar(banco);
  // Beside the program wins; the fixed folder's sys.txt is not read.
  WriteFile(pastas.Fixa("sys.txt"), kOutroServidor);
  // The database file only in the fixed folder, with a Windows line end.
  std::filesystem::remove(pastas.Config("banco.txt"));
  WriteFile(pastas.Fixa("banco.txt"), banco.Nome() + "\r\noutra linha\r\n");
  ServidorTeste& s = Criar();
  ASSERT_TRUE(s.form.DbConnection1.Connected());
  EXPECT_EQ(s.form.DbConnection1.Database(), banco.Nome());
  EXPECT_EQ(s.form.DbConnection1.Port(), BancoTeste::Servidor().Port());
}

TEST_F(Inicio, StartUpFailures) {
  struct Caso {
    const char* nome;
    std::string sys;  // empty: no sys.txt anywhere
    std::string mensagem;
    TIconeMensagem icone;
  };
  const std::string porta = std::to_string(testing::FreeLoopbackPort());
  const std::vector<Caso> casos = {
      {"no server file", "", "N\xE3o existe o arquivo de configura\xE7\xE3o do sistema", TIconeMensagem::Erro},
      // The reason follows the message on its next line.
      {"nothing listens", "127.0.0.1\n" + porta + "\n",
       "N\xE3o foi poss\xEDvel conectar ao banco de dados.\r(2003) Cannot connect to server on host '127.0.0.1'",
       TIconeMensagem::Aviso},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    PastasTeste p;
    p.Configurar(banco);
    if (c.sys.empty())
      std::filesystem::remove(p.Config("sys.txt"));
    else
      WriteFile(p.Config("sys.txt"), c.sys);
    ServidorTeste s(p);
    s.form.FormCreate();
    EXPECT_TRUE(s.form.Terminado());
    EXPECT_FALSE(s.form.DbConnection1.Connected());
    ASSERT_EQ(s.mensagens.caixas.size(), 1u);
    EXPECT_EQ(s.mensagens.caixas[0].texto.substr(0, c.mensagem.size()), c.mensagem);
    EXPECT_EQ(s.mensagens.caixas[0].titulo, "Aten\xE7\xE3o");
    EXPECT_EQ(s.mensagens.caixas[0].icone, c.icone);
  }
}

TEST_F(Inicio, TheSecondPasswordIsTriedSilently) {
  pastas.Configurar(banco);
  BancoTeste::SenhaRoot("5209384");
  ServidorTeste& s = Criar();
  BancoTeste::SenhaRoot("5209384kq");
  EXPECT_FALSE(s.form.Terminado());
  EXPECT_TRUE(s.form.DbConnection1.Connected());
  EXPECT_EQ(s.form.DbConnection1.Password(), "5209384");
  EXPECT_TRUE(s.mensagens.caixas.empty());
}

TEST_F(Inicio, TheSecondPasswordIsNotSentAfterTheFirstWentOutInClearText) {
  // A server that asks for the password in clear text (dialog, allowed in
  // the settings) and refuses it: the first password went out readable, so
  // the second is not tried; the reason is the first attempt's.
  std::string recebida;
  testing::FakeMySqlServer falso([&](testing::FakeMySqlConnection& c) {
    c.SendPacket(0, testing::FakeGreeting().Build());
    c.ReadPacket();
    c.SendPacket(2, std::string("\xFE") + "dialog" + '\0' + "\x04Password: ");
    recebida = c.ReadPacket().payload;
    c.SendPacket(4, testing::ErrPacket(1045, "28000", "Access denied"));
  });
  pastas.Configurar(banco);
  WriteFile(pastas.Config("sys.txt"), "127.0.0.1\n" + std::to_string(falso.Port()) + "\n");
  pastas.EscreverIni(ReadFile(pastas.Config("bilhetor.ini")) + "[Banco]\nAllowedAuthMethods=mysql_native_password,dialog\n");
  ServidorTeste& s = Criar();
  EXPECT_EQ(falso.Finish(), "");
  EXPECT_EQ(recebida, std::string("5209384kq") + '\0');
  EXPECT_TRUE(s.form.Terminado());
  ASSERT_EQ(s.mensagens.caixas.size(), 1u);
  EXPECT_NE(s.mensagens.caixas[0].texto.find("\r(1045) "), std::string::npos) << s.mensagens.caixas[0].texto;
}

TEST_F(Inicio, TheSettingsFileCanRestrictTheAuthenticationMethods) {
  // root authenticates with the native method: allowed in the first case,
  // not in the second, where nothing is sent and the start-up fails.
  for (const auto& [metodos, conecta] : std::vector<std::pair<std::string, bool>>{
           {"mysql_native_password,caching_sha2_password", true}, {"mysql_old_password", false}}) {
    SCOPED_TRACE(metodos);
    PastasTeste p;
    p.Configurar(banco);
    p.EscreverIni(ReadFile(p.Config("bilhetor.ini")) + "[Banco]\nAllowedAuthMethods=" + metodos + "\n");
    ServidorTeste s(p);
    s.form.FormCreate();
    EXPECT_EQ(s.form.DbConnection1.Connected(), conecta);
    EXPECT_EQ(s.form.Terminado(), !conecta);
  }
}

TEST(ServidorBanco, HostOnTheFirstLinePortOnTheSecond) {
  struct Caso {
    std::string conteudo, host;
    int porta;
  };
  for (const Caso& c : std::vector<Caso>{{"localhost", "localhost", 3306},
                                         {"db.loja\r\n", "db.loja", 3306},
                                         {"\n3307\n", "", 3307},
                                         {"10.0.0.5\n 3310 \nresto", "10.0.0.5", 3310},
                                         {"::1\n\n", "::1", 3306},
                                         {"servidor:3307", "servidor:3307", 3306}}) {
    const TServidorBanco s = LerServidorBanco(c.conteudo);
    EXPECT_EQ(s.Host, c.host) << c.conteudo;
    EXPECT_EQ(s.Porta, c.porta) << c.conteudo;
  }
  // A second line that is not a port is ignored, with a warning.
  for (const char* ruim : {"h\nabc", "h\n0", "h\n65536", "h\n-1"}) {
    const TServidorBanco s = LerServidorBanco(ruim);
    EXPECT_EQ(s.Porta, 3306) << ruim;
    EXPECT_NE(s.Aviso.find("n\xE3o \xE9 uma porta"), std::string::npos) << ruim;
  }
}

TEST(SomenteDigitos, KeepsTheDigitsOrElevenZeros) {
  EXPECT_EQ(SomenteDigitos("12A-3"), "123");
  EXPECT_EQ(SomenteDigitos(" 57 "), "57");
  EXPECT_EQ(SomenteDigitos("ABC"), "00000000000");
  EXPECT_EQ(SomenteDigitos(""), "00000000000");
}

// --- settings and activation ----------------------------------------------------------------

class Configuracao : public Inicio {
 protected:
  TfrmBilhetor& Iniciar(const std::string& extraIni = "") {
    pastas.Configurar(banco, "", extraIni);
    return Criar().form;
  }
  std::string Ini() { return ReadFile(pastas.Config("bilhetor.ini")); }
};

TEST_F(Configuracao, OutOfRangeValuesAreClampedAndReachTheEngineOnActivation) {
  pastas.Configurar(banco);
  pastas.EscreverIni("[PosPrinter]\nModelo=4\nPorta=FILE:" + pastas.Saida() +
                     "\nColunas=2000\nEspacoEntreLinhas=-4\n[QRCode]\nLarguraModulo=40\n[Gaveta]\nNumero=2\n");
  TfrmBilhetor& f = Criar().form;
  EXPECT_EQ(f.seColunas.Text, "999");
  EXPECT_EQ(f.seEspLinhas.Text, "0");
  EXPECT_EQ(f.seQRCodeLarguraModulo.Text, "16");
  EXPECT_EQ(f.seGavetaNum.Text, "2");
  EXPECT_EQ(f.cbxModelo.ItemSelecionado(), "ppEscVox");
  // The model and the columns wait for the activation.
  EXPECT_EQ(f.PosPrinter1.Modelo(), TPosPrinterModelo::ppEscPosEpson);
  EXPECT_EQ(f.PosPrinter1.ColunasFonteNormal(), 48);
  f.bAtivarClick();
  EXPECT_EQ(f.PosPrinter1.Modelo(), TPosPrinterModelo::ppEscVox);
  EXPECT_EQ(f.PosPrinter1.ColunasFonteNormal(), 999);
  EXPECT_EQ(f.PosPrinter1.ConfigQRCode().LarguraModulo(), 16);
  EXPECT_NE(Ini().find("Colunas=999"), std::string::npos);
  EXPECT_NE(Ini().find("Numero=2"), std::string::npos);
}

TEST_F(Configuracao, WithoutASettingsFileTheFirstActivationWritesEveryKey) {
  pastas.Configurar(banco);
  std::filesystem::remove(pastas.Config("bilhetor.ini"));
  TfrmBilhetor& f = Criar().form;
  f.cbxPorta.Text = "FILE:" + pastas.Saida();
  f.cbxPortaChange();
  f.bAtivarClick();
  EXPECT_TRUE(f.Ativo());
  EXPECT_EQ(Ini(),
            "[PosPrinter]\r\nModelo=1\r\nPorta=FILE:" + pastas.Saida() +
                "\r\nDeviceParams=\r\nColunas=48\r\nEspacoEntreLinhas=0\r\nLinhasBuffer=0\r\nLinhasPular=0\r\n"
                "CortarPapel=1\r\nControlePorta=0\r\nTraduzirTags=1\r\nIgnorarTags=0\r\nArqLog=\r\nPaginaDeCodigo=2\r\n"
                "\r\n[Barras]\r\nLargura=0\r\nAltura=0\r\nHRI=0\r\n\r\n[QRCode]\r\nTipo=2\r\nLarguraModulo=4\r\n"
                "ErrorLevel=0\r\n\r\n[Logo]\r\nKC1=32\r\nKC2=32\r\nFatorX=1\r\nFatorY=1\r\n\r\n[Gaveta]\r\nNumero=1\r\n"
                "TempoOn=50\r\nTempoOff=200\r\nSinalInvertido=0\r\n");
}

TEST_F(Configuracao, ActivationStateRule) {
  TfrmBilhetor& f = Iniciar();
  const std::string antes = Ini();
  // A port that cannot be opened: still inactive, file unchanged, window
  // usable again, the error passes on.
  f.cbxPorta.Text = "FILE:" + pastas.Config("nao/existe.bin");
  f.cbxPortaChange();
  EXPECT_ANY_THROW(f.bAtivarClick());
  EXPECT_FALSE(f.Ativo());
  EXPECT_TRUE(f.btSerial.Enabled);
  EXPECT_EQ(f.bAtivar.Caption, "Ativar");
  EXPECT_TRUE(f.Enabled);
  EXPECT_EQ(Ini(), antes);

  f.cbxPorta.Text = "FILE:" + pastas.Saida();
  f.cbxPortaChange();
  f.bAtivarClick();
  EXPECT_TRUE(f.Ativo());
  EXPECT_FALSE(f.btSerial.Enabled);
  EXPECT_EQ(f.bAtivar.Caption, "Desativar");
  EXPECT_TRUE(f.PosPrinter1.Ativo());

  // A model change deactivates the engine but not the button: the next
  // print fails, and the button's next click only deactivates.
  f.cbxModelo.ItemIndex = 0;
  f.cbxModeloChange();
  EXPECT_FALSE(f.PosPrinter1.Ativo());
  EXPECT_EQ(f.bAtivar.Caption, "Desativar");
  EXPECT_THROW(f.PosPrinter1.Imprimir("x"), EPosPrinterException);
  f.bAtivarClick();
  EXPECT_EQ(f.bAtivar.Caption, "Ativar");
  EXPECT_FALSE(f.PosPrinter1.Ativo());
  f.bAtivarClick();
  EXPECT_TRUE(f.PosPrinter1.Ativo());
  EXPECT_EQ(f.PosPrinter1.Modelo(), TPosPrinterModelo::ppTexto);
}

TEST_F(Configuracao, ChangeHandlersReachTheEngineAtOnce) {
  TfrmBilhetor& f = Iniciar();
  f.cbxPorta.Text = "com2";
  f.cbxPortaChange();
  EXPECT_EQ(f.cbxPorta.Text, "COM2");  // as the device normalised it
  EXPECT_TRUE(f.btSerial.Visible);
  f.cbCortarPapel.Checked = false;
  f.cbCortarPapelClick();
  f.cbControlePorta.Checked = true;
  f.cbControlePortaClick();
  f.cbTraduzirTags.Checked = false;
  f.cbTraduzirTagsClick();
  f.cbIgnorarTags.Checked = true;
  f.cbIgnorarTagsClick();
  f.cbHRI.Checked = true;
  f.cbHRIClick();
  f.cbGavetaSinalInvertido.Checked = true;
  f.cbGavetaSinalInvertidoClick();
  f.cbxPagCodigo.ItemIndex = 6;
  f.cbxPagCodigoChange();
  EXPECT_FALSE(f.PosPrinter1.CortaPapel());
  EXPECT_TRUE(f.PosPrinter1.ControlePorta());
  EXPECT_FALSE(f.PosPrinter1.TraduzirTags());
  EXPECT_TRUE(f.PosPrinter1.IgnorarTags());
  EXPECT_TRUE(f.PosPrinter1.ConfigBarras().MostrarCodigo);
  EXPECT_TRUE(f.PosPrinter1.ConfigGaveta().SinalInvertido);
  EXPECT_EQ(f.PosPrinter1.PaginaDeCodigo(), TPosPaginaCodigo::pc1252);
  // Typed text that is not a number counts as the minimum; typed numbers
  // are taken as typed.
  f.seColunas.Text = "abc";
  EXPECT_EQ(f.seColunas.Value(), 1);
  f.seColunas.Text = "5000";
  EXPECT_EQ(f.seColunas.Value(), 5000);
}

TEST_F(Configuracao, FileEditsReachTheRunningServerWithinATick) {
  TfrmBilhetor& f = Iniciar();
  ASSERT_TRUE(f.ExecutarTratando([&] { f.Timer2Timer(); }));
  ASSERT_TRUE(f.PosPrinter1.CortaPapel());
  // The switch reaches the engine at the next tick; the columns only at the
  // next activation.
  std::string ini = Ini();
  ini.replace(ini.find("CortarPapel=1"), 13, "CortarPapel=0");
  ini.replace(ini.find("Colunas=48"), 10, "Colunas=40");
  pastas.EscreverIni(ini);
  ASSERT_TRUE(f.ExecutarTratando([&] { f.Timer2Timer(); }));
  EXPECT_FALSE(f.cbCortarPapel.Checked);
  EXPECT_FALSE(f.PosPrinter1.CortaPapel());
  EXPECT_EQ(f.seColunas.Text, "40");
  EXPECT_EQ(f.PosPrinter1.ColunasFonteNormal(), 48);
}

TEST_F(Configuracao, AWindowEditIsRevertedWhileActiveAndKeptWhileInactive) {
  TfrmBilhetor& f = Iniciar();
  ASSERT_TRUE(f.ExecutarTratando([&] { f.Timer2Timer(); }));
  // Active: the next tick reloads the file over the typed value.
  f.seColunas.Text = "60";
  ASSERT_TRUE(f.ExecutarTratando([&] { f.Timer2Timer(); }));
  EXPECT_EQ(f.seColunas.Text, "48");
  EXPECT_EQ(f.PosPrinter1.ColunasFonteNormal(), 48);
  // Inactive: the tick activates with the typed value first and saves it.
  f.bAtivarClick();
  f.seColunas.Text = "60";
  ASSERT_TRUE(f.ExecutarTratando([&] { f.Timer2Timer(); }));
  EXPECT_EQ(f.seColunas.Text, "60");
  EXPECT_EQ(f.PosPrinter1.ColunasFonteNormal(), 60);
  EXPECT_NE(Ini().find("Colunas=60"), std::string::npos);
}

// --- clocks and polling ------------------------------------------------------------------------

TEST_F(Inicio, ClocksShowNowStartAndRunningTimeAndHideTheWindowAtTwoSeconds) {
  pastas.Configurar(banco);
  ServidorTeste& s = Criar();
  TfrmBilhetor& f = s.form;
  f.Restaurar1Click();
  s.relogio.Avancar(2);
  f.Timer1Timer();
  EXPECT_EQ(f.Label7, "00:00:02");
  EXPECT_FALSE(f.Visivel);
  EXPECT_TRUE(f.Minimizado);
  f.Restaurar1Click();
  s.relogio.Avancar(3);
  f.Timer1Timer();
  EXPECT_EQ(f.Label4, "14:20:06");
  EXPECT_EQ(f.Label6, "14:20:01");
  EXPECT_EQ(f.Label7, "00:00:05");
  EXPECT_TRUE(f.Visivel);
  s.relogio.Avancar(86400);
  f.Timer1Timer();
  EXPECT_EQ(f.Label7, "00:00:05");
  EXPECT_EQ(f.Label4, "14:20:06");
}

TEST_F(Inicio, Button1StopsAndStartsPolling) {
  pastas.Configurar(banco);
  TfrmBilhetor& f = Criar().form;
  const uint64_t partidas = f.Timer2.Partidas();
  f.Button1Click();
  EXPECT_FALSE(f.Timer2.Enabled());
  EXPECT_EQ(f.Button1.Caption, "INICIAR");
  f.Button1Click();
  EXPECT_TRUE(f.Timer2.Enabled());
  EXPECT_EQ(f.Button1.Caption, "PARAR");
  EXPECT_EQ(f.Timer2.Partidas(), partidas + 1);
}

}  // namespace
}  // namespace bilhetor
